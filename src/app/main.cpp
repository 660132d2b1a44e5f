// kSable's composition root: builds the platform objects, loads the settings and the language,
// and runs the application.

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "foundation/Data.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "platform/CodePage.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "shell/Language.h"

namespace {

// The window the program shows until the two-panel main window takes its place: it shows the
// welcome text and the folders both panels will open, and saves the settings when closed.
class TStartWindow : public QWidget {
public:
    TStartWindow(ks::TData& settings, const ks::TLanguage& language, const std::string& notice)
        : FData(settings), FLanguage(language) {
        setWindowTitle(QString::fromStdString(settings.AppTitle));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(Text(language.GetLangText("nfo_Welcome")), this));
        layout->addWidget(new QLabel(QString::fromLocal8Bit(settings.LeftPanelPath.c_str()), this));
        layout->addWidget(new QLabel(QString::fromLocal8Bit(settings.RightPanelPath.c_str()), this));
        if (!notice.empty())
            layout->addWidget(new QLabel(QString::fromStdString(notice), this));
        resize(640, 200);
        move(settings.MainPos.Left, settings.MainPos.Top);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        FData.MainPos = {x(), y()};
        FData.SaveSettings();
        event->accept();
    }

private:
    QString Text(const std::string& bytes) const {
        return QString::fromStdString(ks::DecodeCodePage(bytes, FLanguage.CodePage()));
    }

    ks::TData& FData;
    const ks::TLanguage& FLanguage;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    ks::TKLinuxSystem system;
    system.SetClipboard(
        [](const std::string& text) { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); },
        [] { return QGuiApplication::clipboard()->text().toStdString(); });
    ks::TKLinuxFileSystem fileSystem;
    ks::SetPlatform(&system, &fileSystem);

    ks::TKRegistryStore store(system.ConfigDir() + "registry");
    std::string notice;
    if (auto loaded = store.Load(); !loaded)
        notice = "The settings file was damaged and was kept aside as " + loaded.error().Path;
    ks::SetRegistryStore(&store);

    ks::TData data(store, system, fileSystem);
    ks::TScreenLayout screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen.ScreenWidth = primary->availableGeometry().width();
        screen.ScreenHeight = primary->availableGeometry().height();
    }
    screen.MainWidth = 640;
    screen.MainHeight = 200;
    data.LoadSettings(screen);

    ks::TLanguage& language = ks::CurrentLanguage();
    language.LangPath = data.LangPath;
    language.DefaultLangPath = data.DefaultLangPath;
    language.LoadLanguage(true);

    TStartWindow window(data, language, notice);
    window.show();
    const int code = app.exec();
    ks::SetRegistryStore(nullptr);
    return code;
}
