#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "Probe.h"
#include "controls/MessageBox.h"
#include "fileops/CopyEngine.h"
#include "foundation/DELTA9.h"
#include "foundation/Json.h"
#include "foundation/System.h"
#include "panel/KMYFILEPANEL.h"

namespace ks::probe {

namespace {

constexpr const char* CopyUsage =
    "copy [--move] [--backup] [--keep-date] [--buffer KB] [--answers yes,no-to-all,...] "
    "[--cancel-after BYTES] SOURCE... TARGET";
// A job that neither ends nor asks within this time is reported stuck.
constexpr int JobTimeoutMs = 30 * 60 * 1000;

int AnswerValue(const std::string& word) {
    static const std::vector<std::pair<std::string, int>> answers = {
        {"ok", mrOk},       {"yes", mrYes},           {"yes-to-all", mrYesToAll},
        {"no", mrNo},       {"no-to-all", mrNoToAll}, {"retry", mrRetry},
        {"abort", mrAbort},
    };
    for (const auto& [name, value] : answers)
        if (name == word)
            return value;
    return -1;
}

// Answers the questions from the list given, in order; Escape's answer once it runs out.
// Prints each question as it is answered.
class TScriptAsker : public TKCopyAsker {
public:
    explicit TScriptAsker(std::vector<int> answers) : FAnswers(std::move(answers)) {}

    int Ask(const TCopyQuestion& question, const std::atomic<bool>&) override {
        std::lock_guard lock(FLock);
        const int answer = FNext < FAnswers.size() ? FAnswers[FNext++] : EscapeAnswer(question.Buttons);
        TJsonLine()
            .Add("QuestionCode", question.Code)
            .Add("Text", question.Text)
            .Add("Answer", answer)
            .Print();
        return answer;
    }

private:
    std::mutex FLock;
    std::vector<int> FAnswers;
    std::size_t FNext = 0;
};

} // namespace

int ProbeCopy(const std::vector<std::string>& args) {
    bool move = false;
    bool backup = false;
    bool keepDate = false;
    std::int64_t buffer = 128;
    std::vector<int> answers;
    std::int64_t cancelAfter = -1;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--move") {
            move = true;
        } else if (arg == "--backup") {
            backup = true;
        } else if (arg == "--keep-date") {
            keepDate = true;
        } else if (arg == "--buffer" && hasValue) {
            buffer = std::strtoll(args[++i].c_str(), nullptr, 10);
        } else if (arg == "--cancel-after" && hasValue) {
            cancelAfter = std::strtoll(args[++i].c_str(), nullptr, 10);
        } else if (arg == "--answers" && hasValue) {
            const std::string list = args[++i];
            for (int field = 0; field < FieldCount(list, ','); ++field) {
                const int value = AnswerValue(GetField(list, ',', field));
                if (value < 0)
                    return Usage(CopyUsage);
                answers.push_back(value);
            }
        } else if (arg.rfind("--", 0) == 0) {
            return Usage(CopyUsage);
        } else {
            words.push_back(arg);
        }
    }
    if (words.size() < 2)
        return Usage(CopyUsage);
    const std::string target = words.back();
    words.pop_back();

    // The sources as the marked items of a find-result list, as a search would leave them.
    TPanelOptions options;
    TKMYFILEPANEL source(options);
    TKMYFILEPANEL other(options);
    source.SetPanelType(ptFindResult);
    for (const std::string& word : words) {
        const std::string path = RemoveTrailingSeparator(word);
        if (path.empty() || path.front() != '/')
            return Usage(CopyUsage);
        Result<TDirEntry> entry = FileSystem().Stat(path);
        if (!entry)
            return Fail("no such entry: " + path);
        entry->Name = LastPathPart(path);
        TKFiles* item = source.AddSearchRecItem(source.FFindItems, *entry, false);
        if (item == nullptr)
            return Fail("cannot list: " + path);
        const std::size_t slash = path.rfind('/');
        item->SetFolder(slash == 0 ? std::string("/") : path.substr(0, slash));
        source.FFindItems.MarkItem(item, mmMark);
    }
    source.FFindItems.FPath = source.FFindItems.GetFileItem(0)->Folder();
    other.FFolderItems.FPath = source.FFindItems.FPath;

    TScriptAsker asker(std::move(answers));
    TCopyEngine engine(FileSystem(), &asker);
    engine.FMaxCopyBufferSize = buffer;
    engine.SetPriorityHandler([](int priority) { (void)System().SetThreadPriority(priority); });
    std::shared_ptr<TCopyThread> job = engine.NewJob(move, keepDate, backup);
    engine.FillFromPanels(source, other, target);
    if (cancelAfter >= 0) {
        job->FCopier.OnProcessing = [raw = job.get(), cancelAfter, previous = job->FCopier.OnProcessing] {
            if (previous)
                previous();
            if (raw->BytesDone() >= static_cast<std::uint64_t>(cancelAfter))
                raw->Cancel();
        };
    }
    engine.StartJob();
    if (!engine.WaitIdle(JobTimeoutMs))
        return Fail("the job did not end");
    source.RunRequests();
    int stillMarked = 0;
    for (const auto& item : source.FFindItems.FItems)
        stillMarked += item->Marked ? 1 : 0;
    TJsonLine()
        .Add("FTotalSize", static_cast<std::int64_t>(job->FTotalSize.load()))
        .Add("FDoneSize", static_cast<std::int64_t>(job->FDoneSize.load()))
        .Add("FCancelled", job->FCancelled.load())
        .Add("FLastCode", job->FCopier.FLastCode.load())
        .Add("FTargetPath", job->FTargetPath)
        .Add("FMask", job->FMask)
        .Add("Marked", stillMarked)
        .Print();
    return 0;
}

} // namespace ks::probe
