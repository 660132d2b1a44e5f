#include "archive/ArchiveManagers.h"

#include <algorithm>

#include "foundation/DELTA9.h"

namespace ks {

namespace {

constexpr std::string_view LocatedMark = "auto";

// The words of a template as a shell would split them, without running one: blanks separate,
// single quotes keep everything, double quotes keep everything but a backslash before one of
// "\"\\$`", a backslash outside quotes keeps the next character.
std::vector<std::string> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            for (++i; i < text.size() && text[i] != '\''; ++i)
                word += text[i];
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string_view("\"\\$`").find(text[i + 1]) != std::string_view::npos)
                    ++i;
                word += text[i];
            }
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

bool SameTextAt(std::string_view text, std::size_t at, std::string_view what) {
    if (at + what.size() > text.size())
        return false;
    return UpperCase(text.substr(at, what.size())) == UpperCase(what);
}

// ".zip.zip" to ".zip" (in any case): a template that appends the extension to a name that
// has it already.
void DropDoubledExtension(std::string& word, const std::string& ext) {
    if (ext.empty())
        return;
    const std::string single = "." + ext;
    for (std::size_t at = 0; at + 2 * single.size() <= word.size(); ++at) {
        if (SameTextAt(word, at, single) && SameTextAt(word, at + single.size(), single)) {
            word.erase(at + single.size(), single.size());
            return;
        }
    }
}

// How the program of a command takes names.
enum TNameStyle {
    nsPlain,      // as given (7z -spd, tar --no-wildcards, zip -nw, lha, unknown programs)
    nsEscaped,    // wildcard patterns with a backslash escape (zip's delete, unzip)
    nsNoWildcard, // patterns without an escape: a wildcard character cannot be given (arj, rar)
    nsNone,       // no selection at all: everything is extracted (cabextract)
};

TNameStyle StyleOf(const std::string& program, const std::vector<std::string>& words) {
    std::string name = LastPathPart(program);
    const bool wildcardsOff = std::any_of(words.begin(), words.end(), [](const std::string& word) {
        return word == "-spd" || word == "-nw" || word == "--no-wildcards";
    });
    if (wildcardsOff)
        return nsPlain;
    if (name == "zip" || name == "unzip")
        return nsEscaped;
    if (name == "arj" || name == "rar" || name == "unrar")
        return nsNoWildcard;
    if (name == "cabextract")
        return nsNone;
    return nsPlain;
}

bool HasWildcard(std::string_view name) {
    return name.find_first_of("*?[") != std::string_view::npos;
}

std::string Escaped(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\' || (i == 0 && c == '-'))
            out += '\\';
        out += c;
    }
    return out;
}

// The form of one name for the program; a folder (ending in "/") selects its whole tree.
std::string NameFor(std::string name, TNameStyle style) {
    const bool folder = !name.empty() && name.back() == '/';
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    if (style == nsEscaped)
        return Escaped(name) + (folder ? "/*" : "");
    return name;
}

} // namespace

std::optional<TArchiveManager> ParseArchiveManager(std::string_view entry) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t bar = entry.find('|'); bar != std::string_view::npos; bar = entry.find('|', start)) {
        fields.emplace_back(entry.substr(start, bar - start));
        start = bar + 1;
    }
    if (fields.size() < 5)
        return std::nullopt;
    TArchiveManager manager;
    manager.Masks = fields[0];
    manager.Description = fields[1];
    manager.AddTemplate = fields[2];
    manager.DeleteTemplate = fields[3];
    manager.ExtractTemplate = fields[4];
    manager.Located = fields.size() > 5 && fields[5] == LocatedMark;
    return manager;
}

std::string FormatArchiveManager(const TArchiveManager& manager) {
    std::string line = manager.Masks + "|" + manager.Description + "|" + manager.AddTemplate + "|" +
                       manager.DeleteTemplate + "|" + manager.ExtractTemplate + "|";
    if (manager.Located)
        line += std::string(LocatedMark) + "|";
    return line;
}

int FindArchiveManager(const std::vector<std::string>& list, const std::string& archiveName) {
    const std::string ext = UpperCase(ExtractExt(archiveName));
    if (ext.empty())
        return -1;
    int found = -1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::optional<TArchiveManager> manager = ParseArchiveManager(list[i]);
        if (!manager)
            continue;
        std::string_view masks = manager->Masks;
        while (!masks.empty()) {
            const std::size_t semicolon = masks.find(';');
            const std::string mask = UpperCase(masks.substr(0, semicolon));
            masks = semicolon == std::string_view::npos ? std::string_view() : masks.substr(semicolon + 1);
            if (!mask.empty() && MatchMask(ext, mask)) {
                found = static_cast<int>(i);
                break;
            }
        }
    }
    return found;
}

