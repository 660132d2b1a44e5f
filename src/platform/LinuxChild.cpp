#include "platform/LinuxSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include <fcntl.h>
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

// Watched programs: started with posix_spawn in a session of their own, their standard output
// and error collected through one pipe, waited for through a pidfd.

namespace ks {

using namespace platform;

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::size_t TailLimit = 16 * 1024;
// How long a program stopped with SIGTERM may take before its group gets SIGKILL.
constexpr auto KillGrace = std::chrono::seconds(2);
// How long the destructor lets a running program end on SIGTERM before it kills it: short, since
// the caller is blocked meanwhile.
constexpr auto DestroyGrace = std::chrono::milliseconds(200);
// The waitpid polling step where the kernel gives no pidfd.
constexpr int PollStepMs = 10;

// An fd closed when it goes out of scope.
struct TFd {
    int Fd = -1;
    TFd() = default;
    explicit TFd(int fd) : Fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Reset(); }
    void Reset() {
        if (Fd >= 0)
            ::close(Fd);
        Fd = -1;
    }
    int Release() { return std::exchange(Fd, -1); }
};

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    return -1;
#endif
}

int ExitCode(int status) {
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

class TLinuxChild : public TKChildProcess {
public:
    TLinuxChild(pid_t pid, int pidFd, int outFd) : FPid(pid), FPidFd(pidFd), FOutFd(outFd) {}

    ~TLinuxChild() override {
        if (!Reaped()) {
            if (!Stopping()) {
                Signal(SIGTERM);
                WaitFor(DestroyGrace);
            }
            if (!Reaped()) {
                Signal(SIGKILL);
                int status = 0;
                std::lock_guard<std::mutex> lock(FLock);
                while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
                }
                FReaped = true;
            }
        }
        if (FPidFd >= 0)
            ::close(FPidFd);
        if (FOutFd >= 0)
            ::close(FOutFd);
    }

    std::optional<int> Wait(int ms) override {
        if (FStatus)
            return FStatus;
        WaitFor(std::chrono::milliseconds(std::max(ms, 0)));
        return FStatus;
    }

    void Stop() override {
        std::lock_guard<std::mutex> lock(FLock);
        if (FReaped || FStopping)
            return;
        FStopping = true;
        FKillAt = TClock::now() + KillGrace;
        // The program is the leader of its own group: the signal reaches what it started, too.
        ::kill(-FPid, SIGTERM);
    }

    std::string OutputTail() const override { return FTail; }

private:
    bool Stopping() {
        std::lock_guard<std::mutex> lock(FLock);
        return FStopping;
    }

    bool Reaped() {
        std::lock_guard<std::mutex> lock(FLock);
        return FReaped;
    }

    // Sends sig to the program's group while the program is not reaped: after the reap its pid
    // may name someone else's group.
    void Signal(int sig) {
        std::lock_guard<std::mutex> lock(FLock);
        if (!FReaped)
            ::kill(-FPid, sig);
    }

    bool TryReap() {
        std::lock_guard<std::mutex> lock(FLock);
        if (FReaped)
            return true;
        int status = 0;
        pid_t got = 0;
        do
            got = ::waitpid(FPid, &status, WNOHANG);
        while (got < 0 && errno == EINTR);
        if (got == FPid) {
            FReaped = true;
            FStatus = ExitCode(status);
        } else if (got < 0) {
            // Someone else reaped it (a SIGCHLD handler that waits for any child): it ended,
            // how is lost.
            FReaped = true;
            FStatus = 128;
        }
        return FReaped;
    }

    void Escalate() {
        bool kill = false;
        {
            std::lock_guard<std::mutex> lock(FLock);
            kill = FStopping && !FKilled && !FReaped && TClock::now() >= FKillAt;
            if (kill)
                FKilled = true;
        }
        if (kill)
            Signal(SIGKILL);
    }

    void Drain() {
        if (FOutFd < 0)
            return;
        char buffer[16384];
        for (;;) {
            const ssize_t got = ::read(FOutFd, buffer, sizeof buffer);
            if (got > 0) {
                Keep(std::string_view(buffer, static_cast<std::size_t>(got)));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                // Every writer closed its end (or the pipe broke): nothing more comes.
                ::close(FOutFd);
                FOutFd = -1;
            }
            return;
        }
    }

    // Keeps at most TailLimit bytes, starting at a line start; a last line longer than that is
    // kept cut rather than dropped.
    void Keep(std::string_view data) {
        FTail.append(data);
        if (FTail.size() <= TailLimit)
            return;
        const std::size_t start = FTail.size() - TailLimit;
        const std::size_t lineEnd = FTail.find('\n', start - 1);
        const std::size_t cut =
            lineEnd == std::string::npos || lineEnd + 1 >= FTail.size() ? start : lineEnd + 1;
        FTail.erase(0, cut);
    }

    void WaitFor(std::chrono::milliseconds timeout) {
        const auto deadline = TClock::now() + timeout;
        for (;;) {
            Drain();
            Escalate();
            if (TryReap()) {
                // What the program wrote before it ended is in the pipe already; a program it
                // left running may keep the pipe open, so this takes only what is there.
                Drain();
                if (FOutFd >= 0) {
                    ::close(FOutFd);
                    FOutFd = -1;
                }
                return;
            }
            auto now = TClock::now();
            if (now >= deadline)
                return;
            auto until = deadline;
            {
                std::lock_guard<std::mutex> lock(FLock);
                if (FStopping && !FKilled)
                    until = std::min(until, FKillAt);
            }
            int waitMs = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(std::max(until - now, TClock::duration::zero()))
                    .count());
            pollfd entries[2];
            nfds_t count = 0;
            if (FPidFd >= 0)
                entries[count++] = pollfd{FPidFd, POLLIN, 0};
            else
                waitMs = std::min(waitMs, PollStepMs);
            if (FOutFd >= 0)
                entries[count++] = pollfd{FOutFd, POLLIN, 0};
            if (::poll(entries, count, waitMs) < 0 && errno != EINTR)
                std::this_thread::sleep_for(std::chrono::milliseconds(PollStepMs));
        }
    }

    const pid_t FPid;
    int FPidFd;
    int FOutFd;
    std::string FTail;
    std::optional<int> FStatus;
    // Guards the reap against a Stop from another thread, so no signal goes to a reused pid.
    mutable std::mutex FLock;
    bool FReaped = false;
    bool FStopping = false;
    bool FKilled = false;
    TClock::time_point FKillAt{};
};

