#include "controls/ui/MessageForm.h"

#include "foundation/Language.h"
#include "support/QtApp.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace ks {
namespace {

class MessageFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "ks_controls_ui_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }

    void SetUp() override { FSavedLanguage = CurrentLanguage(); }
    void TearDown() override {
        CurrentLanguage() = FSavedLanguage;
        TMessageForm::SetTextDecoder({});
    }

    TLanguage FSavedLanguage;
};

void PressKey(QWidget& form, int key) {
    QWidget* target = form.focusWidget() != nullptr ? form.focusWidget() : &form;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

// Calls ShowMessageForm and, once the box is on screen, hands it to act.
int AskAndAct(int buttons, int defaultButton, const std::function<void(TMessageForm&)>& act,
              const std::string& text = "Overwrite?") {
    int result = 0;
    test::ShowAndAct([&] { result = ShowMessageForm(text, 0, buttons, defaultButton, 0); },
                     [&act](QDialog& dialog) {
                         auto* form = dynamic_cast<TMessageForm*>(&dialog);
                         ASSERT_NE(form, nullptr);
                         act(*form);
                     });
    return result;
}

std::vector<int> VisibleButtons(const TMessageForm& form) {
    std::vector<int> visible;
    for (int i = 0; i < 8; ++i) {
        if (!form.Button(i)->isHidden())
            visible.push_back(i);
    }
    return visible;
}

TEST_F(MessageFormTest, OkOnlyIsCentredInTheMinimumWidth) {
    TMessageForm form("File not found.", mbOK, 2);
    EXPECT_EQ(form.width(), MinMessageBoxWidth);
    EXPECT_EQ(VisibleButtons(form), std::vector<int>{4});
    const QRect ok = form.Button(4)->geometry();
    EXPECT_EQ(ok.width(), DefaultMessageButtonWidth);
    EXPECT_EQ(ok.left(), (250 - 83) / 2);
    EXPECT_GT(ok.top(), form.TextArea()->geometry().bottom());
    EXPECT_LE(ok.bottom(), form.height());
}

TEST_F(MessageFormTest, FiveButtonsInTableOrder) {
    TMessageForm form("The file '/home/user/Documents/report-final-version.odt' already exists! Overwrite?",
                      mbYes | mbYesToAll | mbNo | mbNoToAll | mbAbort, 0);
    // Two lines of text keep the window short.
    EXPECT_LE(form.height(), 140);
    EXPECT_EQ(form.width(), 32 + 5 * 88 - 5 + 32);
    EXPECT_EQ(VisibleButtons(form), (std::vector<int>{0, 1, 2, 3, 7}));
    int left = 32;
    for (int index : {0, 1, 2, 3, 7}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(form.Button(index)->geometry(), QRect(left, form.Button(0)->y(), 83, 25));
        left += 88;
    }
}

TEST_F(MessageFormTest, LongCaptionWidensItsButtonAndTheRow) {
    CurrentLanguage().LoadLanguageData({"MSGBOX_No|&Nein, auf gar keinen Fall und niemals\r\n"}, true);
    TMessageForm form("?", mbYes | mbNo, 0);
    const int noWidth = form.Button(2)->width();
    EXPECT_GT(noWidth, DefaultMessageButtonWidth);
    EXPECT_EQ(form.width(), std::max(250, 32 + 83 + 5 + noWidth + 32));
    EXPECT_EQ(form.Button(2)->x(), form.Button(0)->x() + 83 + 5);
}

TEST_F(MessageFormTest, EscapeAndClosingGiveCancelNoOrAbort) {
    struct Case {
        int Buttons;
        int Default;
        int Expected;
    };
    for (const Case& c : {Case{12, 2, mrCancel}, Case{19, 1, mrNo}, Case{49, 0, mrAbort}, Case{4, 2, mrAbort},
                          Case{0, 0, mrAbort}}) {
        SCOPED_TRACE(c.Buttons);
        EXPECT_EQ(AskAndAct(c.Buttons, c.Default, [](TMessageForm& form) { PressKey(form, Qt::Key_Escape); }),
                  c.Expected);
        EXPECT_EQ(AskAndAct(c.Buttons, c.Default, [](TMessageForm& form) { form.close(); }), c.Expected);
        EXPECT_EQ(AskAndAct(c.Buttons, c.Default,
                            [](TMessageForm& form) {
                                form.findChild<QPushButton*>(QStringLiteral("CLOSE"))->click();
                            }),
                  c.Expected);
    }
}

TEST_F(MessageFormTest, DefaultButtonHasTheFocusAndAnswersEnter) {
    struct Case {
        int Buttons;
        int Default;
        int Focused; // index into MessageButtons
    };
    for (const Case& c : {Case{12, 2, 4}, Case{12, 3, 5}, Case{19, 1, 2}, Case{787, 9, 1}, Case{40, 3, 5},
                          Case{12, 0, 4} /* Yes is hidden: the first visible button */}) {
        SCOPED_TRACE(testing::Message() << c.Buttons << " " << c.Default);
        QWidget* focused = nullptr;
        QPushButton* expected = nullptr;
        const int result = AskAndAct(c.Buttons, c.Default, [&](TMessageForm& form) {
            focused = form.focusWidget();
            expected = form.Button(c.Focused);
            PressKey(form, Qt::Key_Return);
        });
        EXPECT_EQ(focused, expected);
        EXPECT_EQ(result, MessageButtons[static_cast<std::size_t>(c.Focused)].ModalResult);
    }
}

TEST_F(MessageFormTest, ClickedButtonGivesItsResult) {
    for (std::size_t i = 0; i < MessageButtons.size(); ++i) {
        SCOPED_TRACE(i);
        const int all = 1 | 2 | 4 | 8 | 16 | 32 | 256 | 512;
        EXPECT_EQ(AskAndAct(all, 2, [i](TMessageForm& form) { form.Button(static_cast<int>(i))->click(); }),
                  MessageButtons[i].ModalResult);
    }
}

TEST_F(MessageFormTest, CaptionsComeFromTheLanguageWithEnglishForEmptyOnes) {
    // A pack without the message-box keys leaves every caption empty in the language.
    CurrentLanguage().LoadLanguageData({"codePage|238\r\nSTR_FIXED|Pevny disk\r\n"}, true);
    ASSERT_TRUE(LangStrings().MSGBOX_Yes.empty());
    {
        TMessageForm form("?", 1023, 0);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("message..."));
        for (std::size_t i = 0; i < MessageButtons.size(); ++i)
            EXPECT_EQ(form.Button(static_cast<int>(i))->text().toStdString(),
                      MessageButtons[i].DefaultCaption);
    }

    CurrentLanguage().LoadLanguageData({"MSGBOX_Caption|zpr\xe1va\r\nMSGBOX_Yes|&Ano\r\n"}, true);
    TMessageForm::SetTextDecoder([](const std::string& bytes) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    });
    TMessageForm form("caf\xe9", mbYes | mbNo, 0);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("zpráva"));
    EXPECT_EQ(form.Button(0)->text(), QStringLiteral("&Ano"));
    EXPECT_EQ(form.Button(2)->text(), QStringLiteral("&No"));
    EXPECT_EQ(form.TextArea()->toPlainText(), QString::fromUtf8("café"));
}

