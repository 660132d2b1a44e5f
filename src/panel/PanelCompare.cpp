#include "panel/KMYFILEPANEL.h"

#include <string>
#include <unordered_map>

#include "foundation/Language.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

// One run of ComparePanels: the properties compared and the two lists whose equal items get
// marked.
class TComparePanels {
public:
    TComparePanels(TKMYFILEPANEL& panel, TKMYFILEPANEL& other, bool byName, bool bySize, bool byAttr,
                   bool byDate)
        : FPanel(panel), FOther(other), FByName(byName), FBySize(bySize), FByAttr(byAttr), FByDate(byDate) {}

    void Run() {
        const std::uint32_t bits = psComparing | psBusy | psQuiet;
        const std::uint32_t stateBefore = FPanel.FState;
        const std::uint32_t otherBefore = FOther.FState;
        FPanel.FState |= bits;
        FOther.FState |= bits;
        FPanel.Pump();
        FPanel.FireAfterRefresh(LangStrings().STR_MSG_WORKING);
        FPanel.FAbort = false;

        // The lists are those shown once the pending messages have run.
        FMine = FPanel.FItemsStruc;
        FTheirs = FOther.FItemsStruc;
        if (FTheirs->Count() > 0) {
            if (FByName)
                CompareByName();
            else
                CompareEach();
        }

        FPanel.FireAfterRefresh(FPanel.GetPanelPath());
        FPanel.FireAfterChange(acProgress, FPanel.GetItemInfo());
        FPanel.FState = stateBefore;
        FOther.FState = otherBefore;
    }

private:
    bool Equal(const TKFiles& a, const TKFiles& b) const {
        if (FBySize && a.Size != b.Size)
            return false;
        if (FByAttr && a.Attr != b.Attr)
            return false;
        if (FByDate) {
            if (a.MTimeNs != 0 && b.MTimeNs != 0 ? a.MTimeNs != b.MTimeNs : a.Time != b.Time)
                return false;
        }
        return !FByName || SameText(a.Name, b.Name);
    }

    void MarkPair(int i, int j) {
        FMine->MarkItem(FMine->GetFileItem(i), mmMark);
        FTheirs->MarkItem(FTheirs->GetFileItem(j), mmMark);
        DrawRow(FPanel, i);
        DrawRow(FOther, j);
    }

    // Compared by name, only items of the same name can be equal: an index keeps the work
    // linear for large folders.
    void CompareByName() {
        std::unordered_multimap<std::string, int> byUpperName;
        byUpperName.reserve(static_cast<std::size_t>(FTheirs->Count()));
        for (int j = 0; j < FTheirs->Count(); ++j) {
            const TKFiles* b = FTheirs->GetFileItem(j);
            if (b->Kind != ikUpFolder)
                byUpperName.emplace(UpperCase(b->Name), j);
        }
        for (int i = 0; i < FMine->Count(); ++i) {
            const TKFiles* a = FMine->GetFileItem(i);
            if (a->Kind == ikUpFolder)
                continue;
            const auto range = byUpperName.equal_range(UpperCase(a->Name));
            for (auto it = range.first; it != range.second; ++it)
                if (Equal(*a, *FTheirs->GetFileItem(it->second)))
                    MarkPair(i, it->second);
        }
    }

    void CompareEach() {
        for (int i = 0; i < FMine->Count(); ++i) {
            const TKFiles* a = FMine->GetFileItem(i);
            if (a->Kind == ikUpFolder)
                continue;
            for (int j = 0; j < FTheirs->Count(); ++j) {
                const TKFiles* b = FTheirs->GetFileItem(j);
                if (b->Kind != ikUpFolder && Equal(*a, *b))
                    MarkPair(i, j);
            }
        }
    }

    TKMYFILEPANEL& FPanel;
    TKMYFILEPANEL& FOther;
    TKITEMSSTRUC* FMine = nullptr;
    TKITEMSSTRUC* FTheirs = nullptr;
    const bool FByName;
    const bool FBySize;
    const bool FByAttr;
    const bool FByDate;
};

void TKMYFILEPANEL::ComparePanels(bool byName, bool bySize, bool byAttr, bool byDate) {
    TKMYFILEPANEL* other = FOtherPanel;
    if (other == nullptr || other == this || other->Quiet())
        return;
    TComparePanels(*this, *other, byName, bySize, byAttr, byDate).Run();
}

} // namespace ks
