#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/System.h"

namespace ks {

/// One line of /proc/self/mountinfo.
struct TMountEntry {
    std::string Root;   ///< mount point, unescaped, without a trailing "/" (except "/")
    std::string FsType; ///< "ext4", "tmpfs", "fuse.sshfs", ...
    std::string Source; ///< the mount source ("/dev/sda1", "server:/export", "tmpfs")
    unsigned Major = 0; ///< st_dev of the mounted file system
    unsigned Minor = 0;
};

/// Parses the text of /proc/self/mountinfo (octal escapes such as \040 decoded). Lines that
/// do not have the form of a mount line are skipped.
std::vector<TMountEntry> ParseMountTable(std::string_view text);
/// The mounts of this process in the order of the mount table (a later mount on the same point
/// hides an earlier one). Empty when the table cannot be read.
std::vector<TMountEntry> ReadMountTable();
/// The index of the mount whose root is the longest one holding path (a full path without a
/// trailing "/"); the later of two equal roots wins, as it hides the earlier one. -1 when none
/// does.
int FindMount(const std::vector<TMountEntry>& mounts, const std::string& path);
/// The drive type code of a mount: 1 left out (pseudo file systems), 2 removable, 3 fixed,
/// 4 network, 5 CD-ROM, 6 RAM disk. Reads /sys for the removable test.
int DriveTypeOf(const TMountEntry& mount);
/// Splits a parameter text into words as a POSIX shell would (blanks separate words; single
/// quotes keep everything; double quotes keep everything but \", \\, \$ and \`; a backslash
/// outside quotes keeps the next character), without expanding anything. An unterminated quote
/// runs to the end of the text.
std::vector<std::string> SplitParameters(std::string_view text);

/// The Linux desktop services, one file each: the program's and the XDG folders
/// (LinuxFolders.cpp), the mount table and volumes (LinuxMounts.cpp), the freedesktop Trash
/// (LinuxTrash.cpp), the shared MIME database, the locale and the clipboard (LinuxDesktop.cpp),
/// posix_spawn for starting programs and the PATH lookup (LinuxLaunch.cpp), watched programs
/// (LinuxChild.cpp), password hashing (LinuxPassword.cpp).
///
/// The clipboard needs a QGuiApplication, which this library does not link: the composition
/// root installs the two clipboard functions with `SetClipboard`; without them copying does
/// nothing and reading gives the empty string.
///
/// Thread: the folder, MIME and volume lookups are safe from any thread; the rest belongs to the
/// GUI thread.
class TKLinuxSystem : public TKSystem {
public:
    using TClipboardSetter = std::function<void(const std::string&)>;
    using TClipboardGetter = std::function<std::string()>;

    /// The data folder: $KSABLE_DATA_DIR when set; else the executable's folder when it holds
    /// "lang/" or "skins/" (a build tree or a portable copy); else <prefix>/share/ksable/.
    std::string AppPath() const override;
    /// $XDG_RUNTIME_DIR/ksable/, else ($TMPDIR when absolute, then /tmp)/ksable-<uid>/; created
    /// 0700 and used only when it is a real folder (not a symlink) owned by the user, its mode
    /// forced to 0700. When another user holds that name (a folder of theirs, a symlink, anything
    /// that cannot be made private), a new folder ksable-<uid>-XXXXXX is made there with mkdtemp.
    /// The folder found is kept for the life of this object and checked again on every call; it
    /// is looked for anew only when it stops being private (removed, replaced). Always absolute;
    /// empty only when no private folder can be created anywhere. Safe from any thread.
    std::string TempDir() const override;
    std::string WindowsDir() const override;
    std::string SystemDir() const override;
    std::string ProgramFilesDir() const override;
    std::string CommonFilesDir() const override;
    /// The XDG folder without a trailing "/".
    std::string ShellFolder(std::string_view name) const override;
    /// $HOME (else the password database), without a trailing "/".
    std::string HomeDir() const override;
    std::string ConfigDir() const override;
    std::string UserDataDir() const override;

