// ksable-probe: the program's core libraries on the command line, one JSON object per line.

#include <cstdio>
#include <string>
#include <vector>

#include "Probe.h"
#include "foundation/Json.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"

namespace ks::probe {

int Fail(const std::string& text) {
    TJsonLine().Add("error", text).Print();
    return 1;
}

int Usage(const std::string& text) {
    std::fprintf(stderr, "usage: ksable-probe %s\n", text.c_str());
    return 2;
}

} // namespace ks::probe

int main(int argc, char** argv) {
    using namespace ks::probe;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs("usage: ksable-probe reg get|set|list KEYPATH [NAME [VALUE]]\n"
                   "       ksable-probe lang DIR ID\n"
                   "       ksable-probe list DIR [--sort name|ext|size] [--no-folders-first] "
                   "[--no-exe-first] [--hidden]\n"
                   "       ksable-probe drives\n"
                   "       ksable-probe count PATH...\n"
                   "       ksable-probe find DIR MASKS [--text T] [--case]\n"
                   "       ksable-probe delete [--direct|--trash|--wipe] PATH...\n"
                   "       ksable-probe copy [--move] [--backup] [--keep-date] [--buffer KB] "
                   "[--answers yes,no-to-all,...] [--cancel-after BYTES] SOURCE... TARGET\n"
                   "       ksable-probe archive FILE [FOLDER] [--all]\n"
                   "       ksable-probe extract ARCHIVE FOLDER [NAME]...\n"
                   "       ksable-probe kpl create OUT.kpl PATH... [--base DIR] [--id N]\n"
                   "       ksable-probe kpl unpack LIB.kpl DIR [--answers yes,no-to-all,...]\n"
                   "       ksable-probe archivers [--locate] [--save]\n"
                   "       ksable-probe ftp URL [--active|--passive] [--timeout S] [--cmd LINE]... "
                   "[--rename OLD NEW]\n",
                   stderr);
        return 2;
    }
    ks::TKLinuxSystem system;
    ks::TKLinuxFileSystem fileSystem;
    ks::SetPlatform(&system, &fileSystem);

    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "reg")
        return ProbeReg(args);
    if (command == "lang")
        return ProbeLang(args);
    if (command == "list")
        return ProbeList(args);
    if (command == "drives")
        return ProbeDrives(args);
    if (command == "count")
        return ProbeCount(args);
    if (command == "find")
        return ProbeFind(args);
    if (command == "delete")
        return ProbeDelete(args);
    if (command == "copy")
        return ProbeCopy(args);
    if (command == "archive")
        return ProbeArchive(args);
    if (command == "extract")
        return ProbeExtract(args);
    if (command == "kpl")
        return ProbeKpl(args);
    if (command == "archivers")
        return ProbeArchivers(args);
    if (command == "ftp")
        return ProbeFtp(args);
    return Usage("reg|lang|list|drives|count|find|delete|copy|archive|extract|kpl|archivers|ftp ...");
}
