#include "e2e/Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "foundation/RegistryStore.h"

namespace ks::e2e {

namespace {

using TClock = std::chrono::steady_clock;

using test::MsLeft;

std::string CurrentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info == nullptr)
        return "e2e";
    return std::string(info->test_suite_name()) + "." + info->name();
}

std::string Tail(const std::string& path, std::size_t bytes) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > bytes ? all.substr(all.size() - bytes) : all;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

// --- TXServer ----------------------------------------------------------------------------------------

TXServer::TXServer() {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    // Xvfb writes its display number to this descriptor once it accepts clients.
    constexpr int DisplayFd = 9;
    const bool started = FServer.Start({"Xvfb", "-displayfd", std::to_string(DisplayFd), "-nolisten", "tcp",
                                        "-screen", "0", "1280x1024x24", "-br", "-noreset"},
                                       {}, "", pipeFds[1], DisplayFd);
    ::close(pipeFds[1]);
    std::string number;
    const auto deadline = TClock::now() + std::chrono::seconds(15);
    while (started) {
        pollfd fd{pipeFds[0], POLLIN, 0};
        const int left = MsLeft(deadline);
        if (left == 0 || ::poll(&fd, 1, left) <= 0)
            break;
        char c = 0;
        if (::read(pipeFds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    ::close(pipeFds[0]);
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos)
        FDisplay = ":" + number;
    else
        FServer.Kill();
}

// --- TKsable -----------------------------------------------------------------------------------------

TKsable::TKsable(const TXServer& server, std::string home) : FServer(server), FHome(std::move(home)) {
    std::filesystem::create_directories(FHome + "/.config/ksable");
    std::filesystem::create_directories(FHome + "/.local/share");
    std::filesystem::create_directories(FHome + "/.cache");
    std::filesystem::create_directories(FHome + "/run");
    ::chmod((FHome + "/run").c_str(), 0700);
    std::filesystem::create_directories(FHome + "/state");
    FStatePath = FHome + "/state/state.json";
    std::filesystem::create_directories(ShotFolder());
    FLogPath = ShotFolder() + "/" + CurrentTestName() + ".log";
    std::filesystem::remove(FLogPath);
    FInotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (FInotify >= 0)
        ::inotify_add_watch(FInotify, (FHome + "/state").c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
}

TKsable::~TKsable() {
    FProcess.Kill();
    if (FInotify >= 0)
        ::close(FInotify);
}

std::string TKsable::RegistryPath() const {
    return FHome + "/.config/ksable/registry";
}

void TKsable::SetSetting(const std::string& key, const std::string& name, const std::string& value) const {
    TKRegistryStore store(RegistryPath());
    (void)store.Load();
    store.Write(key, name, value);
    (void)store.Flush();
}

std::optional<std::string> TKsable::Setting(const std::string& key, const std::string& name) const {
    TKRegistryStore store(RegistryPath());
    if (!store.Load())
        return std::nullopt;
    return store.Read(key, name);
}

std::vector<std::string> TKsable::XEnv() const {
    return {"DISPLAY=" + FServer.Display(), "QT_QPA_PLATFORM=xcb",
            "WAYLAND_DISPLAY=", "XAUTHORITY=", "XDG_RUNTIME_DIR=" + FHome + "/run"};
}

bool TKsable::Start(const std::vector<std::string>& env) {
    FState = {};
    std::filesystem::remove(FStatePath);
    std::vector<std::string> all = XEnv();
    all.insert(all.end(), {"HOME=" + FHome, "XDG_CONFIG_HOME=" + FHome + "/.config",
                           "XDG_DATA_HOME=" + FHome + "/.local/share", "XDG_CACHE_HOME=" + FHome + "/.cache",
                           "KSABLE_STATE_FILE=" + FStatePath});
    all.insert(all.end(), env.begin(), env.end());
    if (!FProcess.Start({KS_BIN_DIR "/ksable"}, all, FLogPath)) {
        FFailure = "ksable did not start";
        return false;
    }
    return WaitFor("the program ready", [](const QJsonObject& s) { return s.value("Ready").toBool(); });
}

std::optional<int> TKsable::WaitExit(int ms) {
    return FProcess.WaitExit(ms);
}

bool TKsable::ReadState() {
    QFile file(QString::fromStdString(FStatePath));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return false;
    FState = document.object();
    return true;
}

bool TKsable::WaitFor(const std::string& what, const std::function<bool(const QJsonObject&)>& predicate,
                      int ms) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (ReadState() && predicate(FState))
            return true;
        if (const std::optional<int> code = FProcess.WaitExit(0)) {
            FFailure = "waiting for " + what + ": ksable ended with code " + std::to_string(*code);
            break;
        }
        const int left = MsLeft(deadline);
        if (left == 0) {
            FFailure = "waiting for " + what + ": not within " + std::to_string(ms) + " ms";
            break;
        }
        // The state file is replaced by a rename; the 100 ms cap also covers a missed event.
        pollfd fd{FInotify, POLLIN, 0};
        if (::poll(FInotify >= 0 ? &fd : nullptr, FInotify >= 0 ? 1 : 0, std::min(left, 100)) > 0) {
            char events[4096];
            while (::read(FInotify, events, sizeof events) > 0) {
            }
        }
    }
    FFailure += "\nlast state: " + QJsonDocument(FState).toJson(QJsonDocument::Compact).toStdString() +
                "\nprogram log (" + FLogPath + "), last lines:\n" + Tail(FLogPath, 2000);
    return false;
}

std::string TKsable::WinId() const {
    return std::to_string(static_cast<long long>(FState.value("WinId").toDouble()));
}

bool TKsable::FocusTarget() {
    const std::string main = WinId();
    std::string target = main;
    // No window manager runs. Qt focuses a dialog it opens itself (it sets the input focus when
    // no manager handles activation); when the focus is not on another window of the program,
    // the last visible one that is not the main window gets it.
    if (!FState.value("Dialog").toString().isEmpty() || FState.value("MenuOpen").toBool()) {
        const std::string focused = Trimmed(Run({"xdotool", "getwindowfocus"}, XEnv()).Out);
        if (!focused.empty() && focused != main)
            return true;
        std::stringstream windows(
            Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(FProcess.Pid())}, XEnv()).Out);
        for (std::string line; std::getline(windows, line);)
            if (!Trimmed(line).empty() && Trimmed(line) != main)
                target = Trimmed(line);
    }
    if (Run({"xdotool", "windowfocus", "--sync", target}, XEnv()).ExitCode != 0) {
        FFailure = "xdotool could not focus window " + target;
        return false;
    }
    return true;
}

