// Runs a fuzz target without libFuzzer (a plain build): every file named on the command line,
// and every file in every folder named, is one input; so are a few variants of each (cut
// short, bytes changed), chosen by a fixed seed so that every run is the same. A failed check
// aborts, leaving the input that failed in the file "fuzz-failed-input" of the current folder;
// the test passes when every input ran.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::string* current = nullptr;

// Keeps the input that made a check fail (or a crash), so it can be run again on its own.
extern "C" void keepFailedInput(int signal) {
    if (current != nullptr) {
        const int fd = ::open("fuzz-failed-input", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            (void)!::write(fd, current->data(), current->size());
            ::close(fd);
        }
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void run(const std::string& input) {
    current = &input;
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    current = nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    for (const int s : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        ::signal(s, keepFailedInput);
    }
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    std::mt19937 random(20240611);
    std::size_t runs = 0;
    for (const auto& path : files) {
        const std::string input = readFile(path);
        run(input);
        ++runs;
        for (int variant = 0; variant < 12 && !input.empty(); ++variant) {
            std::string changed = input;
            const std::size_t at = random() % input.size();
            switch (variant % 3) {
            case 0:
                changed.resize(at);
                break;
            case 1:
                changed[at] = static_cast<char>(random());
                break;
            default:
                changed.insert(at, input.substr(at, random() % 64));
                break;
            }
            run(changed);
            ++runs;
        }
    }
    std::printf("%zu inputs from %zu files passed\n", runs, files.size());
    return files.empty() ? 1 : 0;
}
