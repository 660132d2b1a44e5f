// The main of test binaries that need a real X server (the clipboard and drags between
// programs): it starts Xvfb for the run and connects the QApplication to it, so the tests run
// the same with or without a display of the user's.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <memory>

#include "e2e/Harness.h"
#include "support/X11Display.h"

namespace ks::test {

namespace {

std::string Display;
std::string Missing = "no X server started";

} // namespace

const std::string& X11Display() {
    return Display;
}

const std::string& X11Missing() {
    return Missing;
}

} // namespace ks::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (as the build does) needs no server.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    std::unique_ptr<ks::e2e::TXServer> server;
    std::unique_ptr<QApplication> app;
    if (!ks::test::OnPath("Xvfb")) {
        ks::test::Missing = "these tests need Xvfb on PATH";
    } else {
        server = std::make_unique<ks::e2e::TXServer>();
        if (server->Display().empty()) {
            ks::test::Missing = "Xvfb did not start";
        } else {
            ks::test::Display = server->Display();
            ::setenv("DISPLAY", ks::test::Display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            static int qtArgc = 1;
            app = std::make_unique<QApplication>(qtArgc, argv);
        }
    }
    const int result = RUN_ALL_TESTS();
    // The application leaves the display before the server goes.
    app.reset();
    server.reset();
    return result;
}
