#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/DELTA9.h"
#include "foundation/IniFile.h"
#include "foundation/Result.h"
#include "panel/PanelMask.h"

// What a skin folder says about the main window, as plain data: the window code applies it to its
// widgets, builds the window shape from the rectangles and loads the pictures itself.

namespace ks {

/// Name of the layout file inside a skin folder.
inline constexpr std::string_view SkinDataFileName = "data.ini";
/// Name of the window-shape file inside a skin folder.
inline constexpr std::string_view SkinShapeFileName = "Back.msk";
/// Names of the left and the right panel's mask file.
inline constexpr std::string_view LeftPanelMaskFileName = "msk_lp";
inline constexpr std::string_view RightPanelMaskFileName = "msk_rp";
/// The panel font of a skin whose "data.ini" names none.
inline constexpr std::string_view DefaultSkinFont = "192|192|192|-9|Verdana|0|96|1|7|nnnn";
/// Default main window size.
inline constexpr int DefaultSkinWidth = 400;
inline constexpr int DefaultSkinHeight = 300;
/// A window-shape file is read up to this size (a million rectangles); the byte count of a larger
/// one points past the data read, so it counts as damaged.
inline constexpr std::size_t MaxSkinShapeFileSize = 16 * 1024 * 1024;

/// The parts of the main window a skin places, in the order of "data.ini".
enum TSkinPart : int {
    spLeftPanelInfo,  ///< `LEFTPINFO`
    spLeftPanel,      ///< `LEFTPANEL`
    spLeftItemInfo,   ///< `LEFTIINFO`
    spRightPanelInfo, ///< `RIGHTPINFO`
    spRightPanel,     ///< `RIGHTPANEL`
    spRightItemInfo,  ///< `RIGHTIINFO`
    spInfoLine,       ///< `INFOLINE`
    spBtnClose,       ///< `BTNCLOSE`
    spBtnMini,        ///< `BTNMINI`
    spBtnMenu,        ///< `BTNMENU`
    spImgMenu,        ///< `ImgMenu`
};
/// All parts; the first `SkinDisplayPartCount` of them also have a colour and are saved back.
inline constexpr std::size_t SkinPartCount = 11;
inline constexpr std::size_t SkinDisplayPartCount = 7;

/// The "m_pos" key of each part's position, by `TSkinPart`.
extern const std::array<std::string_view, SkinPartCount> SkinPositionKeys;
/// The "m_pos" key of each display part's background colour.
extern const std::array<std::string_view, SkinDisplayPartCount> SkinColorKeys;

/// A part's place: left, top, width and height.
struct TSkinRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const TSkinRect&) const = default;
};

/// A position as "data.ini" gives it. The fields are applied in the order left, top, width,
/// height; a field that is not a number stops the part there, so only the first `Fields` values
/// count and the part keeps its own values for the others.
struct TSkinPosition {
    TSkinRect Rect;
    int Fields = 4; ///< 0 to 4

    /// current with the valid fields of this position laid over it.
    TSkinRect ApplyTo(TSkinRect current) const;
    bool operator==(const TSkinPosition&) const = default;
};

/// Reads "left|top|width|height" (fields counted with `GetField`).
TSkinPosition ParseSkinPosition(std::string_view text);

/// The six panel colours a skin may set, each 0x00BBGGRR.
struct TPanelColours {
    TColorRef Cursor = 0;   ///< `PanelColorCursor`, key "itemcolalphacur"
    TColorRef UpFolder = 0; ///< `PanelColorUpFolder`, key "itemcolupfolder"
    TColorRef Folder = 0;   ///< `PanelColorFolder`, key "itemcolfolder"
    TColorRef Exe = 0;      ///< `PanelColorExe`, key "itemcolexe"
    TColorRef Other = 0;    ///< `PanelColorOther`, key "itemcolother"
    TColorRef Packed = 0;   ///< `PanelColorPacked`, key "itemcolpacked"

    bool operator==(const TPanelColours&) const = default;
};

/// current with every colour of section ("vis_settings" or "user") that is present and
/// well-formed laid over it. The settings dialog's "&Default" uses it on "vis_settings".
TPanelColours ReadPanelColours(const TIniFile& ini, std::string_view section, const TPanelColours& current);

