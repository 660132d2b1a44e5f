#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>
#include <QRect>
#include <QString>

namespace ks::e2e {

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
/// could not start or was killed) and standard output.
struct TRunResult {
    int ExitCode = -1;
    std::string Out;
};
TRunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               int timeoutMs = 10000);

/// True when a program of that name is on PATH.
bool OnPath(const std::string& program);

/// A virtual X display (Xvfb, 1280x1024x24, no TCP) on the first free display number.
class TXServer {
public:
    /// Starts the server and waits (bounded) until it accepts clients; see `Display`.
    TXServer();
    /// ":N", or empty when the server did not start.
    const std::string& Display() const { return FDisplay; }

private:
    TProcess FServer;
    std::string FDisplay;
};

/// The program under test in a home folder of its own: the XDG folders inside that home, the
/// state file the program writes (KSABLE_STATE_FILE) and its log.
class TKsable {
public:
    /// home must exist; the program's folders are made inside it.
    TKsable(const TXServer& server, std::string home);
    ~TKsable();
    TKsable(const TKsable&) = delete;
    TKsable& operator=(const TKsable&) = delete;

    /// The settings file the program reads ($XDG_CONFIG_HOME/ksable/registry).
    std::string RegistryPath() const;
    /// Writes one value to the settings file (the program must not be running).
    void SetSetting(const std::string& key, const std::string& name, const std::string& value) const;
    /// A value of the settings file as it is now.
    std::optional<std::string> Setting(const std::string& key, const std::string& name) const;

    /// Starts the program (extra "NAME=value" entries are added to its environment) and waits
    /// until it is ready: both panels painted once. False with a reason in `Failure` otherwise.
    bool Start(const std::vector<std::string>& env = {});
    /// Waits at most ms for the program to end; its exit code, or nothing.
    std::optional<int> WaitExit(int ms = 15000);

    /// The last state read from the state file.
    const QJsonObject& State() const { return FState; }
    QJsonObject Panel(const char* name) const { return FState.value(name).toObject(); }
    /// Waits at most ms until predicate holds for the program's state; false (with the last
    /// state and what was waited for in `Failure`) when it does not, or when the program ended.
    bool WaitFor(const std::string& what, const std::function<bool(const QJsonObject&)>& predicate,
                 int ms = 15000);

    /// Gives the main window the input focus and sends keys (xdotool key names, "ctrl+F1").
    bool Keys(const std::vector<std::string>& keys);
    /// Clicks the left button at a point given relative to the main window.
    bool Click(int x, int y);
    /// Clicks the middle of a control whose geometry (relative to the main window) the state
    /// holds as an object {"X","Y","Width","Height"}.
    bool ClickControl(const char* name);
    /// Saves a screenshot of the main window, or of the whole screen cut to what is not the
    /// black root window when whole is set, as <shot folder>/<name>.png; the file's path, or
    /// empty on failure.
    std::string Shot(const std::string& name, bool whole = false);

    /// What went wrong in the last failed call, with the program's last state.
    const std::string& Failure() const { return FFailure; }
    const std::string& LogPath() const { return FLogPath; }

private:
    bool ReadState();
    bool FocusTarget();
    std::vector<std::string> XEnv() const;
    std::string WinId() const;

    const TXServer& FServer;
    std::string FHome;
    std::string FStatePath;
    std::string FLogPath;
    TProcess FProcess;
    QJsonObject FState;
    std::string FFailure;
    int FInotify = -1;
};

/// The geometry object {"X","Y","Width","Height"} of a state entry as a rectangle.
QRect RectOf(const QJsonObject& object);
/// A JSON array of strings as a vector.
std::vector<std::string> Strings(const QJsonValue& array);
/// The folder of the screenshots.
std::string ShotFolder();

} // namespace ks::e2e
