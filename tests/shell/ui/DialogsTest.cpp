#include "fileops/ui/DeleteFilesForm.h"
#include "foundation/Data.h"
#include "foundation/RegistryStore.h"
#include "shell/ui/AboutForm.h"
#include "shell/ui/MenuForm.h"
#include "shell/ui/POSEditorForm.h"
#include "shell/ui/UserModeForm.h"

#include "support/QtApp.h"
#include "support/TempTree.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace ks {
namespace {

class DialogsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtApp(); }
};

void SendKey(QWidget& target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(&target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(&target, &release);
}

void SendKeyToFocus(QWidget& dialog, int key) {
    SendKey(dialog.focusWidget() != nullptr ? *dialog.focusWidget() : dialog, key);
}

using test::ShowAndAct;

template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// The caption a control shows, as the window file sets it.
QString CaptionOf(QObject& object) {
    if (auto* button = qobject_cast<QAbstractButton*>(&object))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(&object))
        return label->text();
    if (auto* action = qobject_cast<QAction*>(&object))
        return action->text();
    if (auto* menu = qobject_cast<QMenu*>(&object))
        return menu->title();
    return QStringLiteral("<no caption>");
}

// The English window file of form names only controls the form has, and its captions are the
// form's own, so a translation reaches every text.
void ExpectWindowFileMatches(QWidget& form) {
    SCOPED_TRACE(form.objectName().toStdString());
    QFile file(QStringLiteral(KS_SOURCE_DIR "/data/lang/ENGLISH/F_") + form.objectName() +
               QStringLiteral(".dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    int controls = 0;
    for (const QByteArray& raw : lines) {
        if (raw.isEmpty())
            continue;
        ASSERT_TRUE(raw.endsWith('\r')) << "lines end with CR LF";
        const QString line = QString::fromLatin1(raw.chopped(1));
        const qsizetype bar = line.indexOf(u'|');
        ASSERT_GT(bar, 0) << line.toStdString();
        const QString key = line.left(bar);
        const QString text = line.mid(bar + 1);
        if (key == QStringLiteral("FormCaption")) {
            EXPECT_EQ(form.windowTitle(), text);
            continue;
        }
        QObject* control = form.findChild<QObject*>(key);
        ASSERT_NE(control, nullptr) << key.toStdString();
        EXPECT_EQ(CaptionOf(*control), text) << key.toStdString();
        ++controls;
    }
    EXPECT_GT(controls, 0);
}

TEST_F(DialogsTest, UserModeChangesAsSoonAsABoxIsChosen) {
    int userMode = 3;
    int seenDuringDialog = 0;
    bool changed = false;
    ShowAndAct([&] { changed = ShowUserModeForm(userMode); },
               [&](QDialog& form) {
                   EXPECT_EQ(form.objectName(), QStringLiteral("UserModeForm"));
                   ExpectWindowFileMatches(form);
                   EXPECT_TRUE(Child<QCheckBox>(form, "NormalUser")->isChecked());
                   Child<QCheckBox>(form, "ExpertMode")->click();
                   seenDuringDialog = userMode;
                   EXPECT_FALSE(Child<QCheckBox>(form, "NormalUser")->isChecked());
                   // Clicking the chosen box again keeps a level chosen.
                   Child<QCheckBox>(form, "ExpertMode")->click();
                   EXPECT_TRUE(Child<QCheckBox>(form, "ExpertMode")->isChecked());
                   Child<QPushButton>(form, "OKButton")->click();
               });
    EXPECT_EQ(seenDuringDialog, 4);
    EXPECT_EQ(userMode, 4);
    EXPECT_TRUE(changed);

    ShowAndAct([&] { changed = ShowUserModeForm(userMode); },
               [](QDialog& form) { SendKeyToFocus(form, Qt::Key_Escape); });
    EXPECT_EQ(userMode, 4);
    EXPECT_FALSE(changed);
}

TEST_F(DialogsTest, AboutNamesProductAndRelease) {
    ShowAndAct([] { ShowAboutForm(); },
               [](QDialog& form) {
                   ExpectWindowFileMatches(form);
                   EXPECT_EQ(Child<QLabel>(form, "ProductName")->text(), QStringLiteral("kSable"));
                   EXPECT_FALSE(Child<QLabel>(form, "ReleaseNumber")->text().isEmpty());
                   EXPECT_TRUE(Child<QLabel>(form, "NotesText")->text().contains(QStringLiteral("Linux")));
                   SendKeyToFocus(form, Qt::Key_Return);
                   EXPECT_FALSE(form.isVisible());
               });
}

TEST_F(DialogsTest, DeleteDialogReturnsTheChoiceAndRemembersTheRecycleBox) {
    test::TempTree tree;
    TKRegistryStore store(tree / "registry");
    TKRegistryStore* const previous = RegistryStore();
    SetRegistryStore(&store);

    TDeleteChoice choice;
    // Escape cancels; the box the user unchecked is stored at once.
    ShowAndAct([&] { choice = ShowDeleteFilesForm(false); },
               [](QDialog& form) {
                   EXPECT_EQ(form.objectName(), QStringLiteral("DeleteFiles"));
                   ExpectWindowFileMatches(form);
                   auto* toRecycle = Child<QCheckBox>(form, "ToRecycle");
                   auto* erase = Child<QCheckBox>(form, "EraseAllTracks");
                   EXPECT_EQ(form.focusWidget(), toRecycle);
                   EXPECT_TRUE(toRecycle->isEnabled());
                   EXPECT_TRUE(toRecycle->isChecked());
                   EXPECT_FALSE(erase->isEnabled());
                   EXPECT_FALSE(erase->isChecked());
                   toRecycle->click();
                   SendKeyToFocus(form, Qt::Key_Escape);
               });
    EXPECT_FALSE(choice.Delete);
    EXPECT_FALSE(choice.ToRecycle);
    EXPECT_EQ(LoadCheckBoxState(store, ProgramKey, "ToRecycle"), std::optional<bool>(false));

    // The next dialog starts unchecked; Enter presses "&Delete".
    ShowAndAct([&] { choice = ShowDeleteFilesForm(false); },
               [](QDialog& form) {
                   EXPECT_FALSE(Child<QCheckBox>(form, "ToRecycle")->isChecked());
                   Child<QCheckBox>(form, "ToRecycle")->click();
                   SendKeyToFocus(form, Qt::Key_Return);
               });
    EXPECT_TRUE(choice.Delete);
    EXPECT_TRUE(choice.ToRecycle);
    EXPECT_FALSE(choice.EraseAllTracks);

    // An archive panel never offers the recycle bin, whatever the stored state.
    ShowAndAct([&] { choice = ShowDeleteFilesForm(true); },
               [](QDialog& form) {
                   EXPECT_FALSE(Child<QCheckBox>(form, "ToRecycle")->isEnabled());
                   Child<QPushButton>(form, "DeleteButton")->click();
               });
    EXPECT_TRUE(choice.Delete);
    EXPECT_FALSE(choice.ToRecycle);
    EXPECT_EQ(LoadCheckBoxState(store, ProgramKey, "ToRecycle"), std::optional<bool>(true));

    SetRegistryStore(previous);
}

TEST_F(DialogsTest, FlyingMenuCallsBack) {
    int opened = 0;
    int disabled = 0;
    TMenuForm form([&](QPoint at) { opened += at == QCursor::pos() ? 1 : 100; }, [&] { ++disabled; });
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    form.show();
    QCoreApplication::processEvents();
    ExpectWindowFileMatches(form);
    EXPECT_EQ(form.height(), form.MenuBar()->height());

    Child<QAction>(form, "Menu1")->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(disabled, 0);
    Child<QAction>(form, "DisableFlyingMenu1")->trigger();
    EXPECT_EQ(disabled, 1);
    EXPECT_EQ(opened, 1);
}

TEST_F(DialogsTest, PositionEditorMovesSizesAndFramesTheSelectedPart) {
    QWidget host;
    host.resize(400, 300);
    host.setAutoFillBackground(true);
    host.setPalette(QPalette(Qt::darkBlue));
    auto* left = new QWidget(&host);
    left->setGeometry(10, 10, 100, 50);
    auto* right = new QWidget(&host);
    right->setGeometry(200, 100, 80, 40);
    int reattached = 0;
    int saved = 0;
    TPOSEditorForm form(
        {{"LEFTPANEL", left}, {"RIGHTPANEL", right}}, &host, [&] { ++reattached; }, [&] { ++saved; });
    host.show();
    form.show();
    QCoreApplication::processEvents();
    ExpectWindowFileMatches(form);
    ASSERT_EQ(form.PartList()->count(), 2);
    EXPECT_EQ(form.PartList()->item(1)->text(), QStringLiteral("RIGHTPANEL"));

    form.PartList()->setCurrentRow(1);
    QListWidget& list = *form.PartList();
    SendKey(list, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(right->geometry(), QRect(201, 100, 80, 40));
    SendKey(list, Qt::Key_Down, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(right->geometry(), QRect(201, 100, 80, 41));
    SendKey(list, Qt::Key_Left, Qt::ShiftModifier | Qt::AltModifier);
    SendKey(list, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(right->geometry(), QRect(201, 99, 79, 41));
    // The list keeps its selection on Alt+Up, and the other part stays put.
    EXPECT_EQ(list.currentRow(), 1);
    EXPECT_EQ(left->geometry(), QRect(10, 10, 100, 50));
    SendKey(list, Qt::Key_Return);
    EXPECT_EQ(reattached, 1);
    Child<QPushButton>(form, "SaveButton")->click();
    EXPECT_EQ(saved, 1);

    EXPECT_EQ(form.FrameOverlay(), nullptr);
    form.FramesBox()->click();
    ASSERT_NE(form.FrameOverlay(), nullptr);
    EXPECT_EQ(form.FrameOverlay()->parentWidget(), &host);
    EXPECT_TRUE(form.FrameOverlay()->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QImage image = host.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(201, 99)), QColor(Qt::red));
    EXPECT_EQ(QColor(image.pixel(201 + 78, 99 + 40)), QColor(Qt::red));
    EXPECT_EQ(QColor(image.pixel(10, 10)), QColor(Qt::white));
    EXPECT_EQ(QColor(image.pixel(109, 59)), QColor(Qt::white));
    EXPECT_NE(QColor(image.pixel(150, 30)), QColor(Qt::white));

    form.close();
    EXPECT_EQ(form.FrameOverlay(), nullptr);
    EXPECT_EQ(host.findChild<QWidget*>(QStringLiteral("POSEditorFrames")), nullptr);
}

} // namespace
} // namespace ks
