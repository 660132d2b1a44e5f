// The panel as an FTP client: connecting, listing, walking, deleting trees and the commands other
// windows reach, all through the panel's remote session. Every command is a bounded wait that
// runs pending messages, with both panels busy meanwhile; Esc ends the wait.

#include "panel/KMYFILEPANEL.h"

#include <algorithm>
#include <array>
#include <utility>

#include "controls/MessageBox.h"
#include "foundation/Language.h"
#include "panel/ItemDates.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

namespace {

// File modes for FTP items, so a link can be told from what it names.
constexpr std::uint32_t FtpModeFolder = 0040000;
constexpr std::uint32_t FtpModeFile = 0100000;
constexpr std::uint32_t FtpModeLink = 0120000;
// Deeper trees than this are not walked by a deletion: a server that nests without end would
// otherwise hold the panel forever.
constexpr int MaxFtpDepth = 256;
// How often an idle FTP panel looks whether its server closed the connection.
constexpr int AliveCheckMs = 1000;

std::uint32_t DosTimeOfNs(std::int64_t ns) {
    if (ns == 0)
        return 0;
    const std::int64_t seconds = ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000);
    return DosDateTimeFromUnix(seconds);
}

bool IsFtpLink(const TKFiles& item) {
    return (item.Mode & 0170000) == FtpModeLink;
}

// The message of a refused login, by the reply code that refused it.
std::string LoginMessage(const std::string& replyText) {
    const std::string code = replyText.substr(0, 3);
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> Messages = {{
        {"202", "FTP: 202 Command not implemented, superfluous at this site."},
        {"421", "FTP: 421 SERVICE NOT AVAILABLE! CLOSING CONTROL CONNECTION"},
        {"500", "FTP: 500 Syntax error, command unrecognized."},
        {"501", "FTP: 501 Syntax error in parameters or arguments."},
        {"503", "FTP: 503 Bad sequence of commands."},
    }};
    for (const auto& [key, text] : Messages)
        if (key == code)
            return LangTextOr("ftp_reply_" + code, text);
    return {};
}

} // namespace

void TKMYFILEPANEL::ConnectFtpSession() {
    if (!MakeRemoteSession) {
        SetPanelType(ptFolder);
        return;
    }
    FRemote = MakeRemoteSession();
    FFtpCurrentDir.clear();
    FFtpLostReported = false;
    TRemoteHooks hooks;
    hooks.OnStatus = [this](const std::string& line) {
        if (OnFTPStatus)
            OnFTPStatus(line);
    };
    hooks.Pump = [this] { Pump(); };
    hooks.Cancelled = [this] { return FFtpCancel; };
    hooks.Ask = [this](const std::string& text, int kind, int buttons, int defaultButton) {
        return Ask(text, kind, buttons, defaultButton);
    };
    hooks.AskText = [this](const std::string& title, const std::string& prompt, std::string& value,
                           bool masked) { return AskText && AskText(title, prompt, value, masked); };
    FRemote->SetHooks(std::move(hooks));
    FRemote->SetLimits(FFtpLimits);
    FireAfterRefresh(LangStrings().STR_MSG_WORKING);
    const TKFtpConnection& c = FFtpConnection;
    const TRemoteLogin login{c.Host, c.Port, c.Name, c.Password, c.Passive};
    const std::string folder = c.Folder;
    Result<void> connected = RunFtp(
        [&](TKRemoteSession& session) -> Result<void> {
            if (Result<void> logged = session.Connect(login); !logged)
                return logged;
            if (folder.empty() || folder == session.CurrentFolder())
                return {};
            // A folder the server will not enter leaves the panel where the server starts.
            if (Result<void> entered = session.ChangeFolder(folder); !entered)
                return entered.error().Code == TErrorCode::ecRefused ? Result<void>() : entered;
            if (Result<std::string> now = session.PrintDir();
                !now && now.error().Code != TErrorCode::ecRefused && now.error().Code != TErrorCode::ecParse)
                return now.error();
            return {};
        },
        false);
    if (!connected || FPanelType != ptFTP) {
        // A failure handler has already said why.
        if (FPanelType == ptFTP)
            LeaveFtp();
        return;
    }
    FFtpCurrentDir = FRemote->CurrentFolder();
    if (FView != nullptr)
        FView->StartTimer(ptmWatch, AliveCheckMs);
    ReadPanel(false, true);
}

