#pragma once

#include <QApplication>

namespace ks::test {

/// The one QApplication of a test binary, created on first use (the binaries run offscreen).
inline QApplication& QtApp() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *app;
    static int argc = 1;
    static char name[] = "ks-test";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);
}

} // namespace ks::test
