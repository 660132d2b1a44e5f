// In-process panel figures that a command line cannot isolate, printed like bench/lib.sh:
//   NAME  ksable=<median s>  peer=<median s>  ratio=<ksable/peer>
//
//   ks_bench_panel DIR [ROUNDS]
//
// DIR holds the files to list (the .bench.sh script makes 100,000 of them). Figures:
// - full read and sort until the panel holds the sorted list, against `ls -l DIR` run in the
//   same process's loop (GNU ls stats every entry and sorts);
// - the state-keeping re-read after one file was added, against the full read;
// - the memory the panel holds per listed item (heap in use with the list minus without it).

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "panel/KMYFILEPANEL.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"

namespace {

using ks::bench::Median;
using ks::bench::Seconds;

void PrintLine(const std::string& name, double ours, double peer) {
    std::printf("%-48s ksable=%.4fs  peer=%.4fs  ratio=%.2f\n", name.c_str(), ours, peer,
                peer > 0 ? ours / peer : 0.0);
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: ks_bench_panel DIR [ROUNDS]\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    ks::TKLinuxSystem system;
    ks::TKLinuxFileSystem fileSystem;
    ks::SetPlatform(&system, &fileSystem);
    ks::TPanelOptions options;
    options.PanelStartupDone = true;

    // Memory per item: the heap in use with the list held, minus the same panel without it.
    std::size_t items = 0;
    {
        ks::TKMYFILEPANEL panel(options);
        panel.FFolderItems.FPath = "/";
        panel.FFolderItems.ClearItems(false);
        malloc_trim(0);
        const std::size_t before = mallinfo2().uordblks;
        panel.FFolderItems.FPath = dir;
        panel.ReadPanel(false, false);
        malloc_trim(0);
        const std::size_t after = mallinfo2().uordblks;
        items = panel.FFolderItems.FItems.size();
        std::printf(
            "%-48s %.1f bytes per item (%zu items; target 300)\n", "panel: memory held per listed item",
            items > 0 ? static_cast<double>(after - before) / static_cast<double>(items) : 0.0, items);
    }

    const std::string ls = "ls -l " + Quote(dir) + " >/dev/null 2>&1";
    std::vector<double> full, peer, keep;
    ks::TKMYFILEPANEL panel(options);
    for (int i = 0; i < rounds; ++i) {
        full.push_back(Seconds([&] {
            panel.FFolderItems.FPath = dir;
            panel.ReadPanel(false, false);
        }));
        peer.push_back(Seconds([&] {
            if (std::system(ls.c_str()) != 0)
                std::fputs("ls failed\n", stderr);
        }));
    }
    PrintLine("panel: read+sort " + std::to_string(items) + " files vs ls -l", Median(full), Median(peer));

    // One file added before each re-read (untimed), taken away again after it.
    const std::string added = dir + "/zz-added-by-bench";
    std::vector<double> fullAgain;
    for (int i = 0; i < rounds; ++i) {
        std::ofstream(added).put('x');
        keep.push_back(Seconds([&] { panel.ReadPanel(true, false); }));
        std::remove(added.c_str());
        fullAgain.push_back(Seconds([&] { panel.ReadPanel(false, false); }));
    }
    PrintLine("panel: state-keeping re-read (+1 file) vs full read", Median(keep), Median(fullAgain));
    return 0;
}
