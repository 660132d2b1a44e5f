// Archives in a panel, in process (real platform objects, no window), printed like bench/lib.sh:
//   NAME  ksable=<value>  peer=<target>  ratio=<ksable/target>
//
//   ks_bench_archive make-rar5 OUT COUNT      writes a RAR 5 archive of COUNT small stored files
//                                             in 100 folders (there is no free RAR archiver)
//   ks_bench_archive browse ARCHIVE FOLDER    the time to move into FOLDER of the open archive
//                                             and back (median of 50, against 20 ms), and the
//                                             heap the open archive holds per entry (against
//                                             300 bytes)

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "archive/RarBuilder.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"

namespace {

using ks::bench::Median;
using ks::bench::Seconds;

void PrintLine(const char* name, double ours, double target, const char* unit) {
    std::printf("%-48s ksable=%.6f%s  peer=%.6f%s  ratio=%.3f\n", name, ours, unit, target, unit,
                ours / target);
}

int MakeRar5(const std::string& out, int count) {
    ks::test::RarImage image;
    image.Append(ks::test::Rar5Marker()).Append(ks::test::Rar5Main());
    for (int i = 0; i < count; ++i) {
        ks::test::RarFile file;
        file.Name = "folder" + std::to_string(i % 100) + "/file-" + std::to_string(i) + ".txt";
        file.Data = "x";
        file.HostOS = 1;
        file.UnixTime = 1700000000;
        ks::test::AddRar5File(image, file);
    }
    image.Append(ks::test::Rar5End());
    return image.Write(out) ? 0 : 1;
}

// Blocks in use, the large ones the allocator maps by themselves included.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

int Browse(const std::string& archive, const std::string& folder) {
    ks::TKLinuxSystem system;
    ks::TKLinuxFileSystem fileSystem;
    ks::SetPlatform(&system, &fileSystem);
    ks::TPanelOptions options;
    options.PanelStartupDone = true;
    ks::TKMYFILEPANEL panel(options);
    panel.AskUser = [](const std::string&, int, int, int) { return 1; };
    const std::size_t before = HeapInUse();
    panel.OpenArchive(archive, {});
    const std::size_t after = HeapInUse();
    const std::size_t entries = panel.FArchiveEntries.size();
    if (entries == 0 || !panel.FArchiveError.empty()) {
        std::fprintf(stderr, "could not read %s: %s\n", archive.c_str(), panel.FArchiveError.c_str());
        return 1;
    }
    std::vector<double> times;
    for (int round = 0; round < 50; ++round) {
        times.push_back(Seconds([&] {
            panel.ShowArchiveFolder(folder);
            panel.ShowArchiveFolder({});
        }));
    }
    PrintLine(("into a folder and back (" + std::to_string(entries) + " entries)").c_str(), Median(times),
              0.020, "s");
    PrintLine("heap per archive entry (bytes)",
              static_cast<double>(after - before) / static_cast<double>(entries), 300, "");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "make-rar5")
        return MakeRar5(args[1], std::atoi(args[2].c_str()));
    if (args.size() == 3 && args[0] == "browse")
        return Browse(args[1], args[2]);
    std::fputs("usage: ks_bench_archive make-rar5 OUT COUNT | browse ARCHIVE FOLDER\n", stderr);
    return 2;
}
