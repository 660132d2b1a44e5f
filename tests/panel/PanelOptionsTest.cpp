#include "panel/PanelOptions.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "foundation/Data.h"
#include "foundation/RegistryStore.h"

namespace ks {
namespace {

TEST(StoredPanelOptions, CheckBoxStatesBecomeThePanelOptions) {
    struct TOption {
        const char* Name;
        bool TPanelOptions::*Member;
        bool WhenMissing;
    };
    // Sizes in kB, MB, GB, hidden files and the drive count at once are all on when nothing is
    // stored.
    const TOption options[] = {
        {"SettingsShowSizeInMB", &TPanelOptions::PanelSizeInUnits, true},
        {"SettingsShowDriveSizeAtOnce", &TPanelOptions::PanelDriveSizeAtOnce, true},
        {"SettingsShowHidden", &TPanelOptions::PanelShowHidden, true},
    };
    const std::optional<std::string> stored[] = {"1", "0", std::nullopt, "", "yes"};
    for (const TOption& option : options) {
        for (const std::optional<std::string>& value : stored) {
            SCOPED_TRACE(std::string(option.Name) + " = " + (value ? "\"" + *value + "\"" : "missing"));
            TKRegistryStore store("/nonexistent/registry");
            if (value)
                store.Write(ProgramKey, option.Name, *value);
            const bool expected = !value || value->empty() ? option.WhenMissing : *value == "1";
            for (const bool before : {false, true}) {
                TPanelOptions panel;
                panel.*option.Member = before;
                LoadStoredPanelOptions(&store, panel);
                EXPECT_EQ(panel.*option.Member, expected);
            }
        }
        SCOPED_TRACE(std::string(option.Name) + " without a store");
        TPanelOptions withoutStore;
        withoutStore.*option.Member = !option.WhenMissing;
        LoadStoredPanelOptions(nullptr, withoutStore);
        EXPECT_EQ(withoutStore.*option.Member, option.WhenMissing);
    }
    // The settings box starts in the state the panel shows.
    EXPECT_EQ(AutoSaveDefault(ProgramKey, "SettingsShowSizeInMB"), "1");
}

} // namespace
} // namespace ks
