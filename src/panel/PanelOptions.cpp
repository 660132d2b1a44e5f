#include "panel/PanelOptions.h"

#include <string>
#include <string_view>

#include "foundation/DELTA9.h"
#include "foundation/Data.h"

namespace ks {

namespace {

const std::string GraphicsKey = std::string(ProgramKey) + "\\graphics";

// The stored state of a self-saving control, or its default when nothing is stored.
std::string StoredValue(const TKRegistryStore* store, std::string_view key, std::string_view name) {
    return store != nullptr ? AutoSaveValue(*store, key, name) : AutoSaveDefault(key, name);
}

bool Checked(const TKRegistryStore* store, std::string_view name, std::string_view key = ProgramKey) {
    return StoredValue(store, key, name) == "1";
}

} // namespace

void LoadStoredPanelOptions(const TKRegistryStore* store, TPanelOptions& options) {
    options.PanelShowHidden = Checked(store, "SettingsShowHidden");
    options.PanelSizeInUnits = Checked(store, "SettingsShowSizeInMB");
    options.PanelDriveSizeAtOnce = Checked(store, "SettingsShowDriveSizeAtOnce");
    options.PanelDelKeyDeletes = Checked(store, "SettingsDelKeyForDelete");
    options.PanelBackspaceUp = Checked(store, "SettingsBkSpKeyForUpFolder");
    options.PanelCtrlRightClickMenu = Checked(store, "SettingsRightClickWithCtrl");
    options.PanelDragEnabled = Checked(store, "SettingsDragNDropEnable");
    options.PanelFolderFirst = Checked(store, "SettingsFolderFirst");
    options.PanelExecutableFirst = Checked(store, "SettingsExecutableFirst");
    options.PanelArchiveAsFolder = Checked(store, "SettingsArchiveOpenLikeFolder");
    options.PanelShowIcons = Checked(store, "GraphicsShowIcons", GraphicsKey);
    options.PanelAlphaCursorTrail = Checked(store, "GraphicsAlphaCursorTrail", GraphicsKey);
    options.PanelAlphaCursor = Checked(store, "GraphicsAlphaCursor", GraphicsKey);
    if (int step = 0;
        TryStrToInt(StoredValue(store, ProgramKey, "SettingsMouseWheelStep"), step) && step > 0 && step < 100)
        options.PanelWheelStep = step;
}

} // namespace ks
