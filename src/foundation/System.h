#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ChildProcess.h"
#include "foundation/FileSystem.h"
#include "foundation/Result.h"

namespace ks {

/// The drive type codes of volumes and drive entries (the `DriveType` fields, and the `Attr` of a
/// drive item in the panel).
enum TDriveType : int {
    dtUnknown = 0,
    dtLeftOut = 1, ///< not shown in the drive list
    dtRemovable = 2,
    dtFixed = 3,
    dtNetwork = 4,
    dtCdRom = 5,
    dtRamDisk = 6,
};

/// Volume details of a mounted file system, as the drive list and item information show them.
struct TVolumeInfo {
    std::string Label;  ///< up to 12 characters
    std::string Serial; ///< 8 upper-case hex digits of the file system UUID
    std::uint32_t MaxNameLength = 0;
    std::string FileSystem; ///< the file system type, up to 12 characters
    int DriveType = 0;      ///< a `TDriveType`
    std::uint32_t Flags = 0;
};

/// One mounted file system as the drive list shows it.
struct TDriveEntry {
    std::string Root;  ///< the mount root with a trailing "/"
    int DriveType = 0; ///< a `TDriveType` other than dtLeftOut
    std::string Label; ///< the volume label, empty when there is none
};

/// Desktop and system services: folders, volumes, the Trash, starting programs, the clipboard.
/// Implemented by the platform layer; tests install fakes. Thread: the GUI thread, except the
/// folder lookups, which are safe from any thread.
class TKSystem {
public:
    virtual ~TKSystem() = default;

    /// Folder of the program's data (skins/, lang/, pictures), with a trailing "/". Always an
    /// answer; the folder need not exist (a program started without its data).
    virtual std::string AppPath() const = 0;
    /// The user's private temporary folder (created 0700), absolute, with a trailing "/". Empty
    /// when no private folder can be made anywhere: nothing may then be written to a fixed name.
    virtual std::string TempDir() const = 0;
    /// The folders of the design's system paths ("/usr", "/usr/bin", "/opt", "/usr/share").
    virtual std::string WindowsDir() const = 0;
    virtual std::string SystemDir() const = 0;
    virtual std::string ProgramFilesDir() const = 0;
    virtual std::string CommonFilesDir() const = 0;
    /// "Desktop", "Personal", "Programs", "Startup" mapped to the XDG folders; empty otherwise.
    /// The folder need not exist.
    virtual std::string ShellFolder(std::string_view name) const = 0;
    /// The user's home folder without a trailing "/"; "/" when none is known.
    virtual std::string HomeDir() const = 0;
    /// Folder of the persistent settings store ($XDG_CONFIG_HOME/ksable/), trailing "/". Not
    /// created here: the store makes it when it first saves.
    virtual std::string ConfigDir() const = 0;
    /// Folder of packs the user installs ($XDG_DATA_HOME/ksable/), trailing "/"; need not exist.
    virtual std::string UserDataDir() const = 0;

    /// The Windows locale identifier of the user's language ("0000041B" for Slovak), empty
    /// when the language has none the program knows.
    virtual std::string LocaleId() const = 0;
    /// Description of a file type, by extension with its dot (".txt"); empty when unknown.
    virtual std::string FileTypeName(std::string_view ext) const = 0;
    /// Content (MIME) type of an extension with its dot; empty when unknown.
    virtual std::string ContentType(std::string_view ext) const = 0;

    /// The mount root holding path, with a trailing "/"; empty for an empty path, "/" when the
    /// mount table cannot be read.
    virtual std::string DriveRoot(const std::string& path) const = 0;
    /// The volume details of a mount root; nothing when the root cannot be looked at (missing,
    /// no permission). Parts that cannot be told (a label, a serial) stay empty.
    virtual std::optional<TVolumeInfo> VolumeInfo(const std::string& root) const = 0;
    /// The mounted file systems a user works with ("/" first, then by mount path); pseudo file
    /// systems are left out. Empty when the mount table cannot be read.
    virtual std::vector<TDriveEntry> ListDrives() const = 0;
    /// Total and available bytes of the file system holding path; 0 when unknown (an empty
    /// path, a path that cannot be looked at).
    virtual std::int64_t DiskSize(const std::string& path) const = 0;
    virtual std::int64_t DiskFree(const std::string& path) const = 0;

