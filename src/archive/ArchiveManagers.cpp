#include "archive/ArchiveManagers.h"

#include "foundation/DELTA9.h"

#include <algorithm>
#include <cctype>

namespace ks {

namespace {

constexpr std::string_view FieldEnd = "|";
constexpr std::string_view LocatedMark = "auto";
constexpr std::string_view ArchiveNameMark = "#ARCHIVENAME#";
constexpr std::string_view ExtractPathMark = "#EXTRACTPATH#";
constexpr std::string_view FileListMark = "#FILELIST#";
constexpr std::string_view StdinListWord = "<#FILELIST#";

std::string Upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// Shell-like word splitting without a shell: blanks separate words, single quotes keep
// everything, double quotes keep everything but a backslash before one of "\"\\$`", and a
// backslash outside quotes takes the next character as it is.
std::vector<std::string> SplitTemplateWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
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

// A word the splitter above gives back unchanged: a program path with blanks or quotes is put
// in single quotes.
std::string QuoteWord(const std::string& word) {
    if (word.find_first_of(" \t\n'\"\\") == std::string::npos)
        return word;
    std::string result = "'";
    for (char c : word) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// ".zip.zip" (any case) becomes ".zip" as the archive spells its extension.
void RemoveDoubledExtension(std::string& word, const std::string& archiveName) {
    const std::string ext = ExtractExt(archiveName);
    if (ext.empty())
        return;
    const std::string doubled = Upper("." + ext + "." + ext);
    for (std::size_t at = Upper(word).find(doubled); at != std::string::npos;
         at = Upper(word).find(doubled, at + 1))
        word.replace(at, doubled.size(), "." + ext);
}

/// The programs whose way of matching names is known; every other program gets names unchanged.
enum class TManagerProgram { mp7z, mpZip, mpUnzip, mpRar, mpArj, mpLha, mpCab, mpTar, mpOther };

TManagerProgram ProgramOf(const std::string& argv0) {
    const std::string name = LastPathPart(argv0);
    if (name == "7z" || name == "7za" || name == "7zr" || name == "7zz")
        return TManagerProgram::mp7z;
    if (name == "zip")
        return TManagerProgram::mpZip;
    if (name == "unzip")
        return TManagerProgram::mpUnzip;
    if (name == "rar" || name == "unrar")
        return TManagerProgram::mpRar;
    if (name == "arj")
        return TManagerProgram::mpArj;
    if (name == "lha")
        return TManagerProgram::mpLha;
    if (name == "cabextract")
        return TManagerProgram::mpCab;
    if (name == "tar")
        return TManagerProgram::mpTar;
    return TManagerProgram::mpOther;
}

TError Invalid(const std::string& name, std::string detail) {
    return TError{TErrorCode::ecInvalid, 0, name, std::move(detail)};
}

bool HasWord(const std::vector<std::string>& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int more = 0;
        if (c < 0x80)
            more = 0;
        else if ((c & 0xE0) == 0xC0 && c >= 0xC2)
            more = 1;
        else if ((c & 0xF0) == 0xE0)
            more = 2;
        else if ((c & 0xF8) == 0xF0 && c <= 0xF4)
            more = 3;
        else
            return false;
        if (i + more >= text.size())
            return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += more + 1;
    }
    return true;
}

// Backslash before each character the program's pattern matcher treats specially, so the
// pattern matches the name and nothing else.
std::string EscapePattern(std::string_view name) {
    std::string result;
    for (char c : name) {
        if (c == '*' || c == '?' || c == '[' || c == '\\')
            result += '\\';
        result += c;
    }
    return result;
}

/// How the names are handed over: in a list file (or standard input), or as arguments.
struct TNameContext {
    TManagerProgram Program = TManagerProgram::mpOther;
    bool InList = false;       ///< the names go into a list file or standard input
    bool EndOfOptions = false; ///< a "--" word stands before the names' word
    bool NoWildcards = false;  ///< the template switched the program's wildcards off
};

// One name in the form the program takes literally: a folder ("dir/") as the form that selects
// it with everything below, wildcard characters escaped where matching cannot be switched off,
// or an error where the program has no literal form for it.
Result<std::string> ProgramName(const std::string& name, const TNameContext& context) {
    if (name.find('\0') != std::string::npos)
        return Invalid(name, "a name with a NUL character");
    if (context.InList && (name.find('\n') != std::string::npos || name.find('\r') != std::string::npos))
        return Invalid(name, "a name with a line break cannot be written to a list");
    const bool folder = name.size() > 1 && name.back() == '/';
    const std::string bare = folder ? name.substr(0, name.size() - 1) : name;
    const bool wild = name.find_first_of("*?") != std::string::npos;
    const bool dash = !name.empty() && name.front() == '-';
    switch (context.Program) {
    case TManagerProgram::mp7z:
        if (!context.NoWildcards && wild)
            return Invalid(name, "wildcard characters without -spd");
        // The list file is read as UTF-8 and 7z stops at the first line that is not.
        if (context.InList && !IsValidUtf8(name))
            return Invalid(name, "a name that is not UTF-8 cannot be written to a 7z list");
        if (!context.InList && dash && !context.EndOfOptions)
            return Invalid(name, "a name starting with \"-\" before \"--\"");
        // With -spd the bare folder name selects the folder and everything below it.
        return bare;
    case TManagerProgram::mpZip:
        if (!context.InList && dash && !context.EndOfOptions)
            return Invalid(name, "a name starting with \"-\" before \"--\"");
        if (context.NoWildcards)
            return name;
        return folder ? EscapePattern(name) + "*" : EscapePattern(name);
    case TManagerProgram::mpUnzip: {
        // unzip has no "--" and reads options after the archive name too; a backslash makes
        // the leading "-" a plain character of the pattern.
        std::string pattern = EscapePattern(name);
        if (dash)
            pattern.insert(0, "\\");
        return folder ? pattern + "*" : pattern;
    }
    case TManagerProgram::mpRar:
        if (wild)
            return Invalid(name, "rar always treats \"*\" and \"?\" as wildcards");
        if (!context.InList && dash && !context.EndOfOptions)
            return Invalid(name, "a name starting with \"-\" before \"--\"");
        return bare;
    case TManagerProgram::mpArj:
        // arj has no switch to turn wildcards off and no escape; "[" and "\" confuse its
        // matcher too.
        if (name.find_first_of("*?[\\") != std::string::npos)
            return Invalid(name, "arj cannot take this name literally");
        if (!context.InList && dash && !context.EndOfOptions)
            return Invalid(name, "a name starting with \"-\" before \"--\"");
        // With -p1 "dir/*" is the folder with its subfolders.
        return folder ? name + "*" : name;
    case TManagerProgram::mpLha:
        // lha matches names exactly: a folder's name selects only its own entry.
        if (folder)
            return Invalid(name, "lha cannot select a folder with its contents");
        return name;
    case TManagerProgram::mpCab:
        return folder ? EscapePattern(name) + "*" : EscapePattern(name);
    case TManagerProgram::mpTar:
        if (!context.InList && dash && !context.EndOfOptions)
            return Invalid(name, "a name starting with \"-\" before \"--\"");
        if (!context.NoWildcards && wild)
            return Invalid(name, "wildcard characters without --no-wildcards");
        return bare;
    case TManagerProgram::mpOther:
        break;
    }
    return name;
}

std::vector<std::string> SplitMasks(std::string_view masks) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= masks.size()) {
        const std::size_t end = std::min(masks.find(';', start), masks.size());
        std::string mask(masks.substr(start, end - start));
        mask.erase(0, mask.find_first_not_of(' '));
        mask.erase(mask.find_last_not_of(' ') + 1);
        if (!mask.empty())
            result.push_back(Upper(mask));
        start = end + 1;
    }
    return result;
}

} // namespace