    std::string LocaleId() const override;
    std::string FileTypeName(std::string_view ext) const override;
    std::string ContentType(std::string_view ext) const override;

    std::string DriveRoot(const std::string& path) const override;
    std::optional<TVolumeInfo> VolumeInfo(const std::string& root) const override;
    std::vector<TDriveEntry> ListDrives() const override;
    std::int64_t DiskSize(const std::string& path) const override;
    std::int64_t DiskFree(const std::string& path) const override;

    /// The home trash for items on the file system of $XDG_DATA_HOME; otherwise
    /// $topdir/.Trash/$uid (when .Trash is a sticky real folder) or $topdir/.Trash-$uid. The
    /// item is renamed, never copied, so an item that cannot be renamed into a trash on its own
    /// file system stays where it is and the result is an error. The note's Path is the full
    /// name in the home trash and the name below the top directory in the others.
    Result<void> MoveToTrash(const std::string& path) override;
    /// A bare name (no "/") is a command looked up on PATH only, never in folder, and is an error
    /// when PATH does not have it. A name with a "/" names that file, a relative one inside
    /// folder: an executable regular file is started, anything else (a document, a folder) is
    /// handed to xdg-open, as are URLs. Executables get parameters split by `SplitParameters`.
    /// Everything runs in folder, in a session of its own.
    Result<void> RunProgram(const std::string& file, const std::string& parameters,
                            const std::string& folder) override;
    /// Spawns the program directly with posix_spawn (see `TKSystem::StartProgram`). PATH entries
    /// that are not absolute are skipped.
    Result<void> StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& folder) override;
    /// The absolute PATH entries only, in order (/usr/local/bin, /usr/bin, /bin when PATH is
    /// empty); a regular file this process may execute.
    std::string FindProgram(const std::string& name) const override;
    /// The program is found as `StartProgram` finds it and spawned in a session of its own with
    /// default signals; standard input is StdinFile (opened by this process, so a missing or
    /// unreadable one fails here) or /dev/null; standard output and error share one pipe, read
    /// only while `Wait` runs. No fd of this process but those three reaches the program
    /// (LinuxChild.cpp).
    Result<std::unique_ptr<TKChildProcess>> StartChild(const TChildSpec& spec) override;
    int ProcessId() const override;
    std::string TerminalProgram() const override;
    void CopyTextToClipboard(const std::string& text) override;
    std::string GetClipboardText() override;
    /// Ends the session with loginctl; waits up to 10 seconds for its answer.
    Result<void> LogOff() override;
    Result<void> PowerOff() override;
    /// Runs "eject -t"; ecUnsupported when eject is not installed.
    Result<void> CloseCdTray() override;
    /// Nice values 19, 10, 0, -5, -10 and best-effort I/O levels 7, 6, 4, 2, 0 of the calling
    /// thread for the priorities 1 to 5.
    Result<void> SetThreadPriority(int priority) override;
    std::shared_ptr<void> UseUtf8TextInThread() override;
    /// libxcrypt's crypt_gensalt_rn and crypt_rn: yescrypt, else SHA-512 where the library lacks
    /// it, with the salt's random bytes from getrandom (LinuxPassword.cpp).
    std::string HashPassword(std::string_view password) const override;
    /// Hashes typed with the stored text's own method and salt and compares the two texts in
    /// constant time.
    bool PasswordMatches(std::string_view typed, std::string_view stored) const override;

    /// Installs the clipboard functions (see the class comment).
    void SetClipboard(TClipboardSetter setter, TClipboardGetter getter);

private:
    TClipboardSetter FClipboardSetter;
    TClipboardGetter FClipboardGetter;
    mutable std::mutex FTempDirLock;
    mutable std::string FTempDir; ///< guarded by FTempDirLock
};

} // namespace ks
