#include "panel/KMYFILEPANEL.h"

#include <string>

#include "foundation/Language.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

void TKMYFILEPANEL::ShowItemInfo(bool show) {
    if (show == (FPanelType == ptItemInfo))
        return;
    if (show) {
        FPanelTypeBeforeInfo = FPanelType;
        SetPanelType(ptItemInfo);
        ReadPanel(false, true);
        return;
    }
    // The list was left as it was; a full read would drop its marks and cursor. The listing of
    // a closed FTP session is no folder to keep.
    const bool wasFtp = FPanelTypeBeforeInfo == ptFTP;
    SetPanelType(wasFtp ? ptFolder : FPanelTypeBeforeInfo);
    ReadPanel(!wasFtp, true);
}

void TKMYFILEPANEL::BuildItemInfo() {
    FInfoItems.ClearItems(true);
    if (PanelType() != ptItemInfo)
        return;
    const TKMYFILEPANEL* other = FOtherPanel;
    if (other == nullptr || other == this || other->PanelType() == ptItemInfo)
        return;
    const TKITEMSSTRUC& list = *other->FItemsStruc;
    const TKFiles* x = list.GetFileItem(list.FItemIndex);
    if (x == nullptr)
        return;
    const TLangStrings& lang = LangStrings();
    const TKPanelType otherType = other->PanelType();
    AddInfoLine(lang.strItemNfo_Standart, "", ikFolder);
    if (x->Kind == ikFolder) {
        if (otherType == ptDriveList) {
            AddInfoLine(lang.strItemNfoLoc, x->Name, ikFile);
            AddInfoLine(lang.strItemNfoName, x->Caption(), ikFile);
        } else {
            if (otherType != ptArchive) {
                // A find result lies in its own folder.
                std::string location = other->ItemFolder(list.FItemIndex);
                if (location.empty())
                    location = other->GetPanelPath();
                AddInfoLine(lang.strItemNfoLoc, location, ikFile);
            }
            AddInfoLine(lang.strItemNfoName, x->Name, ikFile);
        }
        AddInfoLine(lang.strItemNfoDate, other->DateText(*x), ikFile);
        AddInfoLine(lang.strItemNfoAttr, AttrToString(x->Attr), ikFile);
    } else if (x->Kind == ikFile) {
        AddInfoLine(lang.strItemNfoName, x->Name, ikFile);
        AddInfoLine(lang.strItemNfoSize, other->SizeText(*x), ikFile);
        AddInfoLine(lang.strItemNfoDate, other->DateText(*x), ikFile);
        AddInfoLine(lang.strItemNfoAttr, AttrToString(x->Attr), ikFile);
        const std::string ext = ExtractExt(x->Name);
        if (!ext.empty()) {
            AddInfoLine(lang.strItemNfoSDesc, System().FileTypeName("." + ext), ikFile);
            AddInfoLine(lang.strItemNfoSDescCon, System().ContentType("." + ext), ikFile);
        }
    }
    if (otherType == ptArchive && x->Kind != ikUpFolder && x->Kind != ikDrive) {
        AddInfoLine(lang.strItemNfo_Archive, "", ikFolder);
        AddInfoLine(lang.strItemNfoArchUpnSize, other->SizeText(*x), ikFile);
        const TKFilesExtra empty;
        const TKFilesExtra& extra = x->Extra ? *x->Extra : empty;
        if (extra.PackedSize >= 0)
            AddInfoLine(lang.strItemNfoArchPacSize, FormatSize(Options.PanelSizeInUnits, extra.PackedSize),
                        ikFile);
        if (extra.PackerVersion != 0xFFFFFFFFu)
            AddInfoLine(lang.strItemNfoArchUnpVer,
                        Num(extra.PackerVersion / 10) + "." + Num(extra.PackerVersion % 10), ikFile);
        static const char* const hostNames[] = {"MS DOS", "OS/2", "Win32", "Unix", "Mac OS", "BeOS"};
        const std::string host = extra.HostOS < 6     ? hostNames[extra.HostOS]
                                 : extra.HostOS == 99 ? "unknown"
                                                      : lang.STR_PANEL_UNKNOWNDATE;
        AddInfoLine(lang.strItemNfoArchHostOS, host, ikFile);
        static const char* const methods[] = {"storing",          "fastest compression",
                                              "fast compression", "normal compression",
                                              "good compression", "best compression"};
        const std::string method = extra.PackMethod >= 48 && extra.PackMethod <= 53
                                       ? methods[extra.PackMethod - 48]
                                       : lang.STR_PANEL_UNKNOWNDATE;
        AddInfoLine(lang.strItemNfoArchMethod, method, ikFile);
    }
}

} // namespace ks
