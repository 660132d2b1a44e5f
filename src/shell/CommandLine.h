#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command line `INFOLINE` without the window: its mode, its captions, the recall of earlier
// commands and the dot commands. The window keeps the text and the caret (a TKMYDISPLAY), routes
// the keys and does what a command asks.

namespace ks {

/// The command line's mode, `CmdMode`.
enum TCmdMode : int {
    cmdInfo,    ///< 0: the line shows messages; a typed character starts a command
    cmdCommand, ///< 1: a command is being typed
    cmdLocate,  ///< 2: the typed text moves the active panel's cursor by name
};

/// The caption of the line in command mode and in locate mode.
inline constexpr std::string_view CommandPrompt = "CMD> ";
inline constexpr std::string_view LocatePrompt = "LOC> ";
/// A command enters the history only when it is longer than this many bytes.
inline constexpr std::size_t HistoryMinLength = 4;

/// What the program word of a command line names.
enum TDotCommand : int {
    dcNone,      ///< no dot command: the word is a program to start
    dcPosEdit,   ///< ".POSEDIT": the position editor
    dcLangSave,  ///< ".LANGSAVE": the current language files are written
    dcPathMacro, ///< a path macro of `ExpandPathMacro`: the active panel goes to its folder
    dcFtp,       ///< ".FTP": the parameters as one raw command on the panel's FTP connection
    dcShutdown,  ///< ".SHUTDOWN": the session ends
    dcRestart,   ///< ".RESTART": the session ends
    dcScanSkins, ///< ".SCANSKINS": the local disks are searched for skins
    dcScanLangs, ///< ".SCANLANGS": the local disks are searched for languages
    dcUnknown,   ///< any other word that starts with "."; it starts nothing
};

/// A dot command word, upper case, and what it names.
struct TDotCommandWord {
    std::string_view Word;
    TDotCommand Command;
};

/// The dot command words; the path macros are `ExpandPathMacro`'s own.
extern const std::array<TDotCommandWord, 7> DotCommandWords;

/// What a command line comes to when it is run.
struct TCommandRun {
    TDotCommand Command = dcNone;
    std::string Program;    ///< the program word as typed
    std::string Parameters; ///< the rest of the line
    std::string Folder;     ///< the folder of a path macro (dcPathMacro)
};

/// Splits a command line into program and parameters (`SplitCommandLine`) and looks the program
/// word up, ignoring case: a word of `DotCommandWords`, then a path macro, then dcUnknown for any
/// other word that starts with ".". Uses the installed platform (FileSystem() for a program path
/// with spaces, System() for the macros' folders).
TCommandRun ParseCommandLine(std::string_view text);

/// True for a key that can be part of a typed name in locate mode (`TVirtualKey`): Backspace, a
/// letter, a digit of the main keyboard, or a key that typed ".".
bool IsNameKey(int key, bool typedDot);

/// The entries of a command history that can be listed and recalled, in their order: every
/// non-empty one. A fresh settings store holds a single empty line, which is no command.
std::vector<std::string> VisibleHistory(const std::vector<std::string>& history);

/// The state of the command line: its mode and the recall position in the history, which the
/// settings own (newest first). Thread: the GUI thread.
class TCommandLine {
public:
    /// history must outlive the command line.
    explicit TCommandLine(std::vector<std::string>& history) : FHistory(history) {}

    TCmdMode Mode() const { return FMode; }
    void SetMode(TCmdMode mode) { FMode = mode; }
    /// The caret is shown exactly when the mode is not cmdInfo (`INFOLINEShowEditor`).
    bool ShowsEditor() const { return FMode != cmdInfo; }

    /// The line's text changed: text that became non-empty in cmdInfo starts cmdCommand, text that
    /// became empty in cmdCommand returns to cmdInfo.
    void TextChanged(bool empty);
    /// Alt tapped alone: cmdLocate becomes cmdCommand, any other mode cmdLocate.
    void AltTapped();
    /// A key reached the main window; in cmdLocate a key that is no `IsNameKey` ends locating
    /// (mode cmdInfo). Returns true when it did; the key goes on either way.
    bool KeyDown(int key, bool typedDot);

    /// The caption of the line: `CommandPrompt` or `LocatePrompt` in those modes; in cmdInfo the
    /// message of a panel, prefixed "R: " for the right one and "L: " otherwise, or nothing for
    /// an empty message.
    std::string Caption(std::string_view message, bool fromRightPanel) const;

    /// Ctrl+E: the history entry to type, or none when the history holds no `VisibleHistory`
    /// entry. The first recall after a run gives the newest entry; each further one the next
    /// older, wrapping after the oldest; empty entries are passed over.
    std::optional<std::string> Recall();
    /// Enter: text longer than `HistoryMinLength` bytes that is not yet in the history goes to its
    /// top, the recall starts again at the newest entry and the mode returns to cmdInfo. Returns
    /// what the text asks for (`ParseCommandLine`).
    TCommandRun Run(std::string_view text);

private:
    std::vector<std::string>& FHistory;
    TCmdMode FMode = cmdInfo;
    // The entry the next recall types; -1 before the first run or recall.
    int FRecall = -1;
};

} // namespace ks
