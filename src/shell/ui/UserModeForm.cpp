#include "shell/ui/UserModeForm.h"

#include "controls/ui/KMYFORM.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace ks {

namespace {

struct TUserModeBox {
    const char* Name;
    const char* Caption;
    int Mode;
};

// The trailing space of the beginner's caption is the English pack's own text.
constexpr std::array<TUserModeBox, 4> UserModeBoxes = {{
    {"BrowserMode", "Browser mode", 1},
    {"BeginnersMode", "Beginners mode ", 2},
    {"NormalUser", "Normal user", 3},
    {"ExpertMode", "Expert mode", 4},
}};

/// The user level dialog: four check boxes that behave as radio buttons; choosing one sets the
/// level at once, "&OK" closes.
class TUserModeForm : public TKMYFORM {
public:
    TUserModeForm(int& userMode, QWidget* parent) : TKMYFORM(parent, ftTranslated) {
        setObjectName(QStringLiteral("UserModeForm"));
        setWindowTitle(QStringLiteral("Choose your new user-level..."));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(InnerLeft + 20, InnerTop + 14, 24, 14);
        layout->setSpacing(8);

        auto* group = new QButtonGroup(this);
        group->setExclusive(true);
        for (const TUserModeBox& box : UserModeBoxes) {
            auto* check = new QCheckBox(QString::fromLatin1(box.Caption), this);
            check->setObjectName(QString::fromLatin1(box.Name));
            check->setChecked(box.Mode == userMode);
            group->addButton(check, box.Mode);
            layout->addWidget(check);
        }
        // An exclusive group with nothing checked lets the first click check a box; afterwards
        // one box stays checked, as a level is always in force.
        connect(group, &QButtonGroup::idClicked, this, [&userMode](int mode) { userMode = mode; });

        layout->addSpacing(6);
        AddOkRow(layout);

        if (QAbstractButton* current = group->button(userMode))
            current->setFocus(Qt::OtherFocusReason);
    }
};

} // namespace

bool ShowUserModeForm(int& userMode, QWidget* parent) {
    const int before = userMode;
    ExecForm(new TUserModeForm(userMode, parent));
    return userMode != before;
}

} // namespace ks
