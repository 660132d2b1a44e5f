#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/System.h"

namespace ks::test {

/// A TKSystem whose answers are plain fields; actions are recorded, not performed.
class FakeSystem : public TKSystem {
public:
    std::string FAppPath = "/opt/ksable/";
    std::string FTempDir = "/tmp/ksable-test/";
    std::string FHomeDir = "/home/ann";
    std::string FConfigDir = "/home/ann/.config/ksable/";
    std::string FLocaleId;
    std::vector<std::string> FTrashed;
    /// Paths whose move to the Trash fails with an access error.
    std::set<std::string> FTrashFails;
    /// Called after each successful move to the Trash.
    std::function<void(const std::string&)> FOnTrash;
    std::vector<std::string> FStarted;
    /// One call of StartProgram.
    struct TStart {
        std::string Program;
        std::vector<std::string> Arguments;
        std::string Folder;
        bool operator==(const TStart&) const = default;
    };
    std::vector<TStart> FStartedPrograms;
    std::string FClipboard;
    /// Program name -> the full name FindProgram gives; names not here are not installed.
    std::map<std::string, std::string> FPrograms;

    std::string AppPath() const override { return FAppPath; }
    std::string TempDir() const override { return FTempDir; }
    std::string WindowsDir() const override { return "/usr"; }
    std::string SystemDir() const override { return "/usr/bin"; }
    std::string ProgramFilesDir() const override { return "/opt"; }
    std::string CommonFilesDir() const override { return "/usr/share"; }
    std::string ShellFolder(std::string_view name) const override {
        if (name == "Desktop")
            return FHomeDir + "/Desktop";
        if (name == "Personal")
            return FHomeDir + "/Documents";
        if (name == "Programs")
            return FHomeDir + "/.local/share/applications";
        if (name == "Startup")
            return FHomeDir + "/.config/autostart";
        return {};
    }
    std::string HomeDir() const override { return FHomeDir; }
    std::string ConfigDir() const override { return FConfigDir; }
    std::string UserDataDir() const override { return FHomeDir + "/.local/share/ksable/"; }
    std::string LocaleId() const override { return FLocaleId; }
    std::string FileTypeName(std::string_view ext) const override {
        return ext == ".txt" ? "Plain text" : "";
    }
    std::string ContentType(std::string_view ext) const override { return ext == ".txt" ? "text/plain" : ""; }
    /// Everything below /media/usb is on a mount of its own.
    std::string DriveRoot(const std::string& path) const override {
        if (path.empty())
            return {};
        return path.rfind("/media/usb", 0) == 0 ? "/media/usb/" : "/";
    }
    std::optional<TVolumeInfo> VolumeInfo(const std::string&) const override { return std::nullopt; }
    std::vector<TDriveEntry> FDrives = {{"/", 3, ""}};
    std::vector<TDriveEntry> ListDrives() const override { return FDrives; }
    std::int64_t DiskSize(const std::string& path) const override { return path.empty() ? 0 : 1000; }
    std::int64_t DiskFree(const std::string& path) const override { return path.empty() ? 0 : 400; }
    Result<void> MoveToTrash(const std::string& path) override {
        if (FTrashFails.count(path) != 0)
            return TError{TErrorCode::ecAccess, 13, path, {}};
        FTrashed.push_back(path);
        if (FOnTrash)
            FOnTrash(path);
        return {};
    }
    Result<void> RunProgram(const std::string& file, const std::string& parameters,
                            const std::string&) override {
        FStarted.push_back(file + " " + parameters);
        return {};
    }
    Result<void> StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& folder) override {
        FStartedPrograms.push_back({program, arguments, folder});
        return {};
    }
    std::string FindProgram(const std::string& name) const override {
        const auto found = FPrograms.find(name);
        return found == FPrograms.end() ? std::string() : found->second;
    }
    std::string TerminalProgram() const override { return FindProgram("x-terminal-emulator"); }
    void CopyTextToClipboard(const std::string& text) override { FClipboard = text; }
    std::string GetClipboardText() override { return FClipboard; }
    Result<void> LogOff() override { return {}; }
    Result<void> CloseCdTray() override { return {}; }
};

} // namespace ks::test
