#pragma once

#include "controls/ui/KMYFORM.h"
#include "panel/ItemAttributes.h"

#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace ks {

/// How the attributes dialog was closed.
struct TChangeAttrChoice {
    bool Change = false; ///< "C&hange" was pressed
    /// The boxes and, with "Change &date/time" and a date and time that could be read, the time.
    TAttrChange What;
    /// "Change &date/time" was checked but the date or time text could not be read: the times
    /// stay as they are, the attributes are still changed.
    bool DateTimeUnreadable = false;
    QString DateText;
    QString TimeText;
};

/// The attributes dialog (`TChangeAttrForm`, "Change item-attributes..."): four three-state boxes
/// opened from the items' bits (`InitialAttrBoxes`), "&+" and "&-" for all of them, and a date and
/// a time in the locale's short formats for the new modification time. On a local disk only
/// "&Read only" (the owner's write bit) can change; the other three show the items' state and are
/// disabled. A box that opens grayed can be grayed again by clicking through it; the others have
/// two states. Thread: the GUI thread.
class TChangeAttrForm : public TKMYFORM {
public:
    /// attrs are the items' bits in panel order.
    explicit TChangeAttrForm(std::vector<std::uint32_t> attrs, QWidget* parent = nullptr);

    /// Shows the dialog modally over parent; a dialog that went away with its parent counts as
    /// cancelled.
    static TChangeAttrChoice Execute(const std::vector<std::uint32_t>& attrs, QWidget* parent = nullptr);

    /// The boxes as they stand, indexed like `AttrBoxBits`.
    TAttrBoxes Boxes() const;
    /// How the dialog was closed; meaningful once it has.
    const TChangeAttrChoice& Choice() const { return FChoice; }

    /// The format the date box shows and reads: the locale's short date format, with a two-digit
    /// year widened to four (a two-digit year would be read as one of the 1900s).
    static QString DateFormat(const QLocale& locale);
    /// The format the time box shows: the locale's short time format.
    static QString TimeFormat(const QLocale& locale);
    /// The date text and the time text read as a local date-time, nanoseconds since 1970 UTC; the
    /// time may also be written in the locale's long format (with seconds). Nothing when either
    /// cannot be read.
    static std::optional<std::int64_t> ReadDateTime(const QString& date, const QString& time,
                                                    const QLocale& locale);

    /// "C&hange": the choice is taken and the four boxes are remembered.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetBox(std::size_t index, TAttrBoxState state);
    void SetAll(bool checked);
    void DateTimeToggled(bool checked);
    void FillCurrent();

    std::vector<std::uint32_t> FAttrs;
    TChangeAttrChoice FChoice;
    std::array<QCheckBox*, 4> FBoxes{};
    QCheckBox* FChangeDateTime = nullptr;
    QLabel* FDateLabel = nullptr;
    QLabel* FTimeLabel = nullptr;
    QLineEdit* FDate = nullptr;
    QLineEdit* FTime = nullptr;
    QPushButton* FCurrent = nullptr;
};

} // namespace ks
