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

#include "support/Process.h"

namespace ks::e2e {

using test::OnPath;
using test::Run;
using test::TProcess;
using test::TRunResult;

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
    /// Presses the left button at a point given relative to the main window, moves the pointer
    /// by (dx, dy) in two steps and releases the button there.
    bool Drag(int x, int y, int dx, int dy);
    /// Runs xdotool with args on the program's display (pointer moves, clicks and drags at screen
    /// coordinates, for windows other than the main one).
    bool XDo(const std::vector<std::string>& args);
    /// The main window's title as the X server holds it, which is what a task bar shows.
    std::string Title();
    /// Whether the main window is mapped and viewable on the display.
    bool Viewable();
    /// Clicks the middle of a control whose geometry (relative to the main window) the state
    /// holds as an object {"X","Y","Width","Height"}.
    bool ClickControl(const char* name);
    /// Saves a screenshot of the main window, or of the whole screen cut to what is not the
    /// black root window when whole is set, as <shot folder>/<name>.png; the file's path, or
    /// empty on failure.
    std::string Shot(const std::string& name, bool whole = false);
    /// A screenshot of area of the screen, as <shot folder>/<name>.png.
    std::string Shot(const std::string& name, const QRect& area);

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

/// What this machine lacks to run the end-to-end tests (Xvfb, xdotool), or empty.
std::string MissingTools();
/// Whether the end-to-end tests must run (KS_REQUIRE_E2E=1, which the project's test command
/// sets): a missing tool then fails them instead of skipping them.
bool E2ERequired();

/// The geometry object {"X","Y","Width","Height"} of a state entry as a rectangle.
QRect RectOf(const QJsonObject& object);
/// A JSON array of strings as a vector.
std::vector<std::string> Strings(const QJsonValue& array);
/// The folder of the screenshots.
std::string ShotFolder();

} // namespace ks::e2e
