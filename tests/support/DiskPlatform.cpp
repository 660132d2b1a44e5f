// Linked into the test binaries whose code reads and writes files by path (settings, ini files,
// skins, languages) on the installed file system: before every test starts, `ks::FileSystem()`
// is the real disk. A test that installs a platform of its own replaces it for its run. No
// TKSystem is installed, so code that asks for one still fails loudly, as it would without this.

#include <gtest/gtest.h>

#include "foundation/System.h"
#include "platform/LinuxFileSystem.h"

namespace {

class TDiskPlatform : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { ks::SetPlatform(nullptr, &FDisk); }

private:
    ks::TKLinuxFileSystem FDisk;
};

// Google Test owns and deletes the listener.
const bool Installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TDiskPlatform);
    return true;
}();

} // namespace