/// The mask from the bytes of a mask file: the first min(size, 1200) bytes as little-endian
/// (left, right) pairs; a short last pair is completed with zero bytes. Loaded is set.
TPanelMaskData ParsePanelMask(std::string_view bytes);
/// The mask file name (found ignoring case) of skinPath: not loaded when it is missing or not a
/// readable regular file.
TPanelMaskData LoadPanelMask(const std::string& skinPath, std::string_view name);

/// A rectangle of the window shape; Right and Bottom are exclusive.
struct TShapeRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    bool operator==(const TShapeRect&) const = default;
};

/// The shape of the main window: no shape is a plain rectangle.
struct TWindowShape {
    bool HasShape = false;
    /// The rectangles whose union is the window; empty ones (right <= left or bottom <= top)
    /// are left out.
    std::vector<TShapeRect> Rects;
};

/// Reads the bytes of a "Back.msk" file: a 4-byte little-endian byte count N, then N bytes of
/// region data: a 32-byte header (dwSize 32, iType 1 for rectangles, nCount, nRgnSize, bounds)
/// and nCount rectangles of four little-endian 32-bit numbers (left, top, right, bottom). N = 0
/// is no shape. Bytes after the N are ignored. A count that does not fit the bytes that are
/// there, or a header of another kind, fails with ecParse.
Result<TWindowShape> ParseWindowShape(std::string_view bytes);
/// The window shape of skinPath: no shape when "Back.msk" is missing; an unreadable or damaged
/// file fails (the window then has no shape).
Result<TWindowShape> LoadWindowShape(const std::string& skinPath);

/// Everything "data.ini" and the mask files give the main window.
struct TSkinData {
    std::string Name;                                         ///< "sname"
    int MainWidth = DefaultSkinWidth;                         ///< "mwid"
    int MainHeight = DefaultSkinHeight;                       ///< "mhei"
    TColorRef MainColor = 0;                                  ///< "mcolor"
    double PanelLineSpacing = 1.0;                            ///< `PanelLineSpacing`, "mitemheikoef"
    std::array<TSkinPosition, SkinPartCount> Positions{};     ///< by `TSkinPart`
    std::array<TColorRef, SkinDisplayPartCount> PartColors{}; ///< by `TSkinPart`
    TPanelMaskData LeftMask;                                  ///< "msk_lp"
    TPanelMaskData RightMask;                                 ///< "msk_rp"
    TPanelColours Colours;  ///< the current colours with the skin's and the user's laid over
    std::string FontString; ///< the font string in force ("user" over "vis_settings")
    TFontSpec Font;         ///< the current font with FontString applied (unchanged on failure)
    /// Fails when "data.ini" could not be read (every value then has its default) or the font
    /// string is malformed. In the latter case everything up to and including the colours is
    /// valid, but the font and the rest of the skin load (pictures, shape) are to be skipped.
    Result<void> Status;
    /// True when the font string failed to convert.
    bool FontFailed = false;
};

/// Reads the values of a "data.ini" already in memory (no mask files). currentColours and
/// currentFont are the values in force; the skin replaces what it sets.
TSkinData ParseSkinSettings(const TIniFile& ini, const TPanelColours& currentColours,
                            const TFontSpec& currentFont);
/// Reads skinPath's "data.ini" (a missing file reads as empty, so every default applies) and its
/// two panel mask files. File names inside the folder are found ignoring case.
TSkinData LoadSkinSettings(const std::string& skinPath, const TPanelColours& currentColours,
                           const TFontSpec& currentFont);

/// What `SaveSkin` writes back.
struct TSkinSaveData {
    /// The seven display parts as they are now, by `TSkinPart`.
    std::array<TSkinRect, SkinDisplayPartCount> Positions{};
    TFontSpec Font;
    TPanelColours Colours;
};

/// Writes the seven display positions into "m_pos" and the font and the six colours into "user"
/// of skinPath's "data.ini", keeping every other line. The button and `ImgMenu` positions are
/// never written. A "data.ini" that exists but cannot be read is left alone and the call fails,
/// so its contents are never replaced by the few values written here.
Result<void> SaveSkin(const std::string& skinPath, const TSkinSaveData& data);

} // namespace ks
