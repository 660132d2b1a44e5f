// kSable's composition root: builds the platform objects and the settings store, shows the
// start-up picture, creates the main window and runs the application. The program reads no
// arguments.

#include <QApplication>
#include <QClipboard>
#include <QScreen>

#include <cstdlib>
#include <memory>
#include <thread>

#include <fontconfig/fontconfig.h>

#include "controls/ui/MessageForm.h"
#include "controls/ui/TranslateForm.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "platform/CodePage.h"
#include "platform/InotifyWatcher.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxNetwork.h"
#include "platform/LinuxSystem.h"
#include "platform/X11Window.h"
#include "shell/ui/MainForm.h"
#include "shell/ui/SplashForm.h"

namespace {

QString DecodeLanguageText(const std::string& bytes) {
    return QString::fromStdString(ks::DecodeCodePage(bytes, ks::CurrentLanguage().CodePage()));
}

} // namespace

int main(int argc, char** argv) {
    // Loading the font configuration takes milliseconds, and the first text the window measures
    // waits for it: it loads beside the connection to the display. FcInit is thread-safe, and
    // the fonts' users call it again and find it done.
    std::thread fontConfig([] { FcInit(); });
    QApplication app(argc, argv);
    QApplication::setApplicationName("kSable");
    QApplication::setApplicationDisplayName("...loading...");

    ks::TKLinuxSystem system;
    system.SetClipboard(
        [](const std::string& text) { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); },
        [] { return QGuiApplication::clipboard()->text().toStdString(); });
    ks::TKLinuxFileSystem fileSystem;
    ks::SetPlatform(&system, &fileSystem);

    ks::TKRegistryStore store(system.ConfigDir() + "registry");
    const auto loaded = store.Load();
    ks::SetRegistryStore(&store);

    ks::SetTranslateDecoder(DecodeLanguageText);
    ks::TMessageForm::SetTextDecoder(DecodeLanguageText);

    // The start-up picture, unless switched off or on a display of fewer than 15 bits per pixel.
    std::unique_ptr<ks::TSplashForm> splash;
    const std::string graphicsKey = std::string(ks::ProgramKey) + "\\graphics";
    if (ks::AutoSaveValue(store, graphicsKey, "GraphicsShowSplashScreen") != "0") {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr || screen->depth() >= 15) {
            // A picture that cannot be decoded only costs the splash, never the start.
            splash = std::make_unique<ks::TSplashForm>(system.AppPath());
            if (splash->Valid()) {
                splash->show();
                splash->ShowProgress("0%");
            } else {
                splash.reset();
            }
        }
    }

    fontConfig.join();
    ks::TData data(store, system, fileSystem);
    ks::TMainFormServices services;
    services.Data = &data;
    services.MakeWatchBackend = [] { return std::make_unique<ks::TKInotifyWatchBackend>(); };
    services.Splash = splash.get();
    ks::TKLinuxNetwork network;
    services.Network = &network;
    services.StateFile = qEnvironmentVariable("KSABLE_STATE_FILE");
    services.QuitAfterPaint = qEnvironmentVariable("KSABLE_QUIT_AFTER_PAINT") == "1";
    services.IconifyUnmanaged = [](QWidget& window) { ks::X11IconifyUnmanaged(window.winId()); };
    if (splash)
        splash->ShowProgress("25%");
    ks::TMainForm window(services);
    if (splash)
        splash->ShowProgress("75%");
    // The main window closes the picture when it is first shown.
    splash.release();
    // The window's first show ends the start-up title.
    window.show();

    if (!loaded) {
        // Only a damaged file is set aside; one that cannot be read (no permission, a disk
        // error) stays where it is, and its settings are not overwritten by a later save.
        const ks::TError& error = loaded.error();
        const std::string text =
            error.Code == ks::TErrorCode::ecParse
                ? "The settings file was damaged and was kept aside as " + error.Path + "."
                : "The settings file " + store.FilePath() + " could not be read (" + error.Detail + ").";
        ks::ShowMessageForm(text + " kSable started with its default settings.", 0, ks::mbOK, 2, 0, &window);
    }
    const int code = app.exec();
    ks::SetRegistryStore(nullptr);
    return code;
}