Result<void> TKMYFILEPANEL::RunFtp(const std::function<Result<void>(TKRemoteSession&)>& operation,
                                   bool reconnect) {
    if (FPanelType != ptFTP || !FRemote)
        return TError{TErrorCode::ecDisconnected, 0, {}, {}};
    // One wait at a time: a second command from a pumped message would interleave replies.
    if (FFtpWaiting)
        return TError{TErrorCode::ecBusy, 0, {}, {}};
    if (reconnect && !FRemote->Connected() && !Reconnect())
        return TError{TErrorCode::ecDisconnected, 0, {}, {}};
    TKMYFILEPANEL* other = FOtherPanel != nullptr && FOtherPanel != this ? FOtherPanel : nullptr;
    const std::uint32_t mine = FState;
    const std::uint32_t theirs = other != nullptr ? other->FState : 0;
    FState |= psBusy | psQuiet;
    if (other != nullptr)
        other->FState |= psBusy | psQuiet;
    FFtpCancel = false;
    FFtpWaiting = true;
    Result<void> result = operation(*FRemote);
    FFtpWaiting = false;
    FFtpCancel = false;
    FState = mine;
    if (other != nullptr)
        other->FState = theirs;
    // The panel was turned into something else while the command waited: the session it left
    // goes now that nothing uses it.
    if (FPanelType != ptFTP) {
        CloseFtpSession();
        return result ? Result<void>(TError{TErrorCode::ecDisconnected, 0, {}, {}}) : result;
    }
    if (!result)
        HandleFtpFailure(result.error());
    return result;
}

bool TKMYFILEPANEL::Reconnect() {
    const int answer = Ask(LangTextOr("ftp_reconnect", "The server closed the connection. Connect again?"),
                           miQuestion, mbYes | mbNo, 0);
    if (answer != mrYes) {
        LeaveFtp();
        return false;
    }
    const TKFtpConnection& c = FFtpConnection;
    const TRemoteLogin login{c.Host, c.Port, c.Name, c.Password, c.Passive};
    const std::string folder = FFtpCurrentDir;
    Result<void> connected = RunFtp(
        [&](TKRemoteSession& session) -> Result<void> {
            if (Result<void> logged = session.Connect(login); !logged)
                return logged;
            // Back to the folder the panel showed; when it is gone, the server's start folder.
            if (folder.empty() || session.CurrentFolder() == folder)
                return {};
            if (Result<void> entered = session.ChangeFolder(folder); !entered)
                return entered.error().Code == TErrorCode::ecRefused ? Result<void>() : entered;
            (void)session.PrintDir();
            return {};
        },
        false);
    FFtpLostReported = false;
    return connected && FPanelType == ptFTP && FRemote && FRemote->Connected();
}