bool TKsable::Keys(const std::vector<std::string>& keys) {
    if (!FocusTarget())
        return false;
    std::vector<std::string> argv = {"xdotool", "key", "--delay", "20"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    if (Run(argv, XEnv()).ExitCode != 0) {
        FFailure = "xdotool key failed";
        return false;
    }
    return true;
}

bool TKsable::Click(int x, int y) {
    const int globalX = FState.value("X").toInt() + x;
    const int globalY = FState.value("Y").toInt() + y;
    if (Run({"xdotool", "mousemove", "--sync", std::to_string(globalX), std::to_string(globalY), "click",
             "1"},
            XEnv())
            .ExitCode != 0) {
        FFailure = "xdotool click failed";
        return false;
    }
    return true;
}

bool TKsable::Drag(int x, int y, int dx, int dy) {
    const int globalX = FState.value("X").toInt() + x;
    const int globalY = FState.value("Y").toInt() + y;
    if (Run({"xdotool", "mousemove", "--sync", std::to_string(globalX), std::to_string(globalY), "mousedown",
             "1", "mousemove", "--sync", std::to_string(globalX + dx / 2), std::to_string(globalY + dy / 2),
             "mousemove", "--sync", std::to_string(globalX + dx), std::to_string(globalY + dy), "mouseup",
             "1"},
            XEnv())
            .ExitCode != 0) {
        FFailure = "xdotool drag failed";
        return false;
    }
    return true;
}

bool TKsable::XDo(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    if (Run(argv, XEnv()).ExitCode != 0) {
        FFailure = "xdotool failed";
        return false;
    }
    return true;
}

std::string TKsable::Title() {
    return Trimmed(Run({"xdotool", "getwindowname", WinId()}, XEnv()).Out);
}

bool TKsable::Viewable() {
    std::stringstream windows(
        Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(FProcess.Pid())}, XEnv()).Out);
    for (std::string line; std::getline(windows, line);)
        if (Trimmed(line) == WinId())
            return true;
    return false;
}

bool TKsable::ClickControl(const char* name) {
    const QRect rect = RectOf(FState.value(name).toObject());
    if (rect.isEmpty()) {
        FFailure = std::string("the state holds no geometry of ") + name;
        return false;
    }
    return Click(rect.center().x(), rect.center().y());
}

std::string TKsable::Shot(const std::string& name, const QRect& area) {
    const std::string path = ShotFolder() + "/" + name + ".png";
    if (Run({KS_BIN_DIR "/ks-e2e-shot", path, std::to_string(area.x()), std::to_string(area.y()),
             std::to_string(area.width()), std::to_string(area.height())},
            XEnv(), 15000)
            .ExitCode != 0) {
        FFailure = "ks-e2e-shot failed for " + path;
        return {};
    }
    return path;
}

std::string TKsable::Shot(const std::string& name, bool whole) {
    const std::string path = ShotFolder() + "/" + name + ".png";
    std::vector<std::string> argv = {KS_BIN_DIR "/ks-e2e-shot", path};
    if (!whole) {
        for (const char* key : {"X", "Y", "Width", "Height"})
            argv.push_back(std::to_string(FState.value(key).toInt()));
    }
    if (Run(argv, XEnv(), 15000).ExitCode != 0) {
        FFailure = "ks-e2e-shot failed for " + path;
        return {};
    }
    return path;
}

// --- helpers -----------------------------------------------------------------------------------------

std::string MissingTools() {
    std::string missing;
    for (const char* tool : {"Xvfb", "xdotool"})
        if (!OnPath(tool))
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    return missing.empty() ? missing : "the end-to-end tests need " + missing + " on PATH";
}

bool E2ERequired() {
    const char* required = std::getenv("KS_REQUIRE_E2E");
    return required != nullptr && std::string_view(required) == "1";
}

QRect RectOf(const QJsonObject& object) {
    return {object.value("X").toInt(), object.value("Y").toInt(), object.value("Width").toInt(),
            object.value("Height").toInt()};
}

std::vector<std::string> Strings(const QJsonValue& array) {
    std::vector<std::string> texts;
    for (const QJsonValue& value : array.toArray())
        texts.push_back(value.toString().toStdString());
    return texts;
}

std::string ShotFolder() {
    return KS_E2E_SHOT_DIR;
}

} // namespace ks::e2e
