#include "shell/ui/MainForm.h"

#include <algorithm>
#include <optional>
#include <string>

#include "controls/MessageBox.h"
#include "controls/ui/DisplayWidget.h"
#include "fileops/ui/PackInstall.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Keys.h"
#include "foundation/Language.h"
#include "foundation/System.h"
#include "shell/ui/HistoryForm.h"
#include "shell/ui/TypePanelPathForm.h"

namespace ks {

void TMainForm::ShowInfo(const std::string& text) {
    INFOLINE->Model().SetCaption(text);
}

void TMainForm::InfoList(const TKMYFILEPANEL* sender, const std::string& text) {
    ShowInfo(FCommandLine.Caption(text, sender == FRight.get()));
}

void TMainForm::InfolineChangeText() {
    const bool empty = INFOLINE->Model().Text().empty();
    FCommandLine.TextChanged(empty);
    if (FCommandLine.Mode() != cmdInfo)
        InfoList(nullptr, {});
    if (FCommandLine.Mode() == cmdLocate && !empty) {
        FActivePanel->FindBestItem(INFOLINE->Model().Text(), true);
        if (FActivePanel->FView != nullptr)
            FActivePanel->FView->RepaintCursor();
    }
    INFOLINE->update();
}

void TMainForm::TypeText(const std::string& text) {
    // Characters go in one by one, as if typed.
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        length = std::min(length, text.size() - i);
        const QString piece = DecodeDisplay(std::string_view(text).substr(i, length));
        for (const char32_t c : piece.toUcs4())
            if (c > 31)
                INFOLINE->Model().KeyPress(c);
        i += length;
    }
}

bool TMainForm::CommandLineKey(TKMYFILEPANEL& sender, int key, std::uint32_t shift) {
    TKMYDISPLAY& line = INFOLINE->Model();
    const std::uint32_t mods = shift & (ssShift | ssAlt | ssCtrl);
    const auto cursorName = [](const TKMYFILEPANEL& panel) {
        const TKFiles* item = panel.FItemsStruc->FCurrentItem;
        return item != nullptr ? item->Caption() + " " : std::string();
    };
    if (mods == ssCtrl && key == VK_LETTER('E')) {
        if (const std::optional<std::string> entry = FCommandLine.Recall()) {
            line.ClearText();
            TypeText(*entry);
        }
        return true;
    }
    if (mods == ssShift && key == VK_INSERT) {
        TypeText(System().GetClipboardText());
        return true;
    }
    if (mods == ssCtrl && key == VK_INSERT) {
        const std::string selected = line.GetSelectedText();
        if (!selected.empty())
            System().CopyTextToClipboard(selected);
        return true;
    }
    if (mods == ssCtrl && key == VK_RETURN) {
        TypeText(cursorName(sender));
        return true;
    }
    if (mods == ssCtrl && (key == VK_OEM_4 || key == VK_OEM_6)) {
        TypeText(AddBackslash((key == VK_OEM_4 ? *FLeft : *FRight).FFolderItems.FPath));
        return true;
    }
    if (mods == ssAlt && (key == VK_OEM_4 || key == VK_OEM_6)) {
        TypeText(cursorName(key == VK_OEM_4 ? *FLeft : *FRight));
        return true;
    }
    if (line.Text().empty())
        return false;
    switch (key) {
    case VK_BACK:
        return true; // the character arrives as typed text
    case VK_LEFT:
    case VK_RIGHT:
    case VK_SPACE:
    case VK_DELETE:
        line.PressKey(key, shift);
        return true;
    case VK_ESCAPE:
        if (sender.Busy())
            return false;
        FCommandLine.SetMode(cmdInfo);
        line.PressKey(VK_ESCAPE, shift);
        line.ClearText();
        InfoList(nullptr, {});
        return true;
    default:
        return (mods == ssNone || mods == ssShift) &&
               ((key >= VK_LETTER('A') && key <= VK_LETTER('Z')) || (key >= VK_0 && key <= VK_0 + 9));
    }
}

namespace {

std::string FailureText(const TError& error) {
    return !error.Detail.empty() ? error.Detail : std::to_string(error.Errno);
}

} // namespace

