#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ks {

/// Kind of panel content.
enum TKPanelType : std::uint8_t {
    ptDriveList = 0,
    ptFolder = 1,
    ptFindResult = 2,
    ptArchive = 3,
    ptFTP = 4,
    ptItemInfo = 5,
    ptPlaylist = 6,
};

/// Kind of a panel item.
enum TKItemKind : std::uint8_t {
    ikDrive = 0,
    ikUpFolder = 1,
    ikFolder = 2,
    ikFile = 3,
    ikOther = 4,
};

/// What an `OnAfterChange` reports.
enum TKAfterChange : std::uint8_t { acItem = 0, acList = 1, acProgress = 2 };

/// What marking does to an item: the `mode` of the marking calls.
enum TKMarkMode : int { mmMark = 0, mmUnmark = 1, mmToggle = 2 };

/// Operation of a mask selection.
enum TKSelectType : std::uint8_t { stSelect = 0, stDeselect = 1 };

/// Icon value of an item whose icon was not looked up yet.
inline constexpr std::uint32_t IconNotLookedUp = 65535;

/// The fields most items never use: texts of special entries and find results, and the details
/// of archive entries. Kept apart so a folder of 100,000 files costs little per item.
struct TKFilesExtra {
    std::string Folder;  ///< folder of a find result, or the archive-relative folder
    std::string Caption; ///< left column text when it differs from `Name`
    std::string Info;    ///< right column text when it differs from the size text
    bool HasCaption = false;
    bool HasInfo = false;
    std::string AttrText; ///< permission text of an FTP entry
    std::int64_t PackedSize = -1;
    std::uint32_t HeaderFlags = 0;
    std::uint32_t HostOS = 0;
    std::uint32_t CheckValue = 0;
    std::uint32_t PackerVersion = 0;
    std::uint32_t PackMethod = 0;
    /// An archive entry's name as the archive stores it, when that differs from `Name` (other
    /// separators, another character set); what an archiver is given.
    std::string StoredName;
};

/// One entry of an open archive as a panel keeps it between folders (see `TKFiles` for what the
/// fields mean): a record of its own, a fraction of an item's size, so large archives stay small.
struct TArchivePending {
    std::string Name;       ///< the display path, "/" between parts
    std::string StoredName; ///< the name as stored, when it differs from `Name`
    std::int64_t Size = 0;
    std::int64_t PackedSize = -1;
    std::int64_t MTimeNs = 0;
    std::uint32_t Time = 0;
    std::uint32_t Attr = 0;
    std::uint32_t HeaderFlags = 0;
    std::uint32_t CheckValue = 0;
    std::int32_t HostOS = 99;
    std::int32_t PackerVersion = -1;
    std::int32_t PackMethod = -1;
    std::uint32_t FolderLength = 0; ///< bytes of `Name` before the last "/"; 0 at the root
    bool IsFolder = false;
};

/// One panel item, owned by the list that holds it. Its address stays the same while it is in a
/// list, so `FCurrentItem` and the painter may point at it.
struct TKFiles {
    std::string Name;         ///< as listed: bytes as the OS gives them
    std::int64_t Size = 0;    ///< bytes; 0 for a folder until counted
    std::int64_t MTimeNs = 0; ///< full modification time of local and FTP items; 0 when unknown
    std::uint32_t Time = 0;   ///< packed DOS date and time; 0 when unknown
    std::uint32_t Attr = 0;   ///< attribute bits, or the drive type code of a drive entry
    std::uint32_t Mode = 0;   ///< st_mode of a local entry; 0 when unknown
    std::uint32_t Icon = IconNotLookedUp;
    TKItemKind Kind = ikFile;
    bool Marked = false;
    bool IsPacked = false;
    bool IsExecutable = false;
    bool Seen = false;
    std::unique_ptr<TKFilesExtra> Extra;

    /// The extra fields, created on first use.
    TKFilesExtra& Extras();
    const std::string& Folder() const;
    /// Text of the left column: the caption when one was set, else the name.
    const std::string& Caption() const;
    void SetCaption(std::string caption);
    void SetInfo(std::string info);
    void SetFolder(std::string folder);
    bool HasInfo() const { return Extra && Extra->HasInfo; }
};

/// A panel's list holder: the items in display order, the cursor and the marked totals.
/// Thread: changed on the GUI thread only; the painter reads it.
class TKITEMSSTRUC {
public:
    /// An empty list on the given folder.
    explicit TKITEMSSTRUC(std::string path = {});
    TKITEMSSTRUC(const TKITEMSSTRUC&) = delete;
    TKITEMSSTRUC& operator=(const TKITEMSSTRUC&) = delete;

    /// The owning panel's hooks: the cursor item changed (forced after a clear, when the panel
    /// reports even while quiet), and the cursor goes to the top after a clear with home.
    std::function<void(bool forced)> OnCursorChange;
    std::function<void()> OnCursorHome;

    TKFiles* FCurrentItem = nullptr;
    int FItemIndex = 0;
    int FTopIndex = 0;
    std::string FPath;
    std::vector<std::unique_ptr<TKFiles>> FItems;
    int FMarkedCount = 0;
    std::int64_t FMarkedSize = 0;
    std::int64_t FDriveFree = 0;
    std::int64_t FDriveSize = 0;

    int Count() const { return static_cast<int>(FItems.size()); }
    /// The item at index, or null when the index lies outside the list.
    TKFiles* GetFileItem(int index) const;
    /// Stores the index unchanged and points `FCurrentItem` at that item (or null).
    void SetItemIndex(int index);
    /// Removes every item; with home the cursor goes to the top.
    void ClearItems(bool home);
    /// Marks, unmarks or toggles one item by mode (a `TKMarkMode`), keeping the totals; null and
    /// up-folder items are left alone.
    void MarkItem(TKFiles* item, int mode);
    /// Recomputes the marked totals over all items.
    void RecountTotals();
    /// Index of the first item whose name (or, with byCaption, caption) equals name exactly;
    /// -1 when none.
    int FindIndex(std::string_view name, bool byCaption) const;
    /// Index of the first item whose caption equals name without regard to case, else of the
    /// first with the longest common prefix; -1 when the list or name is empty or no caption
    /// shares the first character.
    int FindBestIndex(std::string_view name) const;
};

} // namespace ks