std::vector<TArchiveManager>
LocateArchiveManagers(const std::function<std::string(const std::string&)>& findProgram) {
    const auto find = [&findProgram](std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (std::string path = findProgram(name); !path.empty())
                return path;
        return std::string();
    };
    // A template names its program by its full path in double quotes, so a folder with spaces
    // is one word.
    const auto quoted = [](const std::string& path) { return "\"" + path + "\""; };
    std::vector<TArchiveManager> found;
    const auto add = [&found](std::string masks, std::string description, std::string addT,
                              std::string deleteT, std::string extractT) {
        found.push_back({std::move(masks), std::move(description), std::move(addT), std::move(deleteT),
                         std::move(extractT), true});
    };

    const std::string sevenZip = find({"7z", "7zz", "7za"});
    const std::string s7 = quoted(sevenZip);
    const auto extractWith7z = [&](const char* masks, const char* description) {
        if (!sevenZip.empty())
            add(masks, description, "", "", s7 + " x -spd -y -o#EXTRACTPATH# #ARCHIVENAME# @#FILELIST#");
    };
    const std::string zip = find({"zip"});
    const std::string unzip = find({"unzip"});
    if (!sevenZip.empty()) {
        add("ZIP;Z##", "ZIP archive (7-Zip)", s7 + " a -spd -y #ARCHIVENAME#.zip @#FILELIST#",
            s7 + " d -spd -y #ARCHIVENAME# @#FILELIST#",
            s7 + " x -spd -y -o#EXTRACTPATH# #ARCHIVENAME# @#FILELIST#");
        add("7Z", "7-Zip archive", s7 + " a -spd -y #ARCHIVENAME#.7z @#FILELIST#",
            s7 + " d -spd -y #ARCHIVENAME# @#FILELIST#",
            s7 + " x -spd -y -o#EXTRACTPATH# #ARCHIVENAME# @#FILELIST#");
    } else if (!zip.empty() || !unzip.empty()) {
        add("ZIP;Z##", "ZIP archive (Info-ZIP)",
            zip.empty() ? "" : quoted(zip) + " -r -nw -q #ARCHIVENAME#.zip -@ <#FILELIST#",
            zip.empty() ? "" : quoted(zip) + " -d -q #ARCHIVENAME# -@ <#FILELIST#",
            unzip.empty() ? "" : quoted(unzip) + " -o -q -d #EXTRACTPATH# #ARCHIVENAME# #FILELIST#");
    }
    if (const std::string rar = find({"rar"}); !rar.empty())
        add("RAR;R##", "RAR archive", quoted(rar) + " a -r -y #ARCHIVENAME#.rar @#FILELIST#",
            quoted(rar) + " d -y #ARCHIVENAME# @#FILELIST#",
            quoted(rar) + " x -y -kb #ARCHIVENAME# @#FILELIST# #EXTRACTPATH#");
    else
        extractWith7z("RAR;R##", "RAR archive (7-Zip)");
    if (const std::string arj = find({"arj"}); !arj.empty())
        add("ARJ;A##", "ARJ archive", "", quoted(arj) + " d -y #ARCHIVENAME# -- #FILELIST#",
            quoted(arj) + " x -y #ARCHIVENAME# #EXTRACTPATH# -- #FILELIST#");
    else
        extractWith7z("ARJ;A##", "ARJ archive (7-Zip)");
    if (const std::string lha = find({"lha"}); !lha.empty())
        add("LZH;LHA", "LHA archive", "", quoted(lha) + " d #ARCHIVENAME# -- #FILELIST#",
            quoted(lha) + " xw=#EXTRACTPATH# #ARCHIVENAME# -- #FILELIST#");
    else
        extractWith7z("LZH;LHA", "LHA archive (7-Zip)");
    if (const std::string cab = find({"cabextract"}); !cab.empty())
        add("CAB", "Cabinet file", "", "", quoted(cab) + " -q -d #EXTRACTPATH# #ARCHIVENAME#");
    else
        extractWith7z("CAB", "Cabinet file (7-Zip)");
    if (const std::string tar = find({"tar"}); !tar.empty()) {
        const std::string t = quoted(tar);
        add("TAR", "tar archive", t + " -rf #ARCHIVENAME# --no-wildcards -- #FILELIST#",
            t + " --delete -f #ARCHIVENAME# --no-wildcards -- #FILELIST#",
            t + " -xf #ARCHIVENAME# -C #EXTRACTPATH# --no-wildcards -- #FILELIST#");
        add("TGZ;GZ;TBZ;TBZ2;BZ2;TXZ;XZ;TZST;ZST", "compressed tar archive", "", "",
            t + " -xf #ARCHIVENAME# -C #EXTRACTPATH# --no-wildcards -- #FILELIST#");
    }
    return found;
}

