#include "ftp/ui/FTPCopyProgressForm.h"

#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

TFTPCopyProgressForm::TFTPCopyProgressForm(QWidget* parent) : TKMYFORM(parent, ftTranslated) {
    setObjectName(QStringLiteral("FTPCopyProgressForm"));
    setWindowTitle(QStringLiteral("Progress..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(8);
    FStatus = new QLabel(QStringLiteral("..."), this);
    FStatus->setObjectName(QStringLiteral("FTPStatus"));
    FStatus->setMinimumWidth(300);
    layout->addWidget(FStatus);
    AddButtonRow(layout, {{"CancelButton", "&Cancel", false}});
}

void TFTPCopyProgressForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FStatus->clear();
}

} // namespace ks
