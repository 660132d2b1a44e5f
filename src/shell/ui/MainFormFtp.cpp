// The main window's FTP side: the sessions its panels connect through, the connection list that
// answers Ctrl+F, the status window that collects the sessions' lines, and the login prompts.

#include "shell/ui/MainForm.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QTimer>

#include "controls/MessageBox.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Json.h"
#include "ftp/FtpConnections.h"
#include "ftp/FtpSession.h"
#include "ftp/ui/FTPLoginForm.h"
#include "ftp/ui/FTPStatusForm.h"

namespace ks {

namespace {

// A time limit setting in seconds, within reason; its default otherwise.
int LimitMs(const std::string& stored, int defaultSeconds) {
    int seconds = 0;
    if (!TryStrToInt(stored, seconds) || seconds < 1 || seconds > 3600)
        seconds = defaultSeconds;
    return seconds * 1000;
}

} // namespace

void TMainForm::ConnectPanelFtp(TKMYFILEPANEL& panel) {
    if (FServices.Network != nullptr) {
        TKNetwork* network = FServices.Network;
        panel.MakeRemoteSession = [network] { return std::make_unique<TFtpSession>(*network); };
    }
    panel.FFtpLimits = TRemoteLimits{LimitMs(AutoSaveText("SettingsFtpConnectTimeout"), 15),
                                     LimitMs(AutoSaveText("SettingsFtpReplyTimeout"), 30),
                                     LimitMs(AutoSaveText("SettingsFtpDataTimeout"), 15)};
    panel.OnFTPConnections = [this](TKFtpConnection& connection) { FTPConnections(connection); };
    panel.OnFTPStatus = [this](const std::string& line) { FtpStatusForm().AddLine(line); };
    panel.OnFTPDisconnect = [this] {
        if (FFtpStatusForm != nullptr && CheckBox("SettingsAutoClosingFTPStatusWindow"))
            FFtpStatusForm->hide();
    };
    panel.AskText = [this](const std::string& title, const std::string& prompt, std::string& value,
                           bool masked) { return AskText(title, prompt, value, masked); };
}

void TMainForm::FTPConnections(TKFtpConnection& connection) {
    connection.DisableFTP = true;
    MenuPopup();
    if (FActivePanel == nullptr || !FMenuState.Enabled[cmFTP])
        return;
    if (FFtpLoginForm == nullptr) {
        FFtpLoginForm = new TFTPLoginForm(FData.AppPath, this);
        FFtpLoginForm->OnShowStatus = [this] { ShowFtpStatus(); };
    }
    const std::optional<std::string> chosen = FFtpLoginForm->Execute(FData.FtpList);
    FData.SaveCountedList("m_ftplist", FData.FtpList);
    if (!chosen)
        return;
    // A port that is no number refuses the connection silently.
    const std::optional<TFtpTarget> target = SplitFtpEntry(*chosen);
    if (!target)
        return;
    connection.Host = target->Host;
    connection.Port = target->Port;
    connection.Name = target->User;
    connection.Password = target->Password;
    connection.UseProxy = target->UseProxy;
    connection.ProxyName = target->ProxyName;
    connection.ProxyPort = target->ProxyPort;
    connection.Passive = target->Passive;
    connection.DisableFTP = false;
}

TFTPStatusForm& TMainForm::FtpStatusForm() {
    if (FFtpStatusForm == nullptr)
        FFtpStatusForm = new TFTPStatusForm(this);
    return *FFtpStatusForm;
}

void TMainForm::ShowFtpStatus() {
    FtpStatusForm().ShowWithoutFocus();
}

bool TMainForm::AskText(const std::string& title, const std::string& prompt, std::string& value,
                        bool masked) {
    QInputDialog dialog(this);
    dialog.setWindowTitle(DecodeDisplay(title));
    dialog.setLabelText(DecodeDisplay(prompt));
    dialog.setTextValue(QString::fromStdString(value));
    dialog.setTextEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    dialog.setPalette(palette());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue().toStdString();
    return true;
}

bool TMainForm::CancelFtpWaits() {
    bool waiting = false;
    for (TKMYFILEPANEL* panel : {FLeft.get(), FRight.get()}) {
        if (panel != nullptr && panel->FFtpWaiting) {
            panel->FFtpCancel = true;
            waiting = true;
        }
    }
    return waiting;
}

std::string TMainForm::FtpStateJson() const {
    const TFtpStatusLog* log = FFtpStatusForm != nullptr ? &FFtpStatusForm->Log() : nullptr;
    return TJsonLine()
        .Add("Visible", FFtpStatusForm != nullptr && FFtpStatusForm->isVisible())
        .Add("Lines", log != nullptr ? static_cast<std::int64_t>(log->Lines().size()) : 0)
        .Add("Last", log != nullptr && !log->Lines().empty() ? log->Lines().back() : std::string())
        .Text();
}

} // namespace ks