std::optional<TArchiveManager> ParseArchiveManager(std::string_view entry) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end = entry.find(FieldEnd); end != std::string_view::npos;
         end = entry.find(FieldEnd, start)) {
        fields.emplace_back(entry.substr(start, end - start));
        start = end + 1;
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
    std::string entry = manager.Masks + "|" + manager.Description + "|" + manager.AddTemplate + "|" +
                        manager.DeleteTemplate + "|" + manager.ExtractTemplate + "|";
    if (manager.Located)
        entry += std::string(LocatedMark) + "|";
    return entry;
}

int FindArchiveManager(const std::vector<std::string>& list, const std::string& archiveName) {
    const std::string ext = Upper(ExtractExt(archiveName));
    if (ext.empty())
        return -1;
    for (int i = static_cast<int>(list.size()) - 1; i >= 0; --i) {
        const auto manager = ParseArchiveManager(list[static_cast<std::size_t>(i)]);
        if (!manager)
            continue;
        for (const std::string& mask : SplitMasks(manager->Masks))
            if (MatchMask(ext, mask))
                return i;
    }
    return -1;
}

std::vector<TArchiveManager>
LocateArchiveManagers(const std::function<std::string(const std::string&)>& findProgram) {
    auto find = [&](const char* name) {
        const std::string path = findProgram(name);
        return path.empty() ? std::string() : QuoteWord(path);
    };
    std::string sevenZip = find("7z");
    if (sevenZip.empty())
        sevenZip = find("7zz");
    const std::string zip = find("zip");
    const std::string unzip = find("unzip");
    const std::string rar = find("rar");
    const std::string arj = find("arj");
    const std::string lha = find("lha");
    const std::string cab = find("cabextract");
    const std::string tar = find("tar");

    // 7z reads names from a list file; -spd makes "*" and "?" plain characters and a bare
    // folder name select the folder with everything below. No "--": 7z would then take
    // "@list" as a file name. Its extraction keeps every entry inside -o (it drops "../").
    const std::string sevenDelete = sevenZip + " d -spd -y #ARCHIVENAME# @#FILELIST#";
    const std::string sevenExtract = sevenZip + " x -spd -y -o#EXTRACTPATH# #ARCHIVENAME# @#FILELIST#";

    std::vector<TArchiveManager> located;
    auto add = [&](std::string masks, std::string description, std::string addT, std::string deleteT,
                   std::string extractT) {
        located.push_back({std::move(masks), std::move(description), std::move(addT), std::move(deleteT),
                           std::move(extractT), true});
    };

    if (!sevenZip.empty()) {
        add("ZIP;Z##", "7z", sevenZip + " a -tzip -spd -y #ARCHIVENAME#.zip @#FILELIST#", sevenDelete,
            sevenExtract);
    } else if (!zip.empty() || !unzip.empty()) {
        // zip reads the names on standard input; -nw keeps them literal when adding. Deleting
        // needs a pattern for a folder ("dir/*"), so there the names are escaped instead.
        // unzip takes names as arguments only, escaped, and refuses "../" on its own.
        add("ZIP;Z##", "zip, unzip",
            zip.empty() ? "" : zip + " -r -nw -y -q #ARCHIVENAME#.zip -@ <#FILELIST#",
            zip.empty() ? "" : zip + " -d -q #ARCHIVENAME# -@ <#FILELIST#",
            unzip.empty() ? "" : unzip + " -o -q -d #EXTRACTPATH# #ARCHIVENAME# #FILELIST#");
    }
    if (!sevenZip.empty())
        add("7Z", "7z", sevenZip + " a -t7z -spd -y #ARCHIVENAME#.7z @#FILELIST#", sevenDelete, sevenExtract);
    if (!rar.empty())
        add("RAR;R##", "rar", rar + " a -r #ARCHIVENAME#.rar @#FILELIST#",
            rar + " d #ARCHIVENAME# @#FILELIST#", rar + " x -y -kb #ARCHIVENAME# @#FILELIST# #EXTRACTPATH#");
    else if (!sevenZip.empty())
        add("RAR;R##", "7z", "", "", sevenExtract);
    // arj matches full paths with -p1 (plain "a.txt" would also match "dir/a.txt") and honours
    // "--"; it has no list on standard input, so the names are arguments.
    if (!arj.empty())
        add("ARJ;A##", "arj", "", arj + " d -y -p1 #ARCHIVENAME# -- #FILELIST#",
            arj + " x -y -p1 #ARCHIVENAME# #EXTRACTPATH# -- #FILELIST#");
    else if (!sevenZip.empty())
        add("ARJ;A##", "7z", "", "", sevenExtract);
    // lha matches names exactly and cannot select a folder with its contents; cabextract
    // filters by one pattern only. 7z extracts both kinds where it is installed.
    if (!lha.empty() || !sevenZip.empty())
        add("LZH;LHA", lha.empty() ? "7z" : (sevenZip.empty() ? "lha" : "lha, 7z"), "",
            lha.empty() ? "" : lha + " -dq #ARCHIVENAME# #FILELIST#",
            !sevenZip.empty() ? sevenExtract : lha + " -xqfw=#EXTRACTPATH# #ARCHIVENAME# #FILELIST#");
    if (!sevenZip.empty())
        add("CAB", "7z", "", "", sevenExtract);
    else if (!cab.empty())
        add("CAB", "cabextract", "", "", cab + " -q -d #EXTRACTPATH# #FILELIST# #ARCHIVENAME#");
    if (!tar.empty()) {
        // GNU tar takes the list literally with these switches: no wildcards, and a line
        // starting with "-" is a name, not an option. It drops "../" when extracting.
        const std::string literal = " --no-wildcards --verbatim-files-from --files-from=#FILELIST#";
        const std::string extract = tar + " -x -f #ARCHIVENAME# -C #EXTRACTPATH#" + literal;
        add("TAR", "tar", tar + " -r -f #ARCHIVENAME#" + literal,
            tar + " --delete -f #ARCHIVENAME#" + literal, extract);
        // A compressed tar can only be read: tar cannot append to or delete from it.
        add("TGZ;TAZ;TBZ;TBZ2;TXZ;TZST;GZ;BZ2;XZ;ZST;LZ;LZMA", "tar", "", "", extract);
    }
    return located;
}

