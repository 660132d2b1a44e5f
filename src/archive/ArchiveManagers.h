#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Result.h"

namespace ks {

/// One archive manager: the extensions it serves and the three command templates. Stored as one
/// line of "m_archivelist": five fields each followed by "|", and a sixth field "auto|" on the
/// entries that locating made (locating rebuilds only those; what the user added or edited stays).
struct TArchiveManager {
    std::string Masks; ///< extension masks separated by ";" ("#" is one digit): "RAR;R##"
    std::string Description;
    std::string AddTemplate;     ///< empty: the manager cannot add
    std::string DeleteTemplate;  ///< empty: the manager cannot delete
    std::string ExtractTemplate; ///< empty: the manager cannot extract
    bool Located = false;        ///< made by locating ("auto")
    bool operator==(const TArchiveManager&) const = default;
};

/// Reads a stored entry; nothing for a line with fewer than five fields.
std::optional<TArchiveManager> ParseArchiveManager(std::string_view entry);
/// The stored form: "masks|description|add|delete|extract|", plus "auto|" for a located entry.
std::string FormatArchiveManager(const TArchiveManager& manager);

/// The position of the last entry of list whose masks match the extension of archiveName
/// (compared in upper case); -1 when none does.
int FindArchiveManager(const std::vector<std::string>& list, const std::string& archiveName);

/// The managers found on this system: findProgram gives the full name of a program on PATH or
/// empty. 7z (or 7zz) serves ZIP and 7Z with all three templates and extracts RAR, ARJ, LZH and
/// CAB; rar adds to, deletes from and extracts RAR; zip/unzip serve ZIP where 7z is missing; arj,
/// lha and cabextract their own kinds; tar the tar kinds. Where 7z is installed it extracts LZH
/// and CAB itself: lha cannot select a folder with its contents and cabextract takes one name.
/// Every entry is `Located`.
std::vector<TArchiveManager>
LocateArchiveManagers(const std::function<std::string(const std::string&)>& findProgram);

/// list with its located entries replaced by located (in located's order, where the first old
/// located entry stood, or in front when there was none, so the user's entries after them keep
/// serving their kinds); the user's own entries keep their places.
std::vector<std::string> MergeLocatedManagers(const std::vector<std::string>& list,
                                              const std::vector<TArchiveManager>& located);

/// What a manager is run on.
struct TManagerCall {
    std::string ArchiveName; ///< the archive's full name (one argument, spaces and all)
    /// Names inside the archive (extract, delete) or relative to the working folder (add), with
    /// "/" between parts; a folder ends with "/". Empty for extract: everything.
    std::vector<std::string> Names;
    std::string ExtractPath; ///< the folder extracted into, with a trailing "/"
    std::string ListFile;    ///< the full name the list file will have
};

/// A finished command: the program and its arguments, never to be split again, and the list file.
struct TManagerCommand {
    std::vector<std::string> Argv; ///< Argv[0] is the program
    /// The list file's contents (one name per line, "\n" ended); empty when the template takes
    /// no list file (the names are arguments, or everything is extracted).
    std::string ListText;
    bool ListOnStdin = false; ///< the list file is the program's standard input ("<#FILELIST#")
};

/// Fills a template: it is split into words as a shell would, without running one; in each word
/// "#ARCHIVENAME#", "#EXTRACTPATH#" and "#FILELIST#" are replaced (case-sensitively, every
/// occurrence). "#FILELIST#" inside a word ("@#FILELIST#") is the list file's name; a word that is
/// exactly "#FILELIST#" becomes the names, one argument each; the word "<#FILELIST#" feeds the
/// list file to standard input. A template that appends the archive's extension does not double
/// it (".zip.zip" becomes ".zip"). Names reach the manager literally: wildcards are switched off
/// where the program can (7z -spd, zip -nw), escaped where it cannot (unzip), and a name the
/// program cannot take literally (a line break in a list, a NUL) fails with ecInvalid naming it.
/// Extracting everything writes each program's own form of "all" (no list for 7z). Fails with
/// ecInvalid for an empty template, and for empty Names in a template without "#EXTRACTPATH#"
/// (adding or deleting nothing is not left to the program's idea of "all").
Result<TManagerCommand> BuildManagerCommand(const std::string& templ, const TManagerCall& call);

} // namespace ks
