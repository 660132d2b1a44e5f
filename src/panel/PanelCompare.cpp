#include "panel/KMYFILEPANEL.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/FileSystem.h"
#include "foundation/Language.h"
#include "foundation/System.h"
#include "panel/OperationHelpers.h"

namespace ks {

using namespace operations;

namespace {

constexpr std::size_t CompareBlockSize = 64 * 1024;

// Reads until count bytes came or the file ended; the bytes read.
Result<std::size_t> ReadBlock(TKFile& file, std::uint64_t offset, char* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const Result<std::size_t> got = file.ReadAt(offset + done, buffer + done, count - done);
        if (!got)
            return got.error();
        if (*got == 0)
            break;
        done += *got;
    }
    return done;
}

// The regular file at path opened for reading (a link followed), with its size; nothing for
// anything else, so a FIFO or a device is never read.
std::unique_ptr<TKFile> OpenRegular(const std::string& path, std::uint64_t& size) {
    Result<std::unique_ptr<TKFile>> file = FileSystem().OpenFile(path, ofRead | ofFollowLink);
    if (!file)
        return nullptr;
    const Result<TFileInfo> info = (*file)->Info();
    if (!info || info->Type != TEntryType::etFile)
        return nullptr;
    size = info->Size;
    return std::move(*file);
}

// True when the two files hold the same bytes: the sizes first, then block by block up to the
// first difference. goOn is asked between blocks; a stop or a read error means not equal.
bool SameFileBytes(const std::string& a, const std::string& b, const std::function<bool()>& goOn) {
    std::uint64_t sizeA = 0;
    std::uint64_t sizeB = 0;
    const std::unique_ptr<TKFile> fileA = OpenRegular(a, sizeA);
    if (fileA == nullptr)
        return false;
    const std::unique_ptr<TKFile> fileB = OpenRegular(b, sizeB);
    if (fileB == nullptr || sizeA != sizeB)
        return false;
    std::vector<char> blockA(CompareBlockSize);
    std::vector<char> blockB(CompareBlockSize);
    for (std::uint64_t offset = 0;;) {
        const Result<std::size_t> gotA = ReadBlock(*fileA, offset, blockA.data(), blockA.size());
        const Result<std::size_t> gotB = ReadBlock(*fileB, offset, blockB.data(), blockB.size());
        if (!gotA || !gotB || *gotA != *gotB)
            return false;
        if (!std::equal(blockA.begin(), blockA.begin() + static_cast<std::ptrdiff_t>(*gotA), blockB.begin()))
            return false;
        // A file that grew while it was read is compared up to where both end.
        if (*gotA < blockA.size())
            return true;
        offset += *gotA;
        if (!goOn())
            return false;
    }
}

// The names inside a folder, sorted; nothing when it cannot be listed.
std::optional<std::vector<std::string>> FolderNames(const std::string& path) {
    std::vector<std::string> names;
    const Result<void> listed =
        FileSystem().ListFolderTypes(path, [&names](std::string_view name, TEntryType) {
            names.emplace_back(name);
            return true;
        });
    if (!listed)
        return std::nullopt;
    std::sort(names.begin(), names.end());
    return names;
}

bool HasLocalItems(const TKMYFILEPANEL& panel) {
    return panel.PanelType() == ptFolder || panel.PanelType() == ptFindResult;
}

} // namespace

// One run of ComparePanels: the properties compared and the two lists whose equal items get
// marked.
class TComparePanels {
public:
    TComparePanels(TKMYFILEPANEL& panel, TKMYFILEPANEL& other, const TCompareOptions& options)
        : FPanel(panel), FOther(other), FByName(options.ByName), FBySize(options.BySize),
          FByAttr(options.ByAttr), FByDate(options.ByDate), FByFolderContents(options.ByFolderContents),
          FByFileContents(options.ByFileContents) {}

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
    bool Equal(int i, int j) {
        const TKFiles& a = *FMine->GetFileItem(i);
        const TKFiles& b = *FTheirs->GetFileItem(j);
        if (!EqualProperties(a, b))
            return false;
        const bool folderA = a.Kind == ikFolder;
        const bool folderB = b.Kind == ikFolder;
        const bool contents =
            (FByFolderContents && (folderA || folderB)) || (FByFileContents && (!folderA || !folderB));
        if (!contents)
            return true;
        if (folderA != folderB || !HasLocalItems(FPanel) || !HasLocalItems(FOther) || FPanel.FAbort)
            return false;
        const std::string nameA = FPanel.ItemFullName(i);
        const std::string nameB = FOther.ItemFullName(j);
        if (folderA) {
            const auto namesA = FolderNames(nameA);
            return namesA && namesA == FolderNames(nameB);
        }
        return SameFileBytes(nameA, nameB, [this] {
            FPanel.Pump();
            return !FPanel.FAbort;
        });
    }

    bool EqualProperties(const TKFiles& a, const TKFiles& b) const {
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
                if (Equal(i, it->second))
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
                if (b->Kind != ikUpFolder && Equal(i, j))
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
    const bool FByFolderContents;
    const bool FByFileContents;
};

void TKMYFILEPANEL::ComparePanels(bool byName, bool bySize, bool byAttr, bool byDate) {
    ComparePanels(TCompareOptions{byName, bySize, byAttr, byDate, false, false});
}

void TKMYFILEPANEL::ComparePanels(const TCompareOptions& options) {
    TKMYFILEPANEL* other = FOtherPanel;
    if (other == nullptr || other == this || other->Quiet())
        return;
    TComparePanels(*this, *other, options).Run();
}

} // namespace ks