void TKMYFILEPANEL::HandleFtpFailure(const TError& error) {
    switch (error.Code) {
    case TErrorCode::ecBusy:
        return;
    case TErrorCode::ecCancelled:
        // The session waits for what it still owes before its next command; a connection that
        // was not made yet gives the folder back.
        if (FRemote && !FRemote->Connected())
            LeaveFtp();
        return;
    case TErrorCode::ecRefused:
        // The server's answer is in the status window; the list stays as it was.
        if (FRemote && !FRemote->Connected()) {
            Ask(LangTextOr("ftp_connect_failed", "FTP: Connect call failed"), miExclamation, mbOK, 2);
            LeaveFtp();
        }
        return;
    case TErrorCode::ecDisconnected:
        if (!error.Detail.empty() && error.Detail.rfind("421", 0) == 0) {
            Ask(LoginMessage(error.Detail), miExclamation, mbOK, 2);
            LeaveFtp();
            return;
        }
        ReportFtpLost();
        return;
    case TErrorCode::ecAccess: {
        const std::string message = LoginMessage(error.Detail);
        if (!message.empty())
            Ask(message, miExclamation, mbOK, 2);
        LeaveFtp();
        return;
    }
    case TErrorCode::ecTooLarge:
        Ask(LangTextOr("ftp_listing_too_large", "FTP: the listing is larger than 64 MiB and was not read."),
            miExclamation, mbOK, 2);
        return;
    case TErrorCode::ecTimeout:
        Ask(FormatLangText(
                LangTextOr("ftp_timeout", "FTP: %s did not come in time. The connection was closed."),
                {error.Detail}),
            miExclamation, mbOK, 2);
        LeaveFtp();
        return;
    case TErrorCode::ecParse:
        if (FRemote && FRemote->Connected()) {
            // A name the protocol cannot carry; the session is fine.
            Ask(error.Detail, miExclamation, mbOK, 2);
            return;
        }
        Ask(FormatLangText(
                LangTextOr("ftp_protocol_error", "FTP: the server's reply could not be read (%s)."),
                {error.Detail}),
            miExclamation, mbOK, 2);
        LeaveFtp();
        return;
    default:
        Ask(LangTextOr("ftp_connect_failed", "FTP: Connect call failed"), miExclamation, mbOK, 2);
        LeaveFtp();
        return;
    }
}

void TKMYFILEPANEL::ReportFtpLost() {
    if (FFtpLostReported)
        return;
    FFtpLostReported = true;
    FireAfterChange(acProgress, LangTextOr("ftp_connection_lost", "FTP: the server closed the connection."));
    if (OnFTPDisconnect)
        OnFTPDisconnect();
}

void TKMYFILEPANEL::CheckFtpAlive() {
    if (FPanelType != ptFTP || !FRemote || FFtpWaiting || Busy() || FFtpLostReported)
        return;
    if (FRemote->Connected() && !FRemote->CheckAlive())
        ReportFtpLost();
}

void TKMYFILEPANEL::LeaveFtp() {
    if (FPanelType != ptFTP)
        return;
    SetPanelType(ptFolder);
    ReadPanel(false, true);
}

void TKMYFILEPANEL::CloseFtpSession() {
    if (FView != nullptr)
        FView->StopTimer(ptmWatch);
    // Closing from inside a wait would pull the session from under it; the wait ends first.
    if (FFtpWaiting) {
        FFtpCancel = true;
        return;
    }
    if (FRemote)
        FRemote->Disconnect(false);
    FRemote.reset();
}

void TKMYFILEPANEL::ReadFtpPanel(bool keepState, bool repaint) {
    std::vector<TRemoteEntry> entries;
    Result<void> listed = RunFtp([&entries](TKRemoteSession& session) -> Result<void> {
        if (Result<void> listing = session.List(entries); !listing)
            return listing;
        (void)session.PrintDir();
        return {};
    });
    if (FPanelType != ptFTP)
        return;
    if (listed && FRemote)
        FFtpCurrentDir = FRemote->CurrentFolder();
    if (listed) {
        TKITEMSSTRUC& h = FFolderItems;
        const TKFiles* cursor = h.FCurrentItem;
        const std::string cursorName = keepState && cursor != nullptr ? cursor->Name : std::string();
        const int top = h.FTopIndex;
        if (FView != nullptr)
            FView->LockPainting(true);
        h.ClearItems(!keepState);
        // Servers rarely list "..": the way up is always there.
        auto up = std::make_unique<TKFiles>();
        up->Name = "..";
        up->Kind = ikUpFolder;
        up->Attr = 16;
        h.FItems.push_back(std::move(up));
        for (TRemoteEntry& entry : entries) {
            auto item = std::make_unique<TKFiles>();
            item->Name = std::move(entry.Name);
            item->Size = entry.IsFolder ? 0 : entry.Size;
            item->Attr = entry.IsFolder ? 16 : 32;
            item->Kind = entry.IsFolder ? ikFolder : ikFile;
            item->Mode = entry.IsLink ? FtpModeLink : entry.IsFolder ? FtpModeFolder : FtpModeFile;
            item->MTimeNs = entry.HasTime ? entry.MTimeNs : 0;
            item->Time = entry.HasTime ? DosTimeOfNs(entry.MTimeNs) : 0;
            if (!entry.AttrText.empty())
                item->Extras().AttrText = std::move(entry.AttrText);
            // Execute bits are a property of the server's file, not of this disk.
            item->IsExecutable = false;
            h.FItems.push_back(std::move(item));
        }
        SortItems();
        h.RecountTotals();
        const int index = cursorName.empty() ? -1 : h.FindIndex(cursorName, false);
        h.FTopIndex = index >= 0 ? std::min(top, index) : 0;
        h.SetItemIndex(index >= 0 ? index : 0);
        if (FView != nullptr)
            FView->LockPainting(false);
    }
    RecountMarked();
    if (repaint)
        RepaintAll();
    FireAfterRefresh(GetPanelPath());
    FireAfterChange(acList, GetItemInfo());
}

