#pragma once

#include "controls/ui/KMYFORM.h"
#include "ftp/FtpConnections.h"

class QCheckBox;
class QLineEdit;
class QShowEvent;

namespace ks {

/// The add/edit dialog of a connection entry ("Add FTP connection..."): name, host and port,
/// login, password (masked), the proxy check box with its host and port, and the passive-mode
/// check box. The values are taken as typed; a port that is no number is only refused when
/// connecting. The proxy values are kept with the entry, but connections always go straight to
/// the host. The name box takes the focus on show; "&OK" accepts, "&Cancel" and Escape reject.
/// Thread: the GUI thread.
class TFTPAddLoginForm : public TKMYFORM {
public:
    /// Starts with the values of a new entry (`TFtpEntryValues`).
    explicit TFTPAddLoginForm(QWidget* parent = nullptr);

    /// Fills the boxes.
    void SetValues(const TFtpEntryValues& values);
    /// What the boxes hold now (UTF-8).
    TFtpEntryValues Values() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* FNameEdit = nullptr;
    QLineEdit* FHostEdit = nullptr;
    QLineEdit* FPortEdit = nullptr;
    QLineEdit* FLoginEdit = nullptr;
    QLineEdit* FPasswordEdit = nullptr;
    QCheckBox* FEnableProxy = nullptr;
    QLineEdit* FProxyEdit = nullptr;
    QLineEdit* FProxyPortEdit = nullptr;
    QCheckBox* FPassive = nullptr;
};

} // namespace ks
