#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

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

/// Runs show (which opens a modal dialog) and hands the dialog to act once it is on screen. A
/// dialog act leaves open is closed with -1 after five seconds, so a fault fails the test instead
/// of hanging it.
inline void ShowAndAct(const std::function<void()>& show, const std::function<void(QDialog&)>& act) {
    bool acted = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        acted = true;
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->done(-1);
    });
    limit.start(5000);
    show();
    EXPECT_TRUE(acted);
}

} // namespace ks::test
