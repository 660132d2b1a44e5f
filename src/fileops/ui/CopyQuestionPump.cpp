#include "fileops/ui/CopyQuestionPump.h"

#include "controls/ui/MessageForm.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <mutex>

namespace ks {

namespace {

// How often an open box looks whether its question was given up (its job cancelled).
constexpr int WithdrawnCheckInterval = 100;

} // namespace

// What the job threads reach the pump through: the pump unhooks itself here when it goes, so a
// late question never posts to a destroyed object.
struct TCopyQuestionPump::TLink {
    std::mutex Lock;
    TCopyQuestionPump* Pump = nullptr;
};

TCopyQuestionPump::TCopyQuestionPump(QWidget* parent)
    : QObject(parent), FLink(std::make_shared<TLink>()), FParent(parent) {
    FLink->Pump = this;
    FAsker.OnPending = [link = FLink] {
        std::lock_guard lock(link->Lock);
        if (link->Pump != nullptr)
            QMetaObject::invokeMethod(
                link->Pump, [pump = link->Pump] { pump->ShowPending(); }, Qt::QueuedConnection);
    };
}

TCopyQuestionPump::~TCopyQuestionPump() {
    std::lock_guard lock(FLink->Lock);
    FLink->Pump = nullptr;
}

void TCopyQuestionPump::ShowPending() {
    if (FShowing)
        return;
    QPointer<TCopyQuestionPump> alive = this;
    std::uint64_t number = 0;
    while (std::optional<TCopyQuestion> question = FAsker.Pending(&number)) {
        QWidget* over = QApplication::activeModalWidget();
        if (over == nullptr)
            over = QApplication::activeWindow();
        if (over == nullptr)
            over = FParent;
        FShowing = true;
        QPointer<TMessageForm> form =
            new TMessageForm(question->Text, question->Buttons, question->DefaultButton, over);
        // A question given up while its box is open (the job was cancelled) would otherwise
        // leave a box whose answer nobody wants, and whatever waits under it would wait too.
        QTimer withdrawn;
        withdrawn.setInterval(WithdrawnCheckInterval);
        QObject::connect(&withdrawn, &QTimer::timeout, form, [alive, form, number] {
            if (alive == nullptr)
                return;
            std::uint64_t now = 0;
            alive->FAsker.Pending(&now);
            if (now != number && form != nullptr)
                form->done(-1);
        });
        withdrawn.start();
        const int result = form->Execute();
        withdrawn.stop();
        delete form.data();
        if (alive == nullptr)
            return;
        FShowing = false;
        // Answered only when it is still the question the box showed.
        FAsker.Answer(result, number);
    }
}

} // namespace ks
