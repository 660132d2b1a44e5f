// ksable-probe lang DIR ID: one text of a language pack, as the program would show it.

#include <string>
#include <vector>

#include "Probe.h"
#include "foundation/Json.h"
#include "foundation/Language.h"
#include "foundation/System.h"
#include "platform/CodePage.h"

namespace ks::probe {

int ProbeLang(const std::vector<std::string>& args) {
    if (args.size() != 2)
        return Usage("lang DIR ID");
    const std::string& folder = args[0];
    const std::string& id = args[1];
    if (folder.empty() || !FileSystem().CanOpenFolder(folder))
        return Fail("not a language folder: " + folder);

    TLanguage language;
    language.DefaultLangPath = System().AppPath() + "lang/ENGLISH/";
    language.LangPath = folder.back() == '/' ? folder : folder + "/";
    language.LoadLanguage(true);

    const int codePage = language.CodePage();
    TJsonLine()
        .Add("Id", id)
        .Add("Text", DecodeCodePage(language.GetLangText(id), codePage))
        .Add("CodePage", codePage)
        .Print();
    return 0;
}

} // namespace ks::probe
