#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string_view>

extern char** environ;

namespace ks::test {

namespace {

using TClock = std::chrono::steady_clock;

std::string_view NameOf(std::string_view entry) {
    return entry.substr(0, entry.find('=') + 1);
}

// The test's environment with the entries of own put in place of those of the same name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& own) {
    std::vector<std::string> entries = own;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool replaced = false;
        for (const std::string& mine : own)
            replaced = replaced || NameOf(mine) == NameOf(*entry);
        if (!replaced)
            entries.emplace_back(*entry);
    }
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Spawns in a new process group with default signal handling, stdin from stdinFd or else
// from /dev/null.
pid_t Spawn(std::vector<std::string> argv, const std::vector<std::string>& env,
            posix_spawn_file_actions_t& actions, int stdinFd = -1) {
    std::vector<std::string> entries = MergedEnvironment(env);
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> envp = Pointers(entries);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    return spawned == 0 ? pid : -1;
}

} // namespace

int MsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// --- TProcess --------------------------------------------------------------------------------------

TProcess::~TProcess() {
    Kill();
}

bool TProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& logPath, int childFd, int targetFd) {
    Kill();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const char* log = logPath.empty() ? "/dev/null" : logPath.c_str();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (childFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, childFd, targetFd);
    FPid = Spawn(argv, env, actions);
    posix_spawn_file_actions_destroy(&actions);
    if (FPid <= 0) {
        FPid = -1;
        return false;
    }
    FPidFd = static_cast<int>(::syscall(SYS_pidfd_open, FPid, 0));
    return true;
}

std::optional<int> TProcess::WaitExit(int ms) {
    if (FPid <= 0)
        return std::nullopt;
    const auto deadline = TClock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        if (::waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;
            if (FPidFd >= 0)
                ::close(FPidFd);
            FPidFd = -1;
            return ExitCodeOf(status);
        }
        const int left = MsLeft(deadline);
        if (left == 0)
            return std::nullopt;
        // The pid descriptor becomes readable when the process ends; without one, look again
        // every 10 ms.
        pollfd fd{FPidFd, POLLIN, 0};
        ::poll(FPidFd >= 0 ? &fd : nullptr, FPidFd >= 0 ? 1 : 0, FPidFd >= 0 ? left : std::min(left, 10));
    }
}

void TProcess::Kill() {
    if (FPid <= 0)
        return;
    ::kill(-FPid, SIGKILL);
    ::kill(FPid, SIGKILL);
    int status = 0;
    while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
    }
    FPid = -1;
    if (FPidFd >= 0)
        ::close(FPidFd);
    FPidFd = -1;
}

// --- Run ---------------------------------------------------------------------------------------------

TRunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeoutMs,
               const std::string& input) {
    TRunResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    // The input is written whole before the start, so the child never waits on the test.
    int inputFds[2] = {-1, -1};
    if (!input.empty()) {
        if (input.size() > 65536 || ::pipe2(inputFds, O_CLOEXEC) != 0 ||
            ::write(inputFds[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
            for (const int fd : {pipeFds[0], pipeFds[1], inputFds[0], inputFds[1]})
                if (fd >= 0)
                    ::close(fd);
            return result;
        }
        ::close(inputFds[1]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const pid_t pid = Spawn(argv, env, actions, inputFds[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (inputFds[0] >= 0)
        ::close(inputFds[0]);
    if (pid <= 0) {
        ::close(pipeFds[0]);
        return result;
    }
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    bool killed = false;
    char buffer[4096];
    for (;;) {
        pollfd fd{pipeFds[0], POLLIN, 0};
        const int left = MsLeft(deadline);
        if (left == 0 || ::poll(&fd, 1, left) == 0) {
            ::kill(-pid, SIGKILL);
            killed = true;
            break;
        }
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        result.Out.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    // Output closed: the child is ending; a child that closed it early is ended by the deadline.
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (MsLeft(deadline) == 0 && !killed) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
        ::poll(nullptr, 0, 5);
    }
    result.ExitCode = killed ? -1 : ExitCodeOf(status);
    return result;
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
    return false;
}

} // namespace ks::test
