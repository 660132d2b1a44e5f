// Runs the real ksable-probe on language packs in a temp folder.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempTree.h"

extern char** environ;

namespace ks {
namespace {

using test::TempTree;

struct TRun {
    int ExitCode = -1;
    std::string Out;
};

// Runs ksable-probe with args and the program data of the build tree; gives up after 30 s.
TRun RunProbe(const std::vector<std::string>& args) {
    TRun run;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return run;
    const std::string program = KS_BIN_DIR "/ksable-probe";
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"KSABLE_DATA_DIR=" KS_BIN_DIR};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string_view(*entry).substr(0, 16) != "KSABLE_DATA_DIR=")
            env.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{pipeFds[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) == 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        run.Out.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(ProbeLangTest, DecodesThePackAndFallsBackToEnglish) {
    TempTree tree;
    // "Pevný disk" and "Štart" in CP1250 bytes.
    tree.File("slovak/F_others.dat", "codePage|238\r\nSTR_FIXED|Pevn\xFD disk\r\nnfo_Welcome|\x8Atart\r\n");
    struct Case {
        std::string Id;
        std::string Line;
    };
    const Case cases[] = {
        {"STR_FIXED", R"({"Id":"STR_FIXED","Text":"Pevný disk","CodePage":1250})"},
        {"nfo_welcome", R"({"Id":"nfo_welcome","Text":"Štart","CodePage":1250})"},
        // Missing from the pack: the shipped English pack answers.
        {"STR_CDROM", R"({"Id":"STR_CDROM","Text":"CD-ROM drive","CodePage":1250})"},
        {"no_such_id", R"({"Id":"no_such_id","Text":"","CodePage":1250})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        const TRun run = RunProbe({"lang", tree / "slovak", c.Id});
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.Out, c.Line + "\n");
    }
}

TEST(ProbeLangTest, Utf8PackAndErrors) {
    TempTree tree;
    tree.File("czech/F_others.dat", "\xEF\xBB\xBF"
                                    "STR_FIXED|Pevn\xC3\xBD disk\n");
    TRun run = RunProbe({"lang", tree / "czech/", "STR_FIXED"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"Id":"STR_FIXED","Text":"Pevný disk","CodePage":65001})"
                       "\n");

    run = RunProbe({"lang", tree / "missing", "STR_FIXED"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Out.find("\"error\""), std::string::npos);
    EXPECT_EQ(RunProbe({"lang", tree / "czech"}).ExitCode, 2);
}

} // namespace
} // namespace ks
