#include "shell/ui/AboutForm.h"

#include "controls/ui/KMYFORM.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ks {

namespace {

/// The release the about box names.
#ifdef KS_RELEASE
constexpr const char* ReleaseNumber = KS_RELEASE;
#else
constexpr const char* ReleaseNumber = "0.1";
#endif

/// The about box: product name, release number and a few words on the program.
class TAboutForm : public TKMYFORM {
public:
    explicit TAboutForm(QWidget* parent) : TKMYFORM(parent, ftTranslated) {
        setObjectName(QStringLiteral("AboutForm"));
        setWindowTitle(QStringLiteral("About kSable..."));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(InnerLeft + 20, InnerTop + 16, 24, 14);
        layout->setSpacing(6);

        auto* product = new QLabel(QStringLiteral("kSable"), this);
        product->setObjectName(QStringLiteral("ProductName"));
        QFont big = font();
        big.setPixelSize(24);
        big.setBold(true);
        product->setFont(big);
        product->setStyleSheet(QStringLiteral("color: #80bcff;"));
        layout->addWidget(product);

        // The number is a separate label, so that a translated "Release" leaves it alone.
        auto* release = new QHBoxLayout;
        release->setSpacing(4);
        auto* releaseCaption = new QLabel(QStringLiteral("Release"), this);
        releaseCaption->setObjectName(QStringLiteral("ReleaseLabel"));
        auto* releaseNumber = new QLabel(QString::fromLatin1(ReleaseNumber), this);
        releaseNumber->setObjectName(QStringLiteral("ReleaseNumber"));
        release->addWidget(releaseCaption);
        release->addWidget(releaseNumber);
        release->addStretch();
        layout->addLayout(release);

        layout->addSpacing(8);
        auto* notes = new QLabel(
            QStringLiteral("kSable is a skinnable two-panel file manager for Linux, made to be driven "
                           "from the keyboard: every command has its key."),
            this);
        notes->setObjectName(QStringLiteral("NotesText"));
        notes->setWordWrap(true);
        notes->setFixedWidth(320);
        layout->addWidget(notes);

        layout->addSpacing(10);
        AddOkRow(layout)->setFocus(Qt::OtherFocusReason);
    }
};

} // namespace

void ShowAboutForm(QWidget* parent) {
    ExecForm(new TAboutForm(parent));
}

} // namespace ks
