#pragma once

#include <string>
#include <string_view>

// Path and environment helpers the Linux platform files share.

namespace ks::platform {

/// The environment variable, empty when it is not set.
std::string GetEnv(const char* name);
/// $HOME, else the password database's home of the user, else "/"; without a trailing "/".
std::string Home();
/// $XDG_CONFIG_HOME when absolute, else ~/.config; without a trailing "/".
std::string XdgConfigHome();
/// $XDG_DATA_HOME when absolute, else ~/.local/share; without a trailing "/".
std::string XdgDataHome();
/// The path without trailing "/" (except "/").
std::string StripSlash(std::string path);
std::string JoinPath(const std::string& folder, const std::string& name);
/// The folder holding path; empty for a path without "/".
std::string ParentOf(const std::string& path);
bool IsFolder(const std::string& path);
/// A regular file this process may execute.
bool IsExecutableFile(const std::string& path);
/// ASCII letters compared without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);
/// A relative path made absolute against the process's current folder.
std::string AbsolutePath(const std::string& path);
/// The executable file name names in the absolute folders of PATH (the usual folders when PATH
/// is empty); empty when there is none.
std::string FindInPath(const std::string& name);

} // namespace ks::platform