void TKMYFILEPANEL::ExecuteFtpItem() {
    const TKFiles* item = FItemsStruc->FCurrentItem;
    if (item == nullptr)
        return;
    if (item->Kind == ikUpFolder) {
        // At the server's root the way up leads back to the folder on this disk.
        if (FFtpCurrentDir == "/" || FFtpCurrentDir.empty()) {
            LeaveFtp();
            return;
        }
        const std::string left = LastPathPart(FFtpCurrentDir);
        if (!RunFtp([](TKRemoteSession& session) { return session.ChangeToParent(); }))
            return;
        ReadPanel(false, true);
        if (FPanelType == ptFTP)
            FindItem(left, true);
        return;
    }
    // A link may name a folder: the server is asked to enter it, and a link to a file stays
    // where it is.
    if (item->Kind != ikFolder && !IsFtpLink(*item))
        return;
    const std::string name = item->Name;
    if (!RunFtp([&name](TKRemoteSession& session) { return session.ChangeFolder(name); }))
        return;
    ReadPanel(false, true);
}

bool TKMYFILEPANEL::FtpMakeDir(const std::string& name) {
    return static_cast<bool>(RunFtp([&name](TKRemoteSession& session) { return session.MakeFolder(name); }));
}

bool TKMYFILEPANEL::FtpRename(const std::string& from, const std::string& to) {
    if (!RunFtp([&](TKRemoteSession& session) { return session.Rename(from, to); })) {
        if (FPanelType == ptFTP)
            Ask(LangTextOr("ftp_rename_failed", "The server did not rename the item."), miExclamation, mbOK,
                2);
        return false;
    }
    ReadPanel(false, true);
    FindItem(to, true);
    return true;
}

Result<TFtpReply> TKMYFILEPANEL::FtpRawCommand(const std::string& line) {
    TFtpReply reply;
    Result<void> sent = RunFtp([&](TKRemoteSession& session) -> Result<void> {
        Result<TFtpReply> answer = session.RawCommand(line);
        if (!answer)
            return answer.error();
        reply = *answer;
        return {};
    });
    if (!sent)
        return sent.error();
    if (FPanelType == ptFTP)
        ReadPanel(true, true);
    return reply;
}

// One deletion on the server: the marked items in list order, folders with everything in them.
class TFtpDelete {
public:
    TFtpDelete(TKMYFILEPANEL& panel, TKRemoteSession& session) : FPanel(panel), FSession(session) {}

    Result<void> File(const std::string& name) {
        for (;;) {
            if (FPanel.FAbort)
                return {};
            Result<void> deleted = FSession.DeleteFile(name);
            if (deleted) {
                ++FFilesDeleted;
                Progress();
                return {};
            }
            if (deleted.error().Code != TErrorCode::ecRefused)
                return deleted;
            if (!AskRetry(name))
                return {};
        }
    }

