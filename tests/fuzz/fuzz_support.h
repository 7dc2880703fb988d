#pragma once
// Helpers shared by the fuzz targets: checks that abort (so libFuzzer keeps the input), the
// split of one input into several files, and the GUI application that painting needs.

#include <QByteArray>
#include <QGuiApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace tl::fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant failed: %s\n", what);
    std::abort();
}

inline void check(bool condition, const char* what) {
    if (!condition) {
        fail(what);
    }
}

inline std::string_view view(const uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline QByteArray bytes(std::string_view s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// The parts of an input that stands for several files, separated by lines "=====".
inline constexpr std::string_view kPartSeparator = "\n=====\n";
inline std::vector<std::string_view> parts(std::string_view input, std::size_t maxParts) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < maxParts) {
        const std::size_t at = input.find(kPartSeparator);
        if (at == std::string_view::npos) {
            break;
        }
        out.push_back(input.substr(0, at));
        input.remove_prefix(at + kPartSeparator.size());
    }
    out.push_back(input);
    return out;
}

// Fonts and painting need a GUI application; the offscreen platform needs no display.
inline void ensureGuiApp() {
    if (QGuiApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        static auto* app = new QGuiApplication(argc, argv);
        (void)app;
    }
}

} // namespace tl::fuzz
