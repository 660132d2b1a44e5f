#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Probe.h"
#include "archive/KPL.h"
#include "controls/MessageBox.h"
#include "fileops/KplUnpack.h"
#include "foundation/DELTA9.h"
#include "foundation/Json.h"
#include "foundation/System.h"

namespace ks::probe {

namespace {

constexpr const char* KplUsage = "kpl create OUT.kpl PATH... [--base DIR] [--id N]\n"
                                 "       ksable-probe kpl unpack LIB.kpl DIR [--answers yes,no-to-all,...]";

int KplAnswer(const std::string& word) {
    static const std::vector<std::pair<std::string, int>> answers = {
        {"yes", mrYes},           {"yes-to-all", mrYesToAll}, {"no", mrNo},
        {"no-to-all", mrNoToAll}, {"abort", mrAbort},
    };
    for (const auto& [name, value] : answers)
        if (name == word)
            return value;
    return -1;
}

// Answers the questions from the list given, in order, then No; prints each question.
class TListAsker : public TKCopyAsker {
public:
    explicit TListAsker(std::vector<int> answers) : FAnswers(std::move(answers)) {}
    int Ask(const TCopyQuestion& question, const std::atomic<bool>&) override {
        const int answer = FNext < FAnswers.size() ? FAnswers[FNext++] : EscapeAnswer(question.Buttons);
        TJsonLine()
            .Add("QuestionCode", question.Code)
            .Add("Text", question.Text)
            .Add("Answer", answer)
            .Print();
        return answer;
    }

private:
    std::vector<int> FAnswers;
    std::size_t FNext = 0;
};

std::string Absolute(const std::string& path) {
    std::error_code error;
    const std::string full = std::filesystem::absolute(path, error).lexically_normal().string();
    return error ? path : RemoveTrailingSeparator(full);
}

std::string ErrorText(const TError& error) {
    std::string text = error.Path;
    if (!error.Detail.empty())
        text += (text.empty() ? "" : ": ") + error.Detail;
    if (error.Errno != 0)
        text += std::string(text.empty() ? "" : ": ") + std::strerror(error.Errno);
    return text.empty() ? "failed" : text;
}

int KplCreate(const std::vector<std::string>& args) {
    std::string base;
    std::int32_t id = KplUserLibraryId;
    std::vector<std::string> words;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--base" && hasValue)
            base = Absolute(args[++i]);
        else if (args[i] == "--id" && hasValue)
            id = static_cast<std::int32_t>(std::strtol(args[++i].c_str(), nullptr, 10));
        else if (args[i].rfind("--", 0) == 0)
            return Usage(KplUsage);
        else
            words.push_back(args[i]);
    }
    if (words.size() < 2)
        return Usage(KplUsage);
    TKMYKPLIB library(FileSystem());
    library.LibraryId = id;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string path = Absolute(words[i]);
        Result<TDirEntry> entry = FileSystem().Stat(path);
        if (!entry)
            return Fail("no such entry: " + path);
        // As for the marked items of a panel: stored paths are relative to the item's folder.
        library.BaseFolder = base.empty() ? path.substr(0, path.rfind('/') + 1) : base + "/";
        if (entry->IsFolder && !entry->IsLink)
            (void)library.ScanFolder(path);
        else
            library.Items.push_back(path);
    }
    Result<void> written = library.WriteLibrary(Absolute(words[0]));
    for (const TError& left : library.LeftOut)
        TJsonLine().Add("LeftOut", ErrorText(left)).Print();
    if (!written)
        return Fail(ErrorText(written.error()));
    TJsonLine().Add("Items", static_cast<std::int64_t>(library.Items.size())).Print();
    return 0;
}

int KplUnpack(const std::vector<std::string>& args) {
    std::vector<int> answers;
    std::vector<std::string> words;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--answers" && i + 1 < args.size()) {
            const std::string list = args[++i];
            for (int field = 0; field < FieldCount(list, ','); ++field) {
                const int value = KplAnswer(GetField(list, ',', field));
                if (value < 0)
                    return Usage(KplUsage);
                answers.push_back(value);
            }
        } else if (args[i].rfind("--", 0) == 0) {
            return Usage(KplUsage);
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.size() != 2)
        return Usage(KplUsage);
    TListAsker asker(std::move(answers));
    TQuestionSlot questions(&asker);
    TKMYKPLIB library(FileSystem());
    TKplUnpackCounts counts;
    Result<void> unpacked =
        UnpackLibrary(library, FileSystem(), Absolute(words[0]), Absolute(words[1]), questions, &counts);
    TJsonLine()
        .Add("Files", static_cast<std::int64_t>(counts.Files))
        .Add("Folders", static_cast<std::int64_t>(counts.Folders))
        .Add("Skipped", static_cast<std::int64_t>(counts.Skipped))
        .Add("Bytes", static_cast<std::int64_t>(counts.Bytes))
        .Print();
    if (!unpacked)
        return Fail(ErrorText(unpacked.error()));
    return 0;
}

} // namespace

int ProbeKpl(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "create")
        return KplCreate(args);
    if (!args.empty() && args[0] == "unpack")
        return KplUnpack(args);
    return Usage(KplUsage);
}

} // namespace ks::probe