// The program's full name by the rules of StartProgram: a full path as given, a path with a "/"
// inside folder, a bare name from PATH only.
Result<std::string> ResolveProgram(const std::string& program, const std::string& folder) {
    if (program.empty())
        return ErrnoError(program, ENOENT);
    std::string target;
    if (program[0] == '/')
        target = program;
    else if (program.find('/') != std::string::npos)
        target = AbsolutePath(folder.empty() ? program : JoinPath(folder, program));
    else if (target = FindInPath(program); target.empty())
        return ErrnoError(program, ENOENT);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0)
        return ErrnoError(program, errno);
    if (!IsExecutableFile(target))
        return ErrnoError(program, EACCES);
    return target;
}

} // namespace

int TKLinuxSystem::ProcessId() const {
    return static_cast<int>(::getpid());
}

Result<std::unique_ptr<TKChildProcess>> TKLinuxSystem::StartChild(const TChildSpec& spec) {
    if (spec.Argv.empty())
        return ErrnoError({}, ENOENT);
    const std::string folder = spec.Folder.empty() ? std::string() : StripSlash(spec.Folder);
    Result<std::string> target = ResolveProgram(spec.Argv[0], folder);
    if (!target)
        return target.error();
#if !(defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29)))
    if (!folder.empty())
        return TError{TErrorCode::ecUnsupported, 0, folder, "no working folder for started programs"};
#endif

    TFd input(::open(spec.StdinFile.empty() ? "/dev/null" : spec.StdinFile.c_str(),
                     O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (input.Fd < 0)
        return ErrnoError(spec.StdinFile.empty() ? "/dev/null" : spec.StdinFile, errno);
    // The program reads its input blocking, as programs expect; the open itself did not block
    // (a FIFO named as input).
    ::fcntl(input.Fd, F_SETFL, ::fcntl(input.Fd, F_GETFL) & ~O_NONBLOCK);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return ErrnoError(spec.Argv[0], errno);
    TFd readEnd(pipeFds[0]);
    TFd writeEnd(pipeFds[1]);
    ::fcntl(readEnd.Fd, F_SETFL, ::fcntl(readEnd.Fd, F_GETFL) | O_NONBLOCK);

    std::vector<char*> args;
    args.push_back(const_cast<char*>(target->c_str()));
    for (std::size_t i = 1; i < spec.Argv.size(); ++i)
        args.push_back(const_cast<char*>(spec.Argv[i].c_str()));
    args.push_back(nullptr);

    // dup2 clears close-on-exec on the copies only; every other fd of this process stays closed
    // in the program.
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, input.Fd, 0);
    ::posix_spawn_file_actions_adddup2(&actions, writeEnd.Fd, 1);
    ::posix_spawn_file_actions_adddup2(&actions, writeEnd.Fd, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
    if (!folder.empty())
        ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
#endif
    // A session of its own makes the program the leader of a process group that Stop can signal
    // whole; the GUI may block or ignore signals the program expects.
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
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return ErrnoError(rc == ENOENT && !folder.empty() ? folder : spec.Argv[0], rc);
    writeEnd.Reset();
    input.Reset();
    const int pidFd = OpenPidFd(pid);
    return std::unique_ptr<TKChildProcess>(std::make_unique<TLinuxChild>(pid, pidFd, readEnd.Release()));
}

} // namespace ks
