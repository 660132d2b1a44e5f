#pragma once

#include "fileops/CopyQuestions.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace ks {

/// The window side of the copy jobs' questions: a job that asks wakes the pump (no timer runs
/// while nobody asks), and the pump shows the question in the program's message box on top of
/// whichever window is showing (the modal one first: the progress window, a dialog) and hands
/// the answer back. One box at a time; a question that comes while one is open is shown after
/// it. The GUI thread never waits on a job.
///
/// Thread: made, used and destroyed on the GUI thread; `Asker` is handed to the engine, whose
/// job threads call it.
class TCopyQuestionPump : public QObject {
public:
    /// parent is the window the boxes go over when no other window of the program is active.
    explicit TCopyQuestionPump(QWidget* parent = nullptr);
    ~TCopyQuestionPump() override;

    /// The asker for the `TCopyEngine` constructor; it lives as long as the pump, which must
    /// outlive the engine.
    TPolledAsker* Asker() { return &FAsker; }

    /// Shows the waiting questions one after another until none waits; the queued call a
    /// question makes runs this. Does nothing while a box of the pump is open.
    void ShowPending();
    /// True while a question's box is open.
    bool Showing() const { return FShowing; }

private:
    struct TLink;

    TPolledAsker FAsker;
    std::shared_ptr<TLink> FLink;
    QPointer<QWidget> FParent;
    bool FShowing = false;
};

} // namespace ks