    /// Moves one file or folder to the freedesktop Trash, with the note that lets a file manager
    /// put it back. Fails, leaving the item where it is, with ecNotFound for a missing item,
    /// ecAccess when no trash folder can be used on the item's file system, and the error of the
    /// rename otherwise (the root and "." or ".." names are refused); the item is never copied.
    virtual Result<void> MoveToTrash(const std::string& path) = 0;
    /// Starts an executable directly, or opens anything else with the desktop's default
    /// application. Never waits for what it started. Fails with ecNotFound when file or folder
    /// does not exist (a bare name not on PATH included), and with the error of the start
    /// otherwise.
    virtual Result<void> RunProgram(const std::string& file, const std::string& parameters,
                                    const std::string& folder) = 0;
    /// Starts program with arguments, each of them one argv element exactly as given: never
    /// split, quoted or expanded, and nothing goes through a shell. program is a full path, a
    /// path with a "/" relative to folder, or a bare name looked up on PATH only (never in
    /// folder). The program runs in folder (the current folder when it is empty). Never waits for
    /// what it started. Fails when the program cannot be found, is not an executable file, or
    /// cannot be started.
    virtual Result<void> StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::string& folder) = 0;
    /// Starts a program that is watched until it ends (an archive manager), directly and never
    /// through a shell, with its output collected. Fails when the program cannot be found, is not
    /// an executable file, or cannot be started; ecUnsupported where programs cannot be watched.
    virtual Result<std::unique_ptr<TKChildProcess>> StartChild(const TChildSpec& spec);
    /// This process's id, for names no other running copy of the program makes. The default is 0,
    /// for systems without one. Safe from any thread.
    virtual int ProcessId() const;
    /// The full name of the program a bare name (no "/") starts: the first executable file of
    /// that name in the folders of PATH. Empty when PATH has none, or for a name with a "/" or an
    /// empty name. Safe from any thread.
    virtual std::string FindProgram(const std::string& name) const = 0;
    /// The terminal the command shell opens, as a full name: the desktop's chosen one
    /// (x-terminal-emulator), else the user's ($TERMINAL), else the first of the common ones on
    /// PATH. Empty when there is none. Safe from any thread.
    virtual std::string TerminalProgram() const = 0;
    /// Puts text on the system clipboard; does nothing where there is no clipboard.
    virtual void CopyTextToClipboard(const std::string& text) = 0;
    /// The text on the system clipboard; empty when it holds none or there is no clipboard.
    virtual std::string GetClipboardText() = 0;
    /// Ends the user's desktop session. Fails with ecUnsupported outside a login session, and
    /// with the session manager's error when it refuses; waits a bounded time for its answer.
    virtual Result<void> LogOff() = 0;
    /// Powers the machine off through the system's service manager. Fails with its error when it
    /// refuses; waits a bounded time for its answer. The default refuses with ecUnsupported.
    virtual Result<void> PowerOff();
    /// Closes the tray of the CD drive. Fails with ecUnsupported where the system has no tool for
    /// it, and with the tool's error otherwise; waits a bounded time for it.
    virtual Result<void> CloseCdTray() = 0;
    /// Gives the calling thread one of the five job priorities, 1 lowest to 5 highest (3 as
    /// every thread starts): its share of the processor and of the disks. A priority above the
    /// one the process started with may be refused (ecAccess) to an unprivileged user. The
    /// default refuses with ecUnsupported.
    virtual Result<void> SetThreadPriority(int priority);
    /// A one-way hash of a password with a fresh random salt, in the crypt(3) text form ("$y$..."
    /// yescrypt, else "$6$..." SHA-512), so a stored password never holds its text. Two hashes of
    /// the same password differ. Empty when no hash can be made: a password with a NUL character
    /// or longer than the hashing library takes, no hashing library (the default). Safe from any
    /// thread.
    virtual std::string HashPassword(std::string_view password) const;
    /// True when typed is the password stored was made from by `HashPassword`. False for anything
    /// else, a malformed or empty stored text included (the default is always false). The hashes
    /// are compared in constant time. Safe from any thread.
    virtual bool PasswordMatches(std::string_view typed, std::string_view stored) const;
    /// Makes the calling thread's character locale UTF-8 until the returned handle goes, so a
    /// library that converts names through the locale (UTF-16 names of archives) keeps every
    /// character; other threads see no change. Null when nothing was switched (the default).
    virtual std::shared_ptr<void> UseUtf8TextInThread();
};

/// The platform objects the process uses; installed once by the composition root (or a test)
/// before anything asks for them. The objects are not owned; null uninstalls one.
void SetPlatform(TKSystem* system, TKFileSystem* fileSystem);
/// The installed objects; abort when the one asked for is not installed.
TKSystem& System();
TKFileSystem& FileSystem();
/// True when both objects are installed.
bool HasPlatform();

} // namespace ks
