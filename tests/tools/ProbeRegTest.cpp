// Runs the real ksable-probe on a store in a temporary config folder.

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

// Runs ksable-probe with args and XDG_CONFIG_HOME set to configHome; gives up after 30 s.
TRun RunProbe(const std::string& configHome, const std::vector<std::string>& args) {
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
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + configHome, "KSABLE_DATA_DIR=" KS_BIN_DIR};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("XDG_CONFIG_HOME=") && !text.starts_with("KSABLE_DATA_DIR="))
            env.emplace_back(text);
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

TEST(ProbeRegTest, SetGetAndList) {
    TempTree tree;
    const std::string config = tree / "config";
    const std::string key = R"(Software\delta9\[sable!])";

    TRun run = RunProbe(config, {"reg", "set", "HKEY_CURRENT_USER\\" + key + "\\m_history", "line0",
                                 "make -C \"my dir\"\nsecond line"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"Key":"Software\\delta9\\[sable!]\\m_history","Name":"line0",)"
                       R"("Value":"make -C \"my dir\"\u000asecond line"})"
                       "\n");
    EXPECT_EQ(RunProbe(config, {"reg", "set", key, "SettingsSortBy", "2"}).ExitCode, 0);
    EXPECT_EQ(RunProbe(config, {"reg", "set", key, "FirstValue", "x"}).ExitCode, 0);
    EXPECT_EQ(RunProbe(config, {"reg", "set", key + "\\m_lpanel", "ppath", "/home"}).ExitCode, 0);

    run = RunProbe(config, {"reg", "get", R"(software\DELTA9\[sable!]\M_HISTORY)", "LINE0"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find(R"("Value":"make -C \"my dir\"\u000asecond line")"), std::string::npos) << run.Out;

    run = RunProbe(config, {"reg", "list", "HKEY_CURRENT_USER\\" + key});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, R"({"Key":"Software\\delta9\\[sable!]","Name":"SettingsSortBy","Value":"2"})"
                       "\n"
                       R"({"Key":"Software\\delta9\\[sable!]","Name":"FirstValue","Value":"x"})"
                       "\n"
                       R"({"Key":"Software\\delta9\\[sable!]","SubKey":"m_history"})"
                       "\n"
                       R"({"Key":"Software\\delta9\\[sable!]","SubKey":"m_lpanel"})"
                       "\n");
    // The store is the program's own file in the config folder.
    EXPECT_NE(TempTree::ReadFile(config + "/ksable/registry").find("\"SettingsSortBy\"=\"2\"\n"),
              std::string::npos);
}

TEST(ProbeRegTest, MissingValuesAndWrongUsage) {
    TempTree tree;
    const std::string config = tree / "config";
    TRun run = RunProbe(config, {"reg", "get", "Software\\nothing", "value"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Out.starts_with("{\"error\":")) << run.Out;

    ASSERT_EQ(RunProbe(config, {"reg", "set", "Software\\k", "a", "1"}).ExitCode, 0);
    EXPECT_EQ(RunProbe(config, {"reg", "get", "Software\\k", "b"}).ExitCode, 1);
    EXPECT_EQ(RunProbe(config, {"reg", "list", "Software\\missing"}).ExitCode, 1);
    EXPECT_EQ(RunProbe(config, {"reg", "get", "Software\\k"}).ExitCode, 2);
    EXPECT_EQ(RunProbe(config, {"reg", "remove", "Software\\k", "a"}).ExitCode, 2);
}

} // namespace
} // namespace ks
