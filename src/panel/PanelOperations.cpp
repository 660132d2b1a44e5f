#include "panel/KMYFILEPANEL.h"

#include <string>
#include <unordered_map>

#include "foundation/Language.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

void TKMYFILEPANEL::ComparePanels(bool byName, bool bySize, bool byAttr, bool byDate) {
    TKMYFILEPANEL* other = FOtherPanel;
    if (other == nullptr || other == this || other->Quiet())
        return;
    const std::uint32_t bits = psComparing | psBusy | psQuiet;
    const std::uint32_t stateBefore = FState;
    const std::uint32_t otherBefore = other->FState;
    FState |= bits;
    other->FState |= bits;
    Pump();
    FireAfterRefresh(LangStrings().STR_MSG_WORKING);
    FAbort = false;

    TKITEMSSTRUC& mine = *FItemsStruc;
    TKITEMSSTRUC& theirs = *other->FItemsStruc;
    const auto equal = [&](const TKFiles& a, const TKFiles& b) {
        if (bySize && a.Size != b.Size)
            return false;
        if (byAttr && a.Attr != b.Attr)
            return false;
        if (byDate) {
            if (a.MTimeNs != 0 && b.MTimeNs != 0 ? a.MTimeNs != b.MTimeNs : a.Time != b.Time)
                return false;
        }
        return !byName || SameText(a.Name, b.Name);
    };
    const auto markPair = [&](int i, int j) {
        mine.MarkItem(mine.GetFileItem(i), 0);
        theirs.MarkItem(theirs.GetFileItem(j), 0);
        DrawRow(*this, i);
        DrawRow(*other, j);
    };

    if (theirs.Count() > 0) {
        if (byName) {
            // Compared by name, only items of the same name can be equal: an index keeps the
            // work linear for large folders.
            std::unordered_multimap<std::string, int> byUpperName;
            byUpperName.reserve(static_cast<std::size_t>(theirs.Count()));
            for (int j = 0; j < theirs.Count(); ++j) {
                const TKFiles* b = theirs.GetFileItem(j);
                if (b->Kind != ikUpFolder)
                    byUpperName.emplace(UpperCase(b->Name), j);
            }
            for (int i = 0; i < mine.Count(); ++i) {
                const TKFiles* a = mine.GetFileItem(i);
                if (a->Kind == ikUpFolder)
                    continue;
                const auto range = byUpperName.equal_range(UpperCase(a->Name));
                for (auto it = range.first; it != range.second; ++it)
                    if (equal(*a, *theirs.GetFileItem(it->second)))
                        markPair(i, it->second);
            }
        } else {
            for (int i = 0; i < mine.Count(); ++i) {
                const TKFiles* a = mine.GetFileItem(i);
                if (a->Kind == ikUpFolder)
                    continue;
                for (int j = 0; j < theirs.Count(); ++j) {
                    const TKFiles* b = theirs.GetFileItem(j);
                    if (b->Kind != ikUpFolder && equal(*a, *b))
                        markPair(i, j);
                }
            }
        }
    }

    FireAfterRefresh(GetPanelPath());
    FireAfterChange(acProgress, GetItemInfo());
    FState = stateBefore;
    other->FState = otherBefore;
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
