#include "fileops/ui/ChangeAttrForm.h"

#include "foundation/Data.h"
#include "foundation/RegistryStore.h"

#include <QCheckBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <utility>

namespace ks {

namespace {

// The boxes in the order of `AttrBoxBits`, with the names the registry and the window file use.
struct TBoxText {
    const char* Name;
    const char* Caption;
};
constexpr std::array<TBoxText, 4> BoxTexts = {{
    {"fReadOnly", "&Read only"},
    {"fArchive", "&Archive"},
    {"fHidden", "H&idden"},
    {"fSystem", "&System"},
}};

// Only the owner's write bit can be changed on a local disk; the other bits follow from the
// name and the kind of the entry.
constexpr std::size_t ReadOnlyBox = 0;

TAttrBoxState StateOf(const QCheckBox& box) {
    switch (box.checkState()) {
    case Qt::Checked:
        return TAttrBoxState::abSet;
    case Qt::PartiallyChecked:
        return TAttrBoxState::abGrayed;
    default:
        return TAttrBoxState::abClear;
    }
}

} // namespace

TChangeAttrForm::TChangeAttrForm(std::vector<std::uint32_t> attrs, QWidget* parent)
    : TKMYFORM(parent, ftTranslated), FAttrs(std::move(attrs)) {
    setObjectName(QStringLiteral("ChangeAttrForm"));
    setWindowTitle(QStringLiteral("Change item-attributes..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 14, InnerTop + 12, 18, 12);
    layout->setSpacing(6);

    auto* label = new QLabel(QStringLiteral("Set new attributes to selected item(s)."), this);
    label->setObjectName(QStringLiteral("InfoLabel"));
    layout->addWidget(label);

    auto* boxRow = new QHBoxLayout;
    auto* boxColumn = new QVBoxLayout;
    for (std::size_t i = 0; i < FBoxes.size(); ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(BoxTexts[i].Caption), this);
        box->setObjectName(QString::fromLatin1(BoxTexts[i].Name));
        box->setEnabled(i == ReadOnlyBox);
        boxColumn->addWidget(box);
        FBoxes[i] = box;
    }
    boxRow->addLayout(boxColumn);
    boxRow->addStretch();
    auto* markColumn = new QVBoxLayout;
    auto* markAll = new QPushButton(QStringLiteral("&+"), this);
    markAll->setObjectName(QStringLiteral("KButtonMarkAll"));
    auto* unmarkAll = new QPushButton(QStringLiteral("&-"), this);
    unmarkAll->setObjectName(QStringLiteral("KButtonUnMarkAll"));
    markColumn->addWidget(markAll);
    markColumn->addWidget(unmarkAll);
    markColumn->addStretch();
    boxRow->addLayout(markColumn);
    layout->addLayout(boxRow);
    layout->addSpacing(4);

    FChangeDateTime = new QCheckBox(QStringLiteral("Change &date/time"), this);
    FChangeDateTime->setObjectName(QStringLiteral("SettingsChangeAttrChDateTime"));
    layout->addWidget(FChangeDateTime);

    const QLocale locale;
    auto* grid = new QGridLayout;
    FDateLabel = new QLabel(QStringLiteral("Date"), this);
    FDateLabel->setObjectName(QStringLiteral("DateLabel"));
    FDate = new QLineEdit(DateFormat(locale).toUpper(), this);
    FDate->setObjectName(QStringLiteral("SettingsChangeAttrChDate"));
    FDateLabel->setBuddy(FDate);
    FTimeLabel = new QLabel(QStringLiteral("Time"), this);
    FTimeLabel->setObjectName(QStringLiteral("TimeLabel"));
    FTime = new QLineEdit(TimeFormat(locale).toUpper(), this);
    FTime->setObjectName(QStringLiteral("SettingsChangeAttrChTime"));
    FTimeLabel->setBuddy(FTime);
    FCurrent = new QPushButton(QStringLiteral("C&urrent"), this);
    FCurrent->setObjectName(QStringLiteral("ButtonCurrentDateTime"));
    FCurrent->setAutoDefault(false);
    grid->addWidget(FDateLabel, 0, 0);
    grid->addWidget(FDate, 0, 1);
    grid->addWidget(FTimeLabel, 1, 0);
    grid->addWidget(FTime, 1, 1);
    grid->addWidget(FCurrent, 0, 2);
    layout->addLayout(grid);
    layout->addSpacing(6);

    AddButtonRow(layout, {{"ChangeButton", "C&hange"}, {"CancelButton", "&Cancel", false}});

    connect(markAll, &QPushButton::clicked, this, [this] { SetAll(true); });
    connect(unmarkAll, &QPushButton::clicked, this, [this] { SetAll(false); });
    connect(FChangeDateTime, &QCheckBox::toggled, this, [this](bool checked) { DateTimeToggled(checked); });
    connect(FCurrent, &QPushButton::clicked, this, [this] { FillCurrent(); });
}

TChangeAttrChoice TChangeAttrForm::Execute(const std::vector<std::uint32_t>& attrs, QWidget* parent) {
    TChangeAttrChoice choice;
    ExecForm(new TChangeAttrForm(attrs, parent),
             [&choice](TChangeAttrForm& form) { choice = form.Choice(); });
    return choice;
}

TAttrBoxes TChangeAttrForm::Boxes() const {
    TAttrBoxes boxes{};
    for (std::size_t i = 0; i < FBoxes.size(); ++i)
        boxes[i] = StateOf(*FBoxes[i]);
    return boxes;
}

QString TChangeAttrForm::DateFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

QString TChangeAttrForm::TimeFormat(const QLocale& locale) {
    return locale.timeFormat(QLocale::ShortFormat);
}

std::optional<std::int64_t> TChangeAttrForm::ReadDateTime(const QString& date, const QString& time,
                                                          const QLocale& locale) {
    const QDate day = locale.toDate(date.trimmed(), DateFormat(locale));
    if (!day.isValid())
        return std::nullopt;
    // Seconds may be typed although the short format leaves them out; the long format often ends
    // in a time zone, which nobody types.
    const QString shortFormat = TimeFormat(locale);
    QString withSeconds = shortFormat;
    if (!withSeconds.contains(QLatin1Char('s')))
        withSeconds.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    QTime clock;
    for (const QString& format : {shortFormat, withSeconds, locale.timeFormat(QLocale::LongFormat)}) {
        clock = locale.toTime(time.trimmed(), format);
        if (clock.isValid())
            break;
    }
    if (!clock.isValid())
        return std::nullopt;
    const QDateTime when(day, clock);
    // A time the clock skipped (the hour a summer time starts) names no moment.
    if (!when.isValid())
        return std::nullopt;
    return static_cast<std::int64_t>(when.toMSecsSinceEpoch()) * 1'000'000;
}

void TChangeAttrForm::accept() {
    FChoice = {};
    FChoice.Change = true;
    FChoice.What.Boxes = Boxes();
    // Boxes nobody can change leave every item as it is, whatever they show.
    for (std::size_t i = 0; i < FBoxes.size(); ++i)
        if (!FBoxes[i]->isEnabled())
            FChoice.What.Boxes[i] = TAttrBoxState::abGrayed;
    if (FChangeDateTime->isChecked()) {
        FChoice.DateText = FDate->text();
        FChoice.TimeText = FTime->text();
        FChoice.What.ModifyTimeNs = ReadDateTime(FChoice.DateText, FChoice.TimeText, QLocale());
        FChoice.DateTimeUnreadable = !FChoice.What.ModifyTimeNs;
    }
    if (TKRegistryStore* store = RegistryStore()) {
        for (std::size_t i = 0; i < FBoxes.size(); ++i)
            SaveCheckBoxState(*store, ProgramKey, BoxTexts[i].Name, FBoxes[i]->checkState() == Qt::Checked);
    }
    TKMYFORM::accept();
}

void TChangeAttrForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FChoice = {};
    FChangeDateTime->setChecked(false);
    DateTimeToggled(false);
    const TAttrBoxes boxes = InitialAttrBoxes(FAttrs);
    for (std::size_t i = 0; i < FBoxes.size(); ++i)
        SetBox(i, boxes[i]);
    FBoxes[ReadOnlyBox]->setFocus(Qt::OtherFocusReason);
}

void TChangeAttrForm::SetBox(std::size_t index, TAttrBoxState state) {
    QCheckBox& box = *FBoxes[index];
    // Only a box that opens grayed offers the grayed state again when clicked through.
    box.setTristate(state == TAttrBoxState::abGrayed);
    box.setCheckState(state == TAttrBoxState::abGrayed ? Qt::PartiallyChecked
                      : state == TAttrBoxState::abSet  ? Qt::Checked
                                                       : Qt::Unchecked);
}

void TChangeAttrForm::SetAll(bool checked) {
    // The disabled boxes keep showing what the items are: nothing can change those bits here.
    for (std::size_t i = 0; i < FBoxes.size(); ++i)
        if (FBoxes[i]->isEnabled())
            SetBox(i, checked ? TAttrBoxState::abSet : TAttrBoxState::abClear);
}

void TChangeAttrForm::DateTimeToggled(bool checked) {
    FCurrent->setVisible(checked);
    for (QWidget* widget : {static_cast<QWidget*>(FDateLabel), static_cast<QWidget*>(FDate),
                            static_cast<QWidget*>(FTimeLabel), static_cast<QWidget*>(FTime)})
        widget->setEnabled(checked);
    if (checked)
        FDate->setFocus(Qt::OtherFocusReason);
}

void TChangeAttrForm::FillCurrent() {
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    FDate->setText(locale.toString(now.date(), DateFormat(locale)));
    FTime->setText(locale.toString(now.time(), TimeFormat(locale)));
    FCurrent->setDown(false);
}

} // namespace ks
