#include "platform/LinuxSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/LinuxPaths.h"

extern char** environ;

// Starting programs: directly with posix_spawn, never through a shell, never waited for.

namespace ks {

using namespace platform;

namespace {

bool LooksLikeUrl(const std::string& text) {
    if (text.compare(0, 7, "mailto:") == 0)
        return true;
    const std::size_t colon = text.find("://");
    if (colon == std::string::npos || colon == 0)
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
               c == '-' || c == '.';
    });
}

// Starts argv in folder, in a new session with default signal handling and an empty signal
// mask (the GUI may block or ignore signals the started program expects).
Result<pid_t> Spawn(const std::vector<std::string>& argv, const std::string& folder, bool searchPath) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
        ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
#else
        ::posix_spawn_file_actions_destroy(&actions);
        return TError{TErrorCode::ecUnsupported, 0, folder, "no working folder for started programs"};
#endif
    }
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes,
                               POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int rc = searchPath ? ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ)
                              : ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return ErrnoError(argv[0], rc);
    return pid;
}

// The program never waits for what it starts, but a child that ends must still be reaped. A
// detached thread waits for this one pid only, so SIGCHLD handling of other code (QProcess) is
// left alone.
void ReapInBackground(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// Runs a short system command and waits for its exit status at most timeoutMs.
Result<void> RunAndWait(const std::vector<std::string>& argv, int timeoutMs) {
    Result<pid_t> started = Spawn(argv, {}, true);
    if (!started)
        return started.error();
    const pid_t pid = *started;
    int status = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
#ifdef SYS_pidfd_open
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    const int pidFd = -1;
#endif
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        if (pidFd >= 0) {
            pollfd entry{pidFd, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) > 0)
                ended = ::waitpid(pid, &status, 0) == pid;
        } else {
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (pidFd >= 0)
        ::close(pidFd);
    if (!ended) {
        ReapInBackground(pid);
        return TError{TErrorCode::ecTimeout, 0, argv[0], "no answer"};
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {};
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return TError{TErrorCode::ecIo, 0, argv[0], "exited with status " + std::to_string(code)};
}

} // namespace

std::vector<std::string> SplitParameters(std::string_view text) {
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

Result<void> TKLinuxSystem::RunProgram(const std::string& file, const std::string& parameters,
                                       const std::string& folder) {
    if (file.empty())
        return ErrnoError(file, ENOENT);
    if (LooksLikeUrl(file))
        return StartProgram("xdg-open", {file}, folder);
    // A bare name is a command: it comes from PATH only, as a shell takes it, so a file planted in
    // the folder shown cannot stand in for a program the user meant.
    if (file.find('/') == std::string::npos)
        return StartProgram(file, SplitParameters(parameters), folder);
    const std::string workFolder = folder.empty() ? std::string() : StripSlash(folder);
    const std::string target =
        AbsolutePath(file[0] == '/' || workFolder.empty() ? file : JoinPath(workFolder, file));
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0)
        return ErrnoError(file, errno);
    if (IsExecutableFile(target))
        return StartProgram(target, SplitParameters(parameters), folder);
    return StartProgram("xdg-open", {target}, folder);
}

Result<void> TKLinuxSystem::StartProgram(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         const std::string& folder) {
    if (program.empty())
        return ErrnoError(program, ENOENT);
    const std::string workFolder = folder.empty() ? std::string() : StripSlash(folder);
    std::string target;
    if (program[0] == '/')
        target = program;
    else if (program.find('/') != std::string::npos)
        // The child changes to folder before it starts the program, so the path is made
        // absolute here, where it was checked.
        target = AbsolutePath(workFolder.empty() ? program : JoinPath(workFolder, program));
    else if (target = FindInPath(program); target.empty())
        return ErrnoError(program, ENOENT);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0)
        return ErrnoError(program, errno);
    if (!IsExecutableFile(target))
        return ErrnoError(program, EACCES);

    std::vector<std::string> argv;
    argv.reserve(arguments.size() + 1);
    argv.push_back(target);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Result<pid_t> started = Spawn(argv, workFolder, false);
    if (!started)
        return started.error();
    ReapInBackground(*started);
    return {};
}

std::string TKLinuxSystem::FindProgram(const std::string& name) const {
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    return FindInPath(name);
}

std::string TKLinuxSystem::TerminalProgram() const {
    if (std::string found = FindProgram("x-terminal-emulator"); !found.empty())
        return found;
    if (std::string found = FindProgram(GetEnv("TERMINAL")); !found.empty())
        return found;
    for (const char* name : {"gnome-terminal", "konsole", "xfce4-terminal", "xterm"})
        if (std::string found = FindProgram(name); !found.empty())
            return found;
    return {};
}

Result<void> TKLinuxSystem::LogOff() {
    const std::string session = GetEnv("XDG_SESSION_ID");
    if (session.empty())
        return TError{TErrorCode::ecUnsupported, 0, "loginctl", "no login session"};
    return RunAndWait({"loginctl", "terminate-session", session}, 10000);
}

Result<void> TKLinuxSystem::PowerOff() {
    return RunAndWait({"systemctl", "poweroff"}, 10000);
}

Result<void> TKLinuxSystem::CloseCdTray() {
    const std::string eject = FindInPath("eject");
    if (eject.empty())
        return TError{TErrorCode::ecUnsupported, 0, "eject", "eject is not installed"};
    return RunAndWait({eject, "-t"}, 30000);
}

} // namespace ks