std::vector<std::string> MergeLocatedManagers(const std::vector<std::string>& list,
                                              const std::vector<TArchiveManager>& located) {
    std::vector<std::string> merged;
    std::optional<std::size_t> at;
    for (const std::string& line : list) {
        if (line.empty())
            continue;
        const std::optional<TArchiveManager> manager = ParseArchiveManager(line);
        if (manager && manager->Located) {
            if (!at)
                at = merged.size();
            continue;
        }
        merged.push_back(line);
    }
    std::vector<std::string> fresh;
    for (const TArchiveManager& manager : located) {
        TArchiveManager copy = manager;
        copy.Located = true;
        fresh.push_back(FormatArchiveManager(copy));
    }
    merged.insert(merged.begin() + static_cast<std::ptrdiff_t>(at.value_or(merged.size())), fresh.begin(),
                  fresh.end());
    return merged;
}

Result<TManagerCommand> BuildManagerCommand(const std::string& templ, const TManagerCall& call) {
    std::vector<std::string> words = SplitWords(templ);
    if (words.empty())
        return TError{TErrorCode::ecInvalid, 0, {}, "no command"};
    const TNameStyle style = StyleOf(words.front(), words);
    std::vector<std::string> names;
    for (const std::string& name : call.Names) {
        if (name.empty() || name.find('\0') != std::string::npos)
            return TError{TErrorCode::ecInvalid, 0, name, "a name no program can be given"};
        names.push_back(name);
    }
    // A program that cannot take a name as it stands extracts everything; deleting or adding
    // with it is refused rather than run on a pattern that may mean more entries.
    bool everything = names.empty();
    if (!everything && style == nsNone) {
        if (call.Operation != moExtract)
            return TError{TErrorCode::ecInvalid, 0, names.front(),
                          "the archive manager cannot select entries"};
        everything = true;
    }
    if (!everything && style == nsNoWildcard) {
        for (const std::string& name : names) {
            if (!HasWildcard(name))
                continue;
            if (call.Operation != moExtract)
                return TError{TErrorCode::ecInvalid, 0, name,
                              "the archive manager would read the name as a pattern"};
            everything = true;
        }
    }

    TManagerCommand command;
    std::vector<std::string> given;
    if (!everything)
        for (const std::string& name : names)
            given.push_back(NameFor(name, style));
    const std::string ext = ExtractExt(call.ArchiveName);
    bool usesList = false;
    for (std::string& word : words) {
        if (word == "#FILELIST#") {
            // No names after an end of options: some programs read the lone "--" as a name.
            if (given.empty() && !command.Argv.empty() && command.Argv.back() == "--")
                command.Argv.pop_back();
            command.Argv.insert(command.Argv.end(), given.begin(), given.end());
            continue;
        }
        if (word == "<#FILELIST#") {
            command.ListOnStdin = true;
            usesList = true;
            continue;
        }
        if (word.find("#FILELIST#") != std::string::npos) {
            // Everything: no list at all, so the program takes its whole archive.
            if (everything)
                continue;
            usesList = true;
            ReplaceAll(word, "#FILELIST#", call.ListFile);
        }
        const bool hadArchive = word.find("#ARCHIVENAME#") != std::string::npos;
        ReplaceAll(word, "#ARCHIVENAME#", call.ArchiveName);
        ReplaceAll(word, "#EXTRACTPATH#", call.ExtractPath);
        if (hadArchive)
            DropDoubledExtension(word, ext);
        command.Argv.push_back(std::move(word));
    }
    if (usesList) {
        for (const std::string& name : given) {
            if (name.find_first_of("\r\n") != std::string::npos)
                return TError{TErrorCode::ecInvalid, 0, name,
                              "a name with a line break cannot go into a list"};
            command.ListText += name + "\n";
        }
        if (command.ListOnStdin && given.empty() && call.Operation != moExtract)
            return TError{TErrorCode::ecInvalid, 0, {}, "no names"};
    }
    return command;
}

} // namespace ks
