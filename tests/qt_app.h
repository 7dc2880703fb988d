#pragma once
// The one Qt application object of a test binary (App: QCoreApplication, QGuiApplication or
// QApplication), made on first use and kept until the program ends.

#include <QCoreApplication>

#include <string>

namespace tl::test {

template <class App> void ensureApp(const char* name) {
    if (QCoreApplication::instance() == nullptr) {
        static std::string stored = name;
        static int argc = 1;
        static char* argv[] = {stored.data(), nullptr};
        new App(argc, argv);
    }
}

} // namespace tl::test