std::vector<std::string> MergeLocatedManagers(const std::vector<std::string>& list,
                                              const std::vector<TArchiveManager>& located) {
    std::vector<std::string> merged;
    bool placed = false;
    auto place = [&] {
        for (const TArchiveManager& manager : located)
            merged.push_back(FormatArchiveManager(manager));
        placed = true;
    };
    for (const std::string& entry : list) {
        const auto manager = ParseArchiveManager(entry);
        if (manager && manager->Located) {
            if (!placed)
                place();
            continue;
        }
        merged.push_back(entry);
    }
    // Located for the first time: in front, so that the user's own entries, later in the list,
    // keep serving their kinds.
    if (!placed) {
        std::vector<std::string> users = std::move(merged);
        merged.clear();
        place();
        merged.insert(merged.end(), users.begin(), users.end());
    }
    return merged;
}

Result<TManagerCommand> BuildManagerCommand(const std::string& templ, const TManagerCall& call) {
    const std::vector<std::string> words = SplitTemplateWords(templ);
    if (words.empty())
        return Invalid(templ, "an empty command template");
    const bool everything = call.Names.empty();
    if (everything && templ.find(ExtractPathMark) == std::string::npos)
        return Invalid(templ, "no names to work on");

    TNameContext context;
    context.Program = ProgramOf(words.front());
    context.NoWildcards = (context.Program == TManagerProgram::mp7z && HasWord(words, "-spd")) ||
                          (context.Program == TManagerProgram::mpZip && HasWord(words, "-nw")) ||
                          (context.Program == TManagerProgram::mpTar && HasWord(words, "--no-wildcards"));

    TManagerCommand command;
    bool usesList = false;
    bool seenEndOfOptions = false;
    for (const std::string& word : words) {
        if (word == "--")
            seenEndOfOptions = true;
        if (word == FileListMark) {
            context.InList = false;
            context.EndOfOptions = seenEndOfOptions;
            for (const std::string& name : call.Names) {
                auto programName = ProgramName(name, context);
                if (!programName)
                    return programName.error();
                // cabextract takes cabinets as arguments and selects entries by one filter.
                if (context.Program == TManagerProgram::mpCab) {
                    if (call.Names.size() > 1)
                        return Invalid(name, "cabextract extracts one name or everything");
                    command.Argv.push_back("-F");
                }
                command.Argv.push_back(std::move(*programName));
            }
            continue;
        }
        if (word.find(FileListMark) != std::string::npos) {
            // Everything is each program's own "no names": the word naming the list goes.
            if (everything)
                continue;
            usesList = true;
            if (word == StdinListWord) {
                command.ListOnStdin = true;
                continue;
            }
        }
        std::string filled = word;
        const bool hasArchive = filled.find(ArchiveNameMark) != std::string::npos;
        ReplaceAll(filled, ArchiveNameMark, call.ArchiveName);
        ReplaceAll(filled, ExtractPathMark, call.ExtractPath);
        ReplaceAll(filled, FileListMark, call.ListFile);
        if (hasArchive)
            RemoveDoubledExtension(filled, call.ArchiveName);
        command.Argv.push_back(std::move(filled));
    }
    if (command.Argv.empty())
        return Invalid(templ, "a command template without a program");
    if (usesList) {
        context.InList = true;
        for (const std::string& name : call.Names) {
            auto programName = ProgramName(name, context);
            if (!programName)
                return programName.error();
            command.ListText += *programName + "\n";
        }
    }
    return command;
}

} // namespace ks
