#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ks {

/// What a program that is waited for is started with.
struct TChildSpec {
    std::vector<std::string> Argv; ///< Argv[0] a full path, or a bare name looked up on PATH only
    std::string Folder;            ///< the working folder; empty: the current one
    std::string StdinFile;         ///< a file the program reads as standard input; empty: /dev/null
};

/// A program started by the program that watches it end: its output is collected (the last part
/// kept), it can be stopped, and it is never left behind. Destroying a running one stops it (the
/// whole process group: SIGTERM, SIGKILL after two seconds) and reaps it.
///
/// Thread: one thread at a time; `Stop` may be called from any thread.
class TKChildProcess {
public:
    virtual ~TKChildProcess() = default;
    /// Waits at most ms (0: only looks) for the program to end: its exit status then (128 + the
    /// signal number for a program a signal ended), nothing while it runs.
    virtual std::optional<int> Wait(int ms) = 0;
    /// Asks the program and everything it started to end (SIGTERM to its process group, SIGKILL
    /// two seconds later when it has not ended by then).
    virtual void Stop() = 0;
    /// The last lines of what the program wrote to its standard output and error (at most 16 KiB,
    /// cut at a line start), as written.
    virtual std::string OutputTail() const = 0;
};

} // namespace ks
