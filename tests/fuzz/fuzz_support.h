#pragma once
// Helpers shared by the fuzz targets: checks that abort (so libFuzzer keeps the input), the
// split of one input into several files, predicates on text, and the GUI application that
// painting needs.

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
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

// Part i of what parts() returned; empty when the input has fewer.
inline QByteArray part(const std::vector<std::string_view>& all, std::size_t i) {
    return i < all.size() ? bytes(all[i]) : QByteArray();
}

// An input standing for a folder: its parts in turn are the files `names`. An empty part
// other than the first is a missing file unless keepEmpty.
template <std::size_t N>
std::map<QString, QByteArray> files(std::string_view input, const char* const (&names)[N],
                                    bool keepEmpty) {
    const auto all = parts(input, N);
    std::map<QString, QByteArray> out;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (keepEmpty || i == 0 || !all[i].empty()) {
            out[QString::fromLatin1(names[i])] = bytes(all[i]);
        }
    }
    return out;
}

inline bool validUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    (void)text;
    return !decoder.hasError();
}

inline bool oneLine(const QString& s) {
    return !s.contains(u'\n') && !s.contains(u'\r');
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

// For targets that paint: the application is made before the first input.
#define TL_FUZZ_GUI_APP()                                                                          \
    extern "C" int LLVMFuzzerInitialize(int*, char***) {                                           \
        tl::fuzz::ensureGuiApp();                                                                  \
        return 0;                                                                                  \
    }

} // namespace tl::fuzz
