// In-process figures of the copy engine that no outside tool can time:
//
//   ks_bench_copy rename ROOT   a move of a 20,000-file tree to a new name on one disk
//   ks_bench_copy merge ROOT    a move of that tree into an existing folder of its name, against a
//                               bare loop of renameat over the same files
//   ks_bench_copy progress FILE TARGET
//                               the distinct positions a 20 ms poller sees while FILE is copied
//
// Each prints one line in the style of bench/lib.sh.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "fileops/CopyEngine.h"
#include "foundation/System.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxSystem.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int Folders = 20;
constexpr int FilesPerFolder = 1000;

void MakeTree(const std::string& root, bool withFiles) {
    for (int d = 0; d < Folders; ++d) {
        const std::string folder = root + "/d" + std::to_string(d);
        fs::create_directories(folder);
        if (!withFiles)
            continue;
        for (int f = 0; f < FilesPerFolder; ++f)
            std::ofstream(folder + "/f" + std::to_string(f)) << "x";
    }
}

// Runs one move job and returns the seconds from its start to its end, without the closing
// phase (which only keeps the end visible to the windows).
double TimedMove(ks::TKFileSystem& disk, const std::string& source, const std::string& target) {
    ks::TCopyEngine engine(disk);
    engine.SetClosingMs(0);
    engine.NewJob(true, true, false);
    engine.AddEntry(source, target);
    const auto start = Clock::now();
    engine.StartJob();
    engine.WaitIdle(600000);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The peer of a merge move: renameat of every file of source into the same folder of target.
double RenameLoop(const std::string& source, const std::string& target) {
    const auto start = Clock::now();
    for (int d = 0; d < Folders; ++d) {
        const std::string name = "/d" + std::to_string(d);
        const int from = ::open((source + name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int to = ::open((target + name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int f = 0; f < FilesPerFolder; ++f) {
            const std::string file = "f" + std::to_string(f);
            ::renameat(from, file.c_str(), to, file.c_str());
        }
        ::close(from);
        ::close(to);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int Rename(ks::TKFileSystem& disk, const std::string& root) {
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        fs::remove_all(root);
        MakeTree(root + "/src/tree", true);
        fs::create_directories(root + "/dst");
        times.push_back(TimedMove(disk, root + "/src/tree", root + "/dst"));
    }
    std::sort(times.begin(), times.end());
    std::printf("%-48s ksable=%.4fs  target<=0.0050s\n", "move a 20,000-file tree to a new name", times[2]);
    return 0;
}

int Merge(ks::TKFileSystem& disk, const std::string& root) {
    std::vector<double> ours;
    std::vector<double> peer;
    for (int round = 0; round < 5; ++round) {
        fs::remove_all(root);
        MakeTree(root + "/src/tree", true);
        MakeTree(root + "/dst/tree", false);
        ours.push_back(TimedMove(disk, root + "/src/tree", root + "/dst"));
        fs::remove_all(root);
        MakeTree(root + "/src/tree", true);
        MakeTree(root + "/dst/tree", false);
        peer.push_back(RenameLoop(root + "/src/tree", root + "/dst/tree"));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(peer.begin(), peer.end());
    std::printf("%-48s ksable=%.4fs  peer=%.4fs  ratio=%.2f\n", "merge-move 20,000 files vs a renameat loop",
                ours[2], peer[2], ours[2] / peer[2]);
    fs::remove_all(root);
    return 0;
}

int Progress(ks::TKFileSystem& disk, const std::string& file, const std::string& target) {
    ks::TCopyEngine engine(disk);
    std::shared_ptr<ks::TCopyThread> job = engine.NewJob(false, true, false);
    engine.AddEntry(file, target);
    engine.StartJob();
    std::set<std::uint64_t> seen;
    while (engine.IndexOfJob(job.get()) >= 0) {
        if (!job->FFinished.load())
            seen.insert(job->BytesDone());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf("%-48s positions=%zu  target>=40\n", "progress seen by a 20 ms poller copying 2 GiB",
                seen.size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ks::TKLinuxSystem system;
    ks::TKLinuxFileSystem disk;
    ks::SetPlatform(&system, &disk);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "rename")
        return Rename(disk, args[1]);
    if (args.size() == 2 && args[0] == "merge")
        return Merge(disk, args[1]);
    if (args.size() == 3 && args[0] == "progress")
        return Progress(disk, args[1], args[2]);
    std::fputs("usage: ks_bench_copy rename ROOT | merge ROOT | progress FILE TARGET\n", stderr);
    return 2;
}
