#include "fileops/ui/PackInstall.h"

#include "archive/KPL.h"
#include "controls/MessageBox.h"
#include "controls/ui/MessageForm.h"
#include "fileops/CopyQuestions.h"
#include "fileops/ui/SearchPackagesForm.h"
#include "foundation/Language.h"
#include "foundation/System.h"

#include <cstring>
#include <string>

namespace ks {

namespace {

// Installing runs on the GUI thread, so a question is shown right away and answered in place.
class TDirectAsker : public TKCopyAsker {
public:
    explicit TDirectAsker(QWidget* parent) : FParent(parent) {}
    int Ask(const TCopyQuestion& question, const std::atomic<bool>&) override {
        return ShowMessageForm(question.Text, 0, question.Buttons, question.DefaultButton, 0, FParent);
    }

private:
    QWidget* FParent;
};

std::string WhyNotInstalled(const TError& error) {
    if (error.Code == TErrorCode::ecExists)
        return LangTextOr("_STRPackExists", "a folder of that name exists");
    if (error.Errno != 0)
        return std::strerror(error.Errno);
    if (!error.Detail.empty())
        return error.Detail;
    return LangTextOr("_STRPackUnpackFailed", "the library could not be unpacked");
}

} // namespace

std::string PackInstallText(const TPackInstall& install) {
    std::string text;
    if (!install.Installed.empty()) {
        std::string list;
        for (const std::string& folder : install.Installed)
            list += "\n" + folder;
        text = FormatLangText(LangTextOr("_STRPacksInstalled", "These packs were installed:%s"), {list});
    }
    if (!install.Problems.empty()) {
        std::string list;
        for (const TError& problem : install.Problems)
            list += "\n" + problem.Path + " (" + WhyNotInstalled(problem) + ")";
        if (!text.empty())
            text += "\n\n";
        text +=
            FormatLangText(LangTextOr("_STRPacksNotInstalled", "These packs were not installed:%s"), {list});
    }
    return text;
}

bool InstallFoundPacks(TKFileSystem& fileSystem, const std::string& dataFolder, TPackKind kind,
                       const std::vector<std::string>& libraries, QWidget* parent) {
    if (libraries.empty())
        return false;
    const std::string question =
        FormatLangText(LangTextOr(kind == pkLanguage ? "str_SettInstallLangPack" : "str_SettInstallSkinPack",
                                  kind == pkLanguage ? "%d language packs found. Install them?"
                                                     : "%d skin packs found. Install them?"),
                       {std::to_string(libraries.size())});
    // Cancel pre-selected: installing writes into the user's data folder.
    if (ShowMessageForm(question, 0, mbOK | mbCancel, 3, 0, parent) != mrOk)
        return false;
    TDirectAsker asker(parent);
    TQuestionSlot questions(&asker);
    const TPackInstall install =
        InstallPacks(fileSystem, dataFolder, kind == pkLanguage ? "lang" : "skins", libraries,
                     kind == pkLanguage ? KplLanguagePackId : KplSkinPackId, questions);
    if (const std::string told = PackInstallText(install); !told.empty())
        ShowMessageForm(told, 0, mbOK, 2, 0, parent);
    return !install.Installed.empty();
}

bool SearchAndInstallPacks(const TKSystem& system, TPackKind kind, QWidget* parent) {
    const std::vector<std::string> found = TSearchPackagesForm::Execute(
        LocalPackRoots(system), kind == pkLanguage ? KplLanguagePackId : KplSkinPackId, parent);
    return InstallFoundPacks(FileSystem(), system.UserDataDir(), kind, found, parent);
}

} // namespace ks
