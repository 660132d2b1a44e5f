#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controls/MessageBox.h"
#include "fileops/CopyEngine.h"

namespace ks::test {

/// Answers copy questions from a list (Escape's answer once it runs out) and records the codes
/// asked and how many questions were ever open at once.
class TScriptCopyAsker : public TKCopyAsker {
public:
    explicit TScriptCopyAsker(std::deque<int> answers = {}) : FAnswers(std::move(answers)) {}

    int Ask(const TCopyQuestion& question, const std::atomic<bool>&) override {
        const int open = ++FOpen;
        std::lock_guard lock(FLock);
        FMaxOpen = std::max(FMaxOpen, open);
        FCodes.push_back(question.Code);
        FTexts.push_back(question.Text);
        int answer = EscapeAnswer(question.Buttons);
        if (!FAnswers.empty()) {
            answer = FAnswers.front();
            FAnswers.pop_front();
        }
        if (OnAsk)
            OnAsk(question);
        --FOpen;
        return answer;
    }

    std::vector<int> Codes() {
        std::lock_guard lock(FLock);
        return FCodes;
    }

    std::function<void(const TCopyQuestion&)> OnAsk;
    std::vector<std::string> FTexts;
    int FMaxOpen = 0;

private:
    std::mutex FLock;
    std::deque<int> FAnswers;
    std::vector<int> FCodes;
    std::atomic<int> FOpen{0};
};

/// What a finished job left.
struct TJobOutcome {
    std::vector<int> Codes;
    std::uint64_t Total = 0;
    std::uint64_t Done = 0;
    bool Cancelled = false;
    int LastCode = 0;
};

/// Options of one test job.
struct TJobOptions {
    bool Move = false;
    bool KeepDate = true;
    bool Backup = false;
    std::function<void(TCopyThread&)> BeforeStart;
};

/// Runs one job of AddEntry entries (each source into targetFolder) to its end and reports it.
inline TJobOutcome RunCopyJob(TKFileSystem& fileSystem, const std::vector<std::string>& sources,
                              const std::string& targetFolder, std::deque<int> answers,
                              const TJobOptions& options = {}) {
    TScriptCopyAsker asker(std::move(answers));
    TCopyEngine engine(fileSystem, &asker);
    std::shared_ptr<TCopyThread> job = engine.NewJob(options.Move, options.KeepDate, options.Backup);
    for (const std::string& source : sources)
        engine.AddEntry(source, targetFolder);
    if (options.BeforeStart)
        options.BeforeStart(*job);
    engine.StartJob();
    EXPECT_TRUE(engine.WaitIdle(60000)) << "the job did not end";
    EXPECT_EQ(engine.IndexOfJob(job.get()), -1);
    return {asker.Codes(), job->FTotalSize.load(), job->FDoneSize.load(), job->FCancelled.load(),
            job->FCopier.FLastCode.load()};
}

} // namespace ks::test