    Result<void> Folder(const std::string& name, int depth) {
        if (FPanel.FAbort)
            return {};
        if (Result<void> entered = FSession.ChangeFolder(name); !entered)
            return Refusal(entered);
        std::vector<TRemoteEntry> entries;
        Result<void> listed = FSession.List(entries);
        if (!listed && listed.error().Code != TErrorCode::ecRefused)
            return listed;
        for (const TRemoteEntry& entry : entries) {
            if (FPanel.FAbort)
                break;
            // A link is removed as the name it is, never followed.
            Result<void> done = entry.IsFolder && !entry.IsLink && depth < MaxFtpDepth
                                    ? Folder(entry.Name, depth + 1)
                                    : File(entry.Name);
            if (!done)
                return done;
            FPanel.Pump();
        }
        if (Result<void> up = FSession.ChangeToParent(); !up)
            return up; // the way back failed: removing by name here would hit the wrong folder
        if (Result<void> removed = FSession.RemoveFolder(name); removed)
            ++FFoldersDeleted;
        else if (removed.error().Code != TErrorCode::ecRefused)
            return removed;
        Progress();
        return {};
    }

    /// The question before a marked folder that is not empty; true to delete it.
    bool ConfirmFolder(const std::string& name) {
        if (FFolderAnswer == mrYesToAll)
            return true;
        if (FFolderAnswer == mrNoToAll)
            return false;
        const int answer = FPanel.Ask(FormatLangText(LangStrings().STRConDeleteFolder, {name}), KindConfirm,
                                      DeleteFolderQuestion.Buttons, DeleteFolderQuestion.DefaultButton);
        if (answer == mrYesToAll || answer == mrNoToAll)
            FFolderAnswer = answer;
        if (answer == mrAbort)
            FPanel.FAbort = true;
        return answer == mrYes || answer == mrYesToAll;
    }

    int FFoldersDeleted = 0;
    int FFilesDeleted = 0;

private:
    static Result<void> Refusal(const Result<void>& result) {
        // A folder the server will not enter is left alone.
        if (result.error().Code == TErrorCode::ecRefused)
            return {};
        return result;
    }

    bool AskRetry(const std::string& name) {
        if (FSkipFailing)
            return false;
        const int answer = FPanel.Ask(FormatLangText(LangStrings().STRErrDeleteFile, {name}), KindQuestion,
                                      DeleteRetryQuestion.Buttons, DeleteRetryQuestion.DefaultButton);
        if (answer == mrNoToAll)
            FSkipFailing = true;
        else if (answer == mrAbort)
            FPanel.FAbort = true;
        return answer == mrYes;
    }

    void Progress() {
        if (FPanel.OnAfterChange)
            FPanel.OnAfterChange(acProgress, FormatLangText(LangStrings().STR_MSG_DELETING,
                                                            {Num(FFoldersDeleted), Num(FFilesDeleted)}));
    }

    TKMYFILEPANEL& FPanel;
    TKRemoteSession& FSession;
    int FFolderAnswer = 0;
    bool FSkipFailing = false;
};

void TKMYFILEPANEL::DeleteFtpMarked() {
    TKITEMSSTRUC& list = *FItemsStruc;
    std::vector<std::pair<std::string, bool>> marked;
    for (int i = 0; i < list.Count(); ++i) {
        const TKFiles* item = list.GetFileItem(i);
        if (item != nullptr && item->Marked && item->Kind != ikUpFolder)
            marked.emplace_back(item->Name, item->Kind == ikFolder && !IsFtpLink(*item));
    }
    (void)RunFtp([&](TKRemoteSession& session) -> Result<void> {
        TFtpDelete run(*this, session);
        for (const auto& [name, isFolder] : marked) {
            if (FAbort)
                break;
            if (isFolder) {
                // An empty folder goes without a question, as on this disk.
                if (Result<void> removed = session.RemoveFolder(name); removed) {
                    ++run.FFoldersDeleted;
                } else if (removed.error().Code != TErrorCode::ecRefused) {
                    return removed;
                } else if (run.ConfirmFolder(name)) {
                    if (Result<void> done = run.Folder(name, 0); !done)
                        return done;
                }
            } else if (Result<void> done = run.File(name); !done) {
                return done;
            }
            const int index = list.FindIndex(name, false);
            if (TKFiles* item = list.GetFileItem(index)) {
                list.MarkItem(item, mmUnmark);
                DrawRow(*this, index);
            }
            Pump();
        }
        return {};
    });
    FAbort = true;
}

} // namespace ks
