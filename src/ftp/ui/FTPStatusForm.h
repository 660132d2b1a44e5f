#pragma once

#include "controls/ui/KMYFORM.h"
#include "ftp/FtpConnections.h"

#include <string>

class QEvent;
class QPlainTextEdit;

namespace ks {

/// The FTP session's log window ("FTP status"): always on top, made at the top-left corner of
/// the screen, one read-only text `Memo` that holds at most `TFtpStatusLog::MaxLines` lines (the
/// line after them starts a new log). It is shown without being activated and hands an
/// activation straight back to its parent's window, so typing goes on in the main window.
/// Thread: the GUI thread.
class TFTPStatusForm : public TKMYFORM {
public:
    /// parent is the main window, which gets the focus back.
    explicit TFTPStatusForm(QWidget* parent = nullptr);

    /// Appends a status line (UTF-8; a text of several lines adds each of them).
    void AddLine(const std::string& text);
    /// Shows the window when hidden, without taking the focus.
    void ShowWithoutFocus();

    const TFtpStatusLog& Log() const { return FLog; }
    QPlainTextEdit* Memo() const { return FMemo; }

protected:
    bool event(QEvent* event) override;

private:
    TFtpStatusLog FLog;
    QPlainTextEdit* FMemo = nullptr;
};

} // namespace ks
