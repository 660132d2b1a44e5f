#include "fileops/CopyQuestions.h"

#include "controls/MessageBox.h"
#include "foundation/Language.h"

namespace ks {

std::optional<TCopyQuestion> MakeCopyQuestion(int code, const std::string& fileName) {
    const TLangStrings& texts = LangStrings();
    const int yesNoAbort = mbYes | mbNo | mbAbort;
    TCopyQuestion question;
    question.Code = code;
    switch (code) {
    case qcCopyToItself:
        question = {code, texts.STRCopyToItSelf, mbOK, 2, 0};
        break;
    case qcSourceMissing:
        question = {code, texts.STRFileMissing, mbYes | mbRetry | mbAbort, 0, 0};
        break;
    case qcAlreadyExists:
        question = {code, FormatLangText(texts.STRAlreadyExists, {fileName}),
                    mbYes | mbYesToAll | mbNo | mbNoToAll | mbAbort, 0, 0};
        break;
    case qcCannotCreate:
        question = {code, texts.STROnCreating, yesNoAbort, 0, 0};
        break;
    case qcReadError:
        question = {code, texts.STROnReading, yesNoAbort, 0, 0};
        break;
    case qcWriteError:
        question = {code, texts.STROnWriting, yesNoAbort, 0, 0};
        break;
    case qcNoFreeSpace:
        question = {code, texts.STROnNoFreeSpace, mbOK, 2, 0};
        break;
    case qcFolderIntoItself:
        question = {code, texts.STRCopyIntoItself, mbOK, 2, 0};
        break;
    default:
        return std::nullopt;
    }
    return question;
}

int EscapeAnswer(int buttons) {
    return (buttons & mbNo) != 0 ? mrNo : mrAbort;
}

int TQuestionSlot::Ask(const TCopyQuestion& question, const std::atomic<bool>& cancelled) {
    std::unique_lock lock(FLock);
    FTurn.wait(lock, [&] { return !FAsking || cancelled.load(); });
    if (cancelled.load() || FAsker == nullptr)
        return EscapeAnswer(question.Buttons);
    FAsking = true;
    QuestionAnswer = NoAnswerYet;
    QuestionCode = question.Code;
    lock.unlock();
    const int answer = FAsker->Ask(question, cancelled);
    lock.lock();
    QuestionAnswer = answer;
    QuestionCode = qcNone;
    FAsking = false;
    FTurn.notify_all();
    return answer;
}

void TQuestionSlot::Release() {
    {
        std::lock_guard lock(FLock);
        FTurn.notify_all();
    }
    if (FAsker != nullptr)
        FAsker->Wake();
}

int TPolledAsker::Ask(const TCopyQuestion& question, const std::atomic<bool>& cancelled) {
    std::unique_lock lock(FLock);
    FQuestion = question;
    FAnswer.reset();
    ++FNumber;
    if (OnPending) {
        lock.unlock();
        OnPending();
        lock.lock();
    }
    FAnswered.wait(lock, [&] { return FAnswer.has_value() || cancelled.load(); });
    const int answer = FAnswer.value_or(EscapeAnswer(question.Buttons));
    FQuestion.reset();
    FAnswer.reset();
    return answer;
}

void TPolledAsker::Wake() {
    std::lock_guard lock(FLock);
    FAnswered.notify_all();
}

std::optional<TCopyQuestion> TPolledAsker::Pending(std::uint64_t* number) {
    std::lock_guard lock(FLock);
    const bool waiting = FQuestion.has_value() && !FAnswer.has_value();
    if (number != nullptr)
        *number = waiting ? FNumber : 0;
    if (!waiting)
        return std::nullopt;
    return FQuestion;
}

void TPolledAsker::Answer(int result) {
    std::lock_guard lock(FLock);
    if (!FQuestion.has_value())
        return;
    FAnswer = result;
    FAnswered.notify_all();
}

bool TPolledAsker::Answer(int result, std::uint64_t number) {
    std::lock_guard lock(FLock);
    if (!FQuestion.has_value() || FAnswer.has_value() || FNumber != number)
        return false;
    FAnswer = result;
    FAnswered.notify_all();
    return true;
}

} // namespace ks