TEST_F(MessageFormTest, IconCyclesWhileOpenOnly) {
    bool emptyAtStart = false;
    bool timerRan = false;
    std::vector<TMessageIcon> icons;
    bool pixmapsShown = true;
    TMessageForm* seen = nullptr;
    AskAndAct(mbOK, 2, [&](TMessageForm& form) {
        seen = &form;
        emptyAtStart = form.Icon() == miNone && form.IconArea()->pixmap().isNull();
        timerRan = form.IconTimerActive();
        for (int i = 0; i < 4; ++i) {
            form.TickIcon();
            icons.push_back(form.Icon());
            pixmapsShown = pixmapsShown && !form.IconArea()->pixmap().isNull();
        }
        form.Button(4)->click();
        timerRan = timerRan && !form.IconTimerActive();
    });
    EXPECT_NE(seen, nullptr);
    EXPECT_TRUE(emptyAtStart);
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(icons, (std::vector<TMessageIcon>{miExclamation, miError, miQuestion, miExclamation}));
    EXPECT_TRUE(pixmapsShown);
}

TEST_F(MessageFormTest, LongTextWrapsInsideTheWindow) {
    const std::string path = "/home/user/" + std::string(300, 'x') + "/file.txt";
    TMessageForm form("Can't delete this file: " + path + ". Try again?", mbYes | mbNo, 0);
    EXPECT_EQ(form.width(), MinMessageBoxWidth);
    const QTextEdit* text = form.TextArea();
    EXPECT_LE(text->geometry().right(), form.width());
    EXPECT_LE(text->document()->idealWidth(), text->width());
    EXPECT_EQ(text->document()->defaultTextOption().alignment(), Qt::AlignHCenter);

    std::string longText;
    for (int i = 0; i < 200; ++i)
        longText += "A line of a very long message. ";
    TMessageForm tall(longText, mbOK, 2);
    EXPECT_LT(tall.height(), 500);
    EXPECT_GT(tall.Button(4)->y(), tall.TextArea()->geometry().bottom());
}

TEST_F(MessageFormTest, DrawsTheDialogFrame) {
    TMessageForm form("Hello", mbOK, 2);
    const QImage image = form.grab().toImage();
    ASSERT_EQ(image.width(), form.width());
    // Black title bar above the framed body, which is lighter than the bar.
    EXPECT_EQ(QColor(image.pixel(form.width() / 2, 3)), QColor(Qt::black));
    const QColor body(image.pixel(8, form.height() - 8));
    EXPECT_GT(body.lightness(), 20);
}

} // namespace
} // namespace ks
