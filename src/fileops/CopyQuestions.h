#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace ks {

/// The question codes of the copier. 1 is the silent mark of an aborted job; every other code
/// is a question put to the user.
enum TCopyCode : int {
    qcNone = 0,
    qcAborted = 1,
    qcCopyToItself = 2, ///< source and target are one file
    qcSourceMissing = 3,
    qcAlreadyExists = 4,
    qcCannotCreate = 5,
    qcReadError = 6,
    qcWriteError = 7,
    qcNoFreeSpace = 10,
    qcFolderIntoItself = 11, ///< a folder copied or moved into itself or one of its sub-folders
};

/// The value of `TQuestionSlot::QuestionAnswer` while a question waits for its answer.
inline constexpr int NoAnswerYet = -11;

/// One question of a copy job, as the user is to see it.
struct TCopyQuestion {
    int Code = qcNone;
    std::string Text;
    int Buttons = 0;       ///< message box button bits
    int DefaultButton = 0; ///< default-button index of the pre-selected button
    int JobID = 0;
};

/// The text, buttons and pre-selected button of a question code (the text in the current
/// language, "%s" of code 4 filled with fileName); nothing for code 1 and unknown codes.
std::optional<TCopyQuestion> MakeCopyQuestion(int code, const std::string& fileName);

/// What closing a question's box with Escape answers: No when the box shows No, else Abort.
int EscapeAnswer(int buttons);

/// The one way a copy job reaches the user. Ask runs on the asking job's thread and returns a
/// message box result; `TQuestionSlot` calls it for one question at a time.
class TKCopyAsker {
public:
    virtual ~TKCopyAsker() = default;
    /// The user's answer to question. cancelled becomes true when the job is cancelled while
    /// the question waits: an asker that waits must then stop waiting and return Escape's
    /// answer (`TQuestionSlot::Release` wakes it).
    virtual int Ask(const TCopyQuestion& question, const std::atomic<bool>& cancelled) = 0;
    /// Wakes an Ask that waits, so it looks at its cancel flag again. Any thread.
    virtual void Wake() {}
};

/// The process-wide question slot of all copy jobs: questions are asked one at a time, the
/// others wait their turn. `QuestionCode` is the code being asked (0 when none) and
/// `QuestionAnswer` its answer (`NoAnswerYet` while unanswered), for the windows that poll them.
///
/// Thread: Ask on job threads; Release and the fields from any thread.
class TQuestionSlot {
public:
    explicit TQuestionSlot(TKCopyAsker* asker = nullptr) : FAsker(asker) {}

    /// Puts question to the asker once every earlier question has its answer, and returns the
    /// answer. Without an asker, or when cancelled is or becomes set, Escape's answer is
    /// returned.
    int Ask(const TCopyQuestion& question, const std::atomic<bool>& cancelled);
    /// Wakes every job waiting for its turn or for its answer, so a cancelled one stops waiting.
    void Release();
    void SetAsker(TKCopyAsker* asker) { FAsker = asker; }

    std::atomic<int> QuestionCode{qcNone};
    std::atomic<int> QuestionAnswer{NoAnswerYet};

private:
    TKCopyAsker* FAsker;
    std::mutex FLock;
    std::condition_variable FTurn;
    bool FAsking = false;
};

/// An asker for a window: Ask shows the question through `Pending` and waits until `Answer` is
/// called (or the job is cancelled). The window calls `Pending` (on a timer, or when
/// `OnPending` tells it a question came) and, when a question is there, shows its message box
/// and gives the result to `Answer`.
///
/// Thread: Ask and `OnPending` on job threads; Pending and Answer on the window's thread.
class TPolledAsker : public TKCopyAsker {
public:
    int Ask(const TCopyQuestion& question, const std::atomic<bool>& cancelled) override;
    void Wake() override;
    /// The question waiting for its answer, if any; number (when given) becomes its number, one
    /// more for every question asked, 0 when none waits.
    std::optional<TCopyQuestion> Pending(std::uint64_t* number = nullptr);
    /// Answers the waiting question; does nothing when none waits.
    void Answer(int result);
    /// Answers the waiting question only when it is the one of that number (the one a box was
    /// shown for); false when that question was given up meanwhile.
    bool Answer(int result, std::uint64_t number);

    /// Called on the asking job's thread right after a question was stored, outside the lock;
    /// set it before any job runs. It must return at once (a window posts itself a call).
    std::function<void()> OnPending;

private:
    std::mutex FLock;
    std::condition_variable FAnswered;
    std::optional<TCopyQuestion> FQuestion;
    std::optional<int> FAnswer;
    std::uint64_t FNumber = 0;
};

} // namespace ks
