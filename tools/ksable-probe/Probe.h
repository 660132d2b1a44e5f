#pragma once

#include <string>
#include <vector>

namespace ks {
class TKMYFILEPANEL;
struct TKFiles;
} // namespace ks

namespace ks::probe {

/// Prints one item as the panel holds it, keys named after the item record's fields.
void PrintPanelItem(const TKMYFILEPANEL& panel, const TKFiles& item);

/// Each subcommand gets the words after its name and returns the exit code: 0 done,
/// 1 failed (an {"error": ...} line says why), 2 wrong usage.
int ProbeReg(const std::vector<std::string>& args);
int ProbeLang(const std::vector<std::string>& args);
/// list DIR [options]: the items a panel holds after reading DIR; drives: the drive list.
int ProbeList(const std::vector<std::string>& args);
int ProbeDrives(const std::vector<std::string>& args);
/// count PATH...: count sizes; find DIR MASKS [--text T] [--case]: search into a find list.
int ProbeCount(const std::vector<std::string>& args);
int ProbeFind(const std::vector<std::string>& args);
/// delete [--direct|--trash|--wipe] PATH...: delete without questions (for benchmarks).
int ProbeDelete(const std::vector<std::string>& args);
/// copy [options] SOURCE... TARGET: one copy job as the copy dialog makes it, its questions
/// answered from a list; one line per question, then the job's counters.
int ProbeCopy(const std::vector<std::string>& args);
/// archive FILE [FOLDER] [--all]: the items of a folder of an archive (or every entry read), and
/// a last {"error": ...} line when the reader stopped early (still exit status 0).
int ProbeArchive(const std::vector<std::string>& args);
/// extract ARCHIVE FOLDER [NAME]...: extracts with libarchive into FOLDER; one {"skipped": name}
/// line per entry left out, then the counts.
int ProbeExtract(const std::vector<std::string>& args);
/// kpl create OUT.kpl PATH... [--base DIR] [--id N]: writes a library; kpl unpack LIB.kpl DIR
/// [--answers ...]: unpacks one, its questions answered from the list (then No).
int ProbeKpl(const std::vector<std::string>& args);
/// ftp URL [--active|--passive] [--timeout S] [--cmd LINE]... [--rename OLD NEW]: connects
/// (passive unless --active), runs the operations in order and lists the URL's folder: one line
/// per status line (the password masked), per operation and per item.
int ProbeFtp(const std::vector<std::string>& args);

/// archivers [--locate] [--save]: the stored archive managers, one line each; --locate rebuilds
/// the located ones as the program's start does, --save stores the result.
int ProbeArchivers(const std::vector<std::string>& args);

/// Prints {"error": text} and returns 1.
int Fail(const std::string& text);
/// Prints the usage line to standard error and returns 2.
int Usage(const std::string& text);

} // namespace ks::probe
