#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Child processes for tests: started without a shell, in a process group of their own, every
// wait bounded.

namespace ks::test {

/// Milliseconds left until deadline, 0 when it has passed.
int MsLeft(std::chrono::steady_clock::time_point deadline);

/// A child process in a process group of its own, so that everything it started goes with it.
/// Killed (the whole group) when the object goes away.
class TProcess {
public:
    TProcess() = default;
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    /// Starts argv[0] (a path or a name looked up on PATH) with the test's environment, the
    /// "NAME=value" entries of env put in place of those of the same name. Standard output and
    /// error are appended to logPath (or dropped when it is empty); childFd, when not -1, is
    /// handed to the child as descriptor targetFd. False when it cannot start.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& logPath, int childFd = -1, int targetFd = -1);
    bool Running() const { return FPid > 0; }
    pid_t Pid() const { return FPid; }
    /// Waits at most ms milliseconds for the process to end; its exit code (128 + signal when a
    /// signal ended it), or nothing when it still runs.
    std::optional<int> WaitExit(int ms);
    /// Kills the process group and reaps the process.
    void Kill();

private:
    pid_t FPid = -1;
    int FPidFd = -1;
};

/// Runs a command to its end (at most timeoutMs, then it is killed); its exit code (-1 when it
/// could not start or was killed) and standard output. The command reads input (at most 64 KiB,
/// what a pipe holds) on its standard input, then end of file.
struct TRunResult {
    int ExitCode = -1;
    std::string Out;
};
TRunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               int timeoutMs = 10000, const std::string& input = {});

/// True when a program of that name is on PATH.
bool OnPath(const std::string& program);

} // namespace ks::test
