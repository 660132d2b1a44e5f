#include "ftp/ui/FTPAddLoginForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

namespace ks {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Utf8Of(const QLineEdit* edit) {
    return edit->text().toUtf8().toStdString();
}

QLineEdit* NewEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    return edit;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* caption, QWidget* buddy) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setBuddy(buddy);
    return label;
}

} // namespace

TFTPAddLoginForm::TFTPAddLoginForm(QWidget* parent) : TKMYFORM(parent, ftTranslated) {
    setObjectName(QStringLiteral("FTPAddLoginForm"));
    setWindowTitle(QStringLiteral("Add FTP connection..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerLeft + 12, InnerTop + 10, 16, 12);
    layout->setSpacing(6);

    auto* info = new QLabel(QStringLiteral("Enter more description..."), this);
    info->setObjectName(QStringLiteral("InfoLabel"));
    layout->addWidget(info);

    FNameEdit = NewEdit(this, "NameEdit");
    FNameEdit->setMinimumWidth(260);
    FHostEdit = NewEdit(this, "HostEdit");
    // An address of this machine, the way a host is usually typed.
    FHostEdit->setPlaceholderText(QStringLiteral("ftp://127.0.0.1"));
    FPortEdit = NewEdit(this, "PortEdit");
    FPortEdit->setMaximumWidth(64);
    FLoginEdit = NewEdit(this, "LoginEdit");
    FPasswordEdit = NewEdit(this, "PasswordEdit");
    FPasswordEdit->setEchoMode(QLineEdit::Password);
    // Anonymous servers customarily ask for an e-mail address as the password.
    FPasswordEdit->setPlaceholderText(QStringLiteral("user@host.io"));
    FEnableProxy = new QCheckBox(QStringLiteral("&Enable proxy server"), this);
    FEnableProxy->setObjectName(QStringLiteral("CheckboxEnableProxy"));
    FProxyEdit = NewEdit(this, "ProxyEdit");
    FProxyPortEdit = NewEdit(this, "ProxyPortEdit");
    FProxyPortEdit->setMaximumWidth(64);
    const QString proxyHint = QStringLiteral("kept with the entry; connections go directly");
    for (QWidget* proxyControl : {static_cast<QWidget*>(FEnableProxy), static_cast<QWidget*>(FProxyEdit),
                                  static_cast<QWidget*>(FProxyPortEdit)})
        proxyControl->setToolTip(proxyHint);
    FPassive = new QCheckBox(QStringLiteral("&Passive mode (for firewalls)"), this);
    FPassive->setObjectName(QStringLiteral("CheckboxPassive"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(NewLabel(this, "NameLabel", "Item name", FNameEdit), 0, 0);
    grid->addWidget(FNameEdit, 0, 1, 1, 2);
    grid->addWidget(NewLabel(this, "HostLabel", "Host and port", FHostEdit), 1, 0);
    grid->addWidget(FHostEdit, 1, 1);
    grid->addWidget(FPortEdit, 1, 2);
    grid->addWidget(NewLabel(this, "LoginLabel", "Login", FLoginEdit), 2, 0);
    grid->addWidget(FLoginEdit, 2, 1, 1, 2);
    grid->addWidget(NewLabel(this, "PasswordLabel", "Password", FPasswordEdit), 3, 0);
    grid->addWidget(FPasswordEdit, 3, 1, 1, 2);
    grid->addWidget(FEnableProxy, 4, 0, 1, 3);
    grid->addWidget(NewLabel(this, "ProxyLabel", "Proxy name, port", FProxyEdit), 5, 0);
    grid->addWidget(FProxyEdit, 5, 1);
    grid->addWidget(FProxyPortEdit, 5, 2);
    grid->addWidget(FPassive, 6, 0, 1, 3);
    layout->addLayout(grid);
    layout->addSpacing(6);

    AddButtonRow(layout, {{"OKButton", "&OK"}, {"CancelButton", "&Cancel", false}});
    SetValues(TFtpEntryValues{});
}

void TFTPAddLoginForm::SetValues(const TFtpEntryValues& values) {
    FNameEdit->setText(Utf8(values.Name));
    FHostEdit->setText(Utf8(values.Host));
    FPortEdit->setText(Utf8(values.Port));
    FLoginEdit->setText(Utf8(values.Login));
    FPasswordEdit->setText(Utf8(values.Password));
    FEnableProxy->setChecked(values.UseProxy);
    FProxyEdit->setText(Utf8(values.Proxy));
    FProxyPortEdit->setText(Utf8(values.ProxyPort));
    FPassive->setChecked(values.Passive);
}

TFtpEntryValues TFTPAddLoginForm::Values() const {
    TFtpEntryValues values;
    values.Name = Utf8Of(FNameEdit);
    values.Host = Utf8Of(FHostEdit);
    values.Port = Utf8Of(FPortEdit);
    values.Login = Utf8Of(FLoginEdit);
    values.Password = Utf8Of(FPasswordEdit);
    values.UseProxy = FEnableProxy->isChecked();
    values.Proxy = Utf8Of(FProxyEdit);
    values.ProxyPort = Utf8Of(FProxyPortEdit);
    values.Passive = FPassive->isChecked();
    return values;
}

void TFTPAddLoginForm::showEvent(QShowEvent* event) {
    TKMYFORM::showEvent(event);
    FNameEdit->setFocus(Qt::OtherFocusReason);
    FNameEdit->selectAll();
}

} // namespace ks
