// The attributes command of the main window on a real folder: the dialog opens for the marked
// items, Change applies to them, and what could not be done is told.
#include "shell/ui/MainForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "foundation/Data.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "panel/ui/PanelWidget.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"
#include "support/QtApp.h"
#include "support/TempTree.h"

namespace ks {
namespace {

namespace fs = std::filesystem;

const std::string Key = std::string(ProgramKey) + "\\";

std::uint32_t Permissions(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A main window on a temporary settings store with the left panel on a small folder.
class MainFormAttributes : public ::testing::Test {
protected:
    void SetUp() override {
        test::QtApp();
        fs::copy(std::string(KS_BIN_DIR) + "/skins", Tree / "skins", fs::copy_options::recursive);
        for (const char* name : {"left/a.txt", "left/b.txt", "left/c.txt"}) {
            Tree.File(name, "x");
            ::chmod((Tree / name).c_str(), 0644);
        }
        Tree.Folder("right");
        Store = std::make_unique<TKRegistryStore>(Tree / "registry");
        Store->Write(Key + "m_settings", "first_run", "0");
        Store->Write(Key + "m_settings", "skin_path", Tree / "skins/default/");
        Store->Write(Key + "m_lpanel", "ppath", Tree / "left");
        Store->Write(Key + "m_lpanel", "pposit", "a.txt");
        Store->Write(Key + "m_rpanel", "ppath", Tree / "right");
        ASSERT_TRUE(Store->Flush().has_value());
        SetPlatform(&System, &FileSystem);
        SetRegistryStore(Store.get());
        Data = std::make_unique<TData>(*Store, System, FileSystem);
        TMainFormServices services;
        services.Data = Data.get();
        Form = std::make_unique<TMainForm>(services);
        Form->show();
        Form->activateWindow();
        QElapsedTimer timer;
        timer.start();
        while (!Form->Ready() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(Form->Ready());
        Form->LEFTPANEL->setFocus(Qt::OtherFocusReason);
    }

    void TearDown() override {
        Form.reset();
        Data.reset();
        SetRegistryStore(nullptr);
    }

    void Mark(const char* name) {
        TKMYFILEPANEL& panel = Form->LeftPanel();
        panel.MarkItem(panel.FItemsStruc->GetFileItem(panel.FindItem(name, false)), mmMark);
    }

    // Runs the command; act gets the attributes dialog, and every message after it is read
    // and closed. Whatever stays open after five seconds is closed, so a fault fails the test.
    void Run(const std::function<void(QDialog&)>& act) {
        bool acted = false;
        QTimer pump;
        pump.setInterval(10);
        QElapsedTimer limit;
        limit.start();
        QObject::connect(&pump, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            if (limit.elapsed() > 5000) {
                dialog->done(-1);
                return;
            }
            if (dialog->objectName() == QStringLiteral("ChangeAttrForm")) {
                if (!acted) {
                    acted = true;
                    act(*dialog);
                }
                return;
            }
            std::string text;
            for (const QTextEdit* area : dialog->findChildren<QTextEdit*>())
                text += area->toPlainText().toStdString();
            Messages.push_back(text);
            dialog->accept();
        });
        pump.start();
        Form->RunCommand(cmChangeFileAttributes);
        pump.stop();
        EXPECT_TRUE(acted);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }

    test::TempTree Tree;
    TKLinuxSystem System;
    TKLinuxFileSystem FileSystem;
    std::unique_ptr<TKRegistryStore> Store;
    std::unique_ptr<TData> Data;
    std::unique_ptr<TMainForm> Form;
    std::vector<std::string> Messages;
};

template <class T> T& Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return *child;
}

TEST_F(MainFormAttributes, ChangeAppliesToTheMarkedItemsOnly) {
    Mark("a.txt");
    Mark("c.txt");
    Run([](QDialog& dialog) {
        Child<QPushButton>(dialog, "KButtonMarkAll").click();
        Child<QPushButton>(dialog, "ChangeButton").click();
    });
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Permissions(Tree / "left/a.txt"), 0444u);
    EXPECT_EQ(Permissions(Tree / "left/b.txt"), 0644u);
    EXPECT_EQ(Permissions(Tree / "left/c.txt"), 0444u);
    // The panel shows the new state.
    TKMYFILEPANEL& panel = Form->LeftPanel();
    EXPECT_EQ(panel.FItemsStruc->GetFileItem(panel.FindItem("a.txt", false))->Attr & 1, 1u);
}

TEST_F(MainFormAttributes, AnUnreadableDateAndAVanishedItemAreTold) {
    Mark("a.txt");
    Mark("b.txt");
    const std::string gone = Tree / "left/b.txt";
    Run([&](QDialog& dialog) {
        Child<QPushButton>(dialog, "KButtonMarkAll").click();
        Child<QCheckBox>(dialog, "SettingsChangeAttrChDateTime").click();
        Child<QLineEdit>(dialog, "SettingsChangeAttrChDate").setText(QStringLiteral("someday"));
        fs::remove(gone);
        Child<QPushButton>(dialog, "ChangeButton").click();
    });
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_NE(Messages[0].find("'someday'"), std::string::npos) << Messages[0];
    EXPECT_NE(Messages[1].find(gone), std::string::npos) << Messages[1];
    EXPECT_EQ(Messages[1].find("a.txt"), std::string::npos) << Messages[1];
    // The attributes went on regardless.
    EXPECT_EQ(Permissions(Tree / "left/a.txt"), 0444u);
}

} // namespace
} // namespace ks
