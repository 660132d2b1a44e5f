// The attributes dialog: the three-state boxes it opens with, "&+" and "&-", the date and time
// boxes, and what "C&hange" hands back.

#include "fileops/ui/ChangeAttrForm.h"

#include "support/QtApp.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ks {
namespace {

using S = TAttrBoxState;

template <class T> T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

constexpr std::array<const char*, 4> BoxNames = {"fReadOnly", "fArchive", "fHidden", "fSystem"};

class ChangeAttrFormTest : public testing::Test {
protected:
    void SetUp() override { test::QtApp(); }
};

TEST_F(ChangeAttrFormTest, BoxesOpenFromTheItemsGrayedWhereTheyDiffer) {
    struct TCase {
        const char* What;
        std::vector<std::uint32_t> Attrs;
        std::array<Qt::CheckState, 4> States; // read-only, archive, hidden, system
    };
    const std::vector<TCase> cases = {
        {"one read-only file", {1 | 32}, {Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::Unchecked}},
        {"three files, one hidden",
         {32, 32 | 2, 32},
         {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked}},
        {"a read-only folder and a file",
         {16 | 1, 32},
         {Qt::PartiallyChecked, Qt::PartiallyChecked, Qt::Unchecked, Qt::Unchecked}},
    };
    for (const TCase& c : cases) {
        TChangeAttrForm form(c.Attrs);
        form.show();
        for (std::size_t i = 0; i < BoxNames.size(); ++i) {
            QCheckBox* box = Child<QCheckBox>(form, BoxNames[i]);
            EXPECT_EQ(box->checkState(), c.States[i]) << c.What << " " << BoxNames[i];
            // Only the owner's write bit can be changed on a local disk.
            EXPECT_EQ(box->isEnabled(), i == 0) << BoxNames[i];
        }
        EXPECT_EQ(form.focusWidget(), Child<QCheckBox>(form, "fReadOnly")) << c.What;
    }
}

TEST_F(ChangeAttrFormTest, PlusAndMinusSetTheBoxesThatCanChangeAndUngrayThem) {
    TChangeAttrForm form({1 | 32, 32 | 2});
    form.show();
    QCheckBox* readOnly = Child<QCheckBox>(form, "fReadOnly");
    ASSERT_EQ(readOnly->checkState(), Qt::PartiallyChecked);

    Child<QPushButton>(form, "KButtonMarkAll")->click();
    EXPECT_EQ(form.Boxes(), (TAttrBoxes{S::abSet, S::abSet, S::abGrayed, S::abClear}));
    // Once un-grayed, clicking goes between the two states only.
    readOnly->click();
    EXPECT_EQ(readOnly->checkState(), Qt::Unchecked);
    readOnly->click();
    EXPECT_EQ(readOnly->checkState(), Qt::Checked);

    Child<QPushButton>(form, "KButtonUnMarkAll")->click();
    EXPECT_EQ(form.Boxes(), (TAttrBoxes{S::abClear, S::abSet, S::abGrayed, S::abClear}));

    // Shown again, the dialog opens from the items once more.
    form.hide();
    form.show();
    EXPECT_EQ(readOnly->checkState(), Qt::PartiallyChecked);
}

TEST_F(ChangeAttrFormTest, DateAndTimeBoxesFollowTheCheckBoxAndCurrentFillsThem) {
    TChangeAttrForm form({32});
    form.show();
    QCheckBox* change = Child<QCheckBox>(form, "SettingsChangeAttrChDateTime");
    QLineEdit* date = Child<QLineEdit>(form, "SettingsChangeAttrChDate");
    QLineEdit* time = Child<QLineEdit>(form, "SettingsChangeAttrChTime");
    QPushButton* current = Child<QPushButton>(form, "ButtonCurrentDateTime");
    EXPECT_FALSE(change->isChecked());
    EXPECT_FALSE(date->isEnabled());
    EXPECT_FALSE(time->isEnabled());
    EXPECT_FALSE(Child<QLabel>(form, "DateLabel")->isEnabled());
    EXPECT_FALSE(current->isVisible());

    change->click();
    EXPECT_TRUE(date->isEnabled());
    EXPECT_TRUE(time->isEnabled());
    EXPECT_TRUE(Child<QLabel>(form, "TimeLabel")->isEnabled());
    EXPECT_TRUE(current->isVisible());
    EXPECT_EQ(form.focusWidget(), date);

    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    current->click();
    EXPECT_FALSE(current->isDown());
    const std::optional<std::int64_t> read =
        TChangeAttrForm::ReadDateTime(date->text(), time->text(), QLocale());
    ASSERT_TRUE(read) << date->text().toStdString() << " " << time->text().toStdString();
    // The short time format may leave out the seconds, never more than a day's worth.
    EXPECT_LE(*read / 1'000'000, before + 1000);
    EXPECT_GT(*read / 1'000'000, before - 24LL * 3600 * 1000);

    form.accept();
    const TChangeAttrChoice& choice = form.Choice();
    EXPECT_TRUE(choice.Change);
    EXPECT_EQ(choice.What.ModifyTimeNs, read);
    EXPECT_FALSE(choice.DateTimeUnreadable);
}

TEST_F(ChangeAttrFormTest, AnUnreadableDateKeepsTheTimesButNotTheAttributes) {
    test::ShowAndAct(
        [] {
            const TChangeAttrChoice choice = TChangeAttrForm::Execute({32, 32 | 2, 32});
            EXPECT_TRUE(choice.Change);
            EXPECT_TRUE(choice.DateTimeUnreadable);
            EXPECT_FALSE(choice.What.ModifyTimeNs);
            EXPECT_EQ(choice.DateText, QStringLiteral("31.13.20x6"));
            // The boxes nobody can change leave every item's bits alone.
            EXPECT_EQ(choice.What.Boxes, (TAttrBoxes{S::abSet, S::abGrayed, S::abGrayed, S::abGrayed}));
        },
        [](QDialog& dialog) {
            Child<QPushButton>(dialog, "KButtonMarkAll")->click();
            Child<QCheckBox>(dialog, "SettingsChangeAttrChDateTime")->click();
            Child<QLineEdit>(dialog, "SettingsChangeAttrChDate")->setText(QStringLiteral("31.13.20x6"));
            Child<QPushButton>(dialog, "ChangeButton")->click();
        });
    test::ShowAndAct(
        [] {
            const TChangeAttrChoice choice = TChangeAttrForm::Execute({32});
            EXPECT_FALSE(choice.Change);
        },
        [](QDialog& dialog) { Child<QPushButton>(dialog, "CancelButton")->click(); });
}

TEST_F(ChangeAttrFormTest, DatesAndTimesAreReadInTheLocalesFormats) {
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    struct TCase {
        QLocale Locale;
        const char* Date;
        const char* Time;
        QDateTime Expected; // invalid: cannot be read
    };
    const std::vector<TCase> cases = {
        {german, "11.12.2026", "10:20", QDateTime(QDate(2026, 12, 11), QTime(10, 20))},
        {german, "11.12.2026", "10:20:30", QDateTime(QDate(2026, 12, 11), QTime(10, 20, 30))},
        {us, "12/11/2026", "10:20 PM", QDateTime(QDate(2026, 12, 11), QTime(22, 20))},
        {german, "31.02.2026", "10:20", {}},
        {german, "11.12.2026", "25:00", {}},
        {german, "DD.MM.YYYY", "HH:MM:SS", {}},
        {us, "", "", {}},
    };
    for (const TCase& c : cases) {
        const std::optional<std::int64_t> read =
            TChangeAttrForm::ReadDateTime(QString::fromLatin1(c.Date), QString::fromLatin1(c.Time), c.Locale);
        SCOPED_TRACE(std::string(c.Date) + " " + c.Time);
        if (!c.Expected.isValid()) {
            EXPECT_FALSE(read);
            continue;
        }
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, c.Expected.toMSecsSinceEpoch() * 1'000'000);
    }
    // A two-digit year would be read as one of the 1900s: the date box shows four.
    EXPECT_TRUE(TChangeAttrForm::DateFormat(us).contains(QStringLiteral("yyyy")));
    EXPECT_FALSE(TChangeAttrForm::DateFormat(us).contains(QStringLiteral("yyyyyy")));
}

TEST_F(ChangeAttrFormTest, TheWindowFileNamesEveryText) {
    TChangeAttrForm form({32});
    form.show();
    QFile file(QStringLiteral(KS_SOURCE_DIR "/data/lang/ENGLISH/F_ChangeAttrForm.dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    int lines = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.isEmpty())
            continue;
        ++lines;
        ASSERT_TRUE(raw.endsWith('\r'));
        const QString line = QString::fromLatin1(raw.chopped(1));
        const QString key = line.section(u'|', 0, 0);
        const QString text = line.section(u'|', 1);
        SCOPED_TRACE(key.toStdString());
        if (key == QStringLiteral("FormCaption")) {
            EXPECT_EQ(form.windowTitle(), text);
        } else if (auto* label = form.findChild<QLabel*>(key)) {
            EXPECT_EQ(label->text(), text);
        } else {
            auto* button = form.findChild<QAbstractButton*>(key);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), text);
        }
    }
    EXPECT_EQ(lines, 14);
}

} // namespace
} // namespace ks
