#include "shell/CommandLine.h"

#include "foundation/DELTA9.h"
#include "foundation/Keys.h"

#include <algorithm>
#include <iterator>

namespace ks {

const std::array<TDotCommandWord, 7> DotCommandWords = {{
    {".POSEDIT", dcPosEdit},
    {".LANGSAVE", dcLangSave},
    {".FTP", dcFtp},
    {".SHUTDOWN", dcShutdown},
    {".RESTART", dcRestart},
    {".SCANSKINS", dcScanSkins},
    {".SCANLANGS", dcScanLangs},
}};

TCommandRun ParseCommandLine(std::string_view text) {
    TCommandRun run;
    SplitCommandLine(text, run.Program, run.Parameters);
    if (run.Program.empty() || run.Program.front() != '.')
        return run;
    const std::string word = UpperCase(run.Program);
    for (const TDotCommandWord& entry : DotCommandWords) {
        if (entry.Word == word) {
            run.Command = entry.Command;
            return run;
        }
    }
    std::string folder = run.Program;
    if (ExpandPathMacro(folder)) {
        run.Command = dcPathMacro;
        run.Folder = std::move(folder);
    } else {
        run.Command = dcUnknown;
    }
    return run;
}

bool IsNameKey(int key, bool typedDot) {
    const bool letter = key >= VK_LETTER('A') && key <= VK_LETTER('Z');
    const bool digit = key >= VK_0 && key <= VK_0 + 9;
    return key == VK_BACK || letter || digit || typedDot;
}

std::vector<std::string> VisibleHistory(const std::vector<std::string>& history) {
    std::vector<std::string> visible;
    std::copy_if(history.begin(), history.end(), std::back_inserter(visible),
                 [](const std::string& entry) { return !entry.empty(); });
    return visible;
}

void TCommandLine::TextChanged(bool empty) {
    if (!empty && FMode == cmdInfo)
        FMode = cmdCommand;
    else if (empty && FMode == cmdCommand)
        FMode = cmdInfo;
}

void TCommandLine::AltTapped() {
    FMode = FMode == cmdLocate ? cmdCommand : cmdLocate;
}

bool TCommandLine::KeyDown(int key, bool typedDot) {
    if (FMode != cmdLocate || IsNameKey(key, typedDot))
        return false;
    FMode = cmdInfo;
    return true;
}

std::string TCommandLine::Caption(std::string_view message, bool fromRightPanel) const {
    switch (FMode) {
    case cmdCommand:
        return std::string(CommandPrompt);
    case cmdLocate:
        return std::string(LocatePrompt);
    default:
        if (message.empty())
            return {};
        return (fromRightPanel ? "R: " : "L: ") + std::string(message);
    }
}

std::optional<std::string> TCommandLine::Recall() {
    const int count = static_cast<int>(FHistory.size());
    if (FRecall < 0 || FRecall >= count)
        FRecall = 0;
    // One round at most: a history of empty lines only recalls nothing.
    for (int tried = 0; tried < count; ++tried) {
        const std::string& entry = FHistory[static_cast<std::size_t>(FRecall)];
        FRecall = (FRecall + 1) % count;
        if (!entry.empty())
            return entry;
    }
    return std::nullopt;
}

TCommandRun TCommandLine::Run(std::string_view text) {
    if (text.size() > HistoryMinLength && std::find(FHistory.begin(), FHistory.end(), text) == FHistory.end())
        FHistory.insert(FHistory.begin(), std::string(text));
    FRecall = 0;
    FMode = cmdInfo;
    return ParseCommandLine(text);
}

} // namespace ks