void TMainForm::RunCommandLine() {
    const TCommandRun run = FCommandLine.Run(INFOLINE->Model().Text());
    INFOLINE->Model().ClearText();
    InfoList(nullptr, {});
    switch (run.Command) {
    case dcNone:
        // No shell reports a program that cannot start: the user hears of it here.
        if (const Result<void> started = System().RunProgram(run.Program, run.Parameters,
                                                             AddBackslash(FActivePanel->FFolderItems.FPath));
            !started)
            Ask(FormatLangText(LangTextOr("_STRCantRunProgram", "Can't start %s: %s"),
                               {run.Program, FailureText(started.error())}),
                miError, mbOK, 2);
        break;
    case dcFtp:
        RunFtpCommandLine(run.Parameters);
        break;
    case dcShutdown:
    case dcRestart: {
        // Both end every program of the session at once: a mistyped command must not.
        const bool powerOff = run.Command == dcShutdown;
        const std::string question =
            powerOff ? LangTextOr("_STRConfirmShutdown",
                                  "Power this computer off now? Every running program ends.")
                     : LangTextOr("_STRConfirmLogOff", "Log off now? Every program of this session ends.");
        if (Ask(question, miQuestion, mbYes | mbNo, 1) != mrYes)
            break;
        if (const Result<void> ended = powerOff ? System().PowerOff() : System().LogOff(); !ended)
            Ask(FormatLangText(LangTextOr("_STRSessionEndFailed", "An application refused to terminate (%s)"),
                               {FailureText(ended.error())}),
                miError, mbOK, 2);
        break;
    }
    case dcScanSkins:
    case dcScanLangs:
        // The local disks are searched for packs, which are installed into the user's data
        // folder once the user agrees.
        WriteState();
        (void)SearchAndInstallPacks(System(), run.Command == dcScanSkins ? pkSkin : pkLanguage, this);
        WriteState();
        break;
    case dcUnknown:
        ShowInfo(FormatLangText(LangTextOr("_STRUnknownDotCommand", "Unknown command: %s"), {run.Program}));
        break;
    case dcPosEdit:
        ShowPositionEditor();
        break;
    case dcLangSave:
        (void)CurrentLanguage().SaveLanguage();
        break;
    case dcPathMacro:
        OpenFolder(*FActivePanel, run.Folder);
        FActivePanel->CursorHome();
        break;
    }
}

void TMainForm::ShowCommandHistory() {
    const std::optional<std::string> chosen = THistoryForm::Execute(FData.History, this);
    if (!chosen)
        return;
    FCommandLine.SetMode(cmdCommand);
    INFOLINE->Model().ClearText();
    TypeText(*chosen);
    InfolineChangeText();
}

void TMainForm::TypePanelPath() {
    TKMYFILEPANEL& panel = *FActivePanel;
    const TTypePathChoice choice =
        TTypePanelPathForm::Execute(FData.ComboHistories[chTypePath], panel.FFolderItems.FPath, this);
    switch (choice.Kind) {
    case TTypePathChoice::tpNone:
        return;
    case TTypePathChoice::tpLocate:
        if (choice.Folder.empty()) {
            // The panel keeps its folder and lists it; the command line says why.
            panel.SetPanelType(ptFolder);
            panel.ReadPanel(true, true);
            ShowInfo(CurrentLanguage().GetLangText("nfo_TypeFolderNotExist"));
            return;
        }
        break;
    case TTypePathChoice::tpBrowse:
        break;
    }
    OpenFolder(panel, choice.Folder);
}

void TMainForm::RunFtpCommandLine(const std::string& line) {
    TKMYFILEPANEL& panel = *FActivePanel;
    if (panel.PanelType() != ptFTP) {
        ShowInfo(LangTextOr("_STRFtpNotConnected", "FTP: the active panel shows no FTP server."));
        return;
    }
    // The panel says what went wrong itself; the answer goes to the command line too.
    if (const Result<TFtpReply> reply = panel.FtpRawCommand(line))
        ShowInfo(reply->Text);
}

} // namespace ks
