#pragma once

#include "controls/ui/KMYFORM.h"

class QLabel;
class QShowEvent;

namespace ks {

/// The progress window of FTP copying ("Progress..."): the status label `FTPStatus`, emptied
/// each time the window is shown, and "&Cancel", which closes it. It carries no progress of its
/// own. Thread: the GUI thread.
class TFTPCopyProgressForm : public TKMYFORM {
public:
    explicit TFTPCopyProgressForm(QWidget* parent = nullptr);

    QLabel* Status() const { return FStatus; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* FStatus = nullptr;
};

} // namespace ks
