#include "shell/ui/MainForm.h"

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QRegion>

#include <algorithm>
#include <utility>
#include <vector>

#include "controls/ui/DisplayWidget.h"
#include "foundation/DELTA9.h"
#include "foundation/Data.h"
#include "foundation/Language.h"
#include "foundation/ui/SkinBitmap.h"
#include "panel/ui/PanelWidget.h"

namespace ks {

namespace {

QColor ToQColor(TColorRef c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

QFont ToQFont(const TFontSpec& source) {
    QFont font(QString::fromStdString(source.Name));
    if (source.Height < 0)
        font.setPixelSize(-source.Height);
    else if (source.Size > 0)
        font.setPointSize(source.Size);
    font.setBold(source.Bold);
    font.setItalic(source.Italic);
    font.setUnderline(source.Underline);
    font.setStrikeOut(source.StrikeOut);
    return font;
}

QRect ToQRect(const TSkinRect& r) {
    return QRect(r.Left, r.Top, r.Width, r.Height);
}

TSkinRect FromQRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

// The shape rectangles as a window region.
QRegion ShapeRegion(const TWindowShape& shape) {
    QRegion region;
    for (const TShapeRect& r : shape.Rects)
        region += QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    return region;
}

} // namespace

void TMainForm::LoadSkin() {
    // The panels take the new geometry, mask, font and background at once: one new image and
    // one pass each, instead of one for every setting.
    std::vector<TKPanelWidget*> locked;
    for (TKPanelWidget* panel : {LEFTPANEL, RIGHTPANEL}) {
        if (!panel->PaintingLocked()) {
            panel->LockPainting(true);
            locked.push_back(panel);
        }
    }
    TPanelColours colours{FOptions.PanelColorCursor, FOptions.PanelColorUpFolder, FOptions.PanelColorFolder,
                          FOptions.PanelColorExe,    FOptions.PanelColorOther,    FOptions.PanelColorPacked};
    TFontSpec currentFont;
    currentFont.Name = "Verdana";
    currentFont.Height = -9;
    FSkin = LoadSkinSettings(FData.SkinPath, colours, currentFont);

    setFixedSize(std::max(FSkin.MainWidth, 1), std::max(FSkin.MainHeight, 1));
    FMainColor = ToQColor(FSkin.MainColor);
    FOptions.PanelLineSpacing = FSkin.PanelLineSpacing;
    const std::array<QWidget*, SkinPartCount> parts = {LEFTPINFO,  LEFTPANEL,  LEFTIINFO, RIGHTPINFO,
                                                       RIGHTPANEL, RIGHTIINFO, INFOLINE,  BTNCLOSE,
                                                       BTNMINI,    BTNMENU,    ImgMenu};
    for (std::size_t i = 0; i < SkinPartCount; ++i)
        parts[i]->setGeometry(ToQRect(FSkin.Positions[i].ApplyTo(FromQRect(parts[i]->geometry()))));
    const std::array<TKDisplayWidget*, 5> displays = {LEFTPINFO, LEFTIINFO, RIGHTPINFO, RIGHTIINFO, INFOLINE};
    const std::array<TSkinPart, 5> displayParts = {spLeftPanelInfo, spLeftItemInfo, spRightPanelInfo,
                                                   spRightItemInfo, spInfoLine};
    for (std::size_t i = 0; i < displays.size(); ++i)
        displays[i]->SetBackgroundColor(ToQColor(FSkin.PartColors[displayParts[i]]));
    for (auto [widget, part] : {std::pair{LEFTPANEL, spLeftPanel}, std::pair{RIGHTPANEL, spRightPanel}}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, ToQColor(FSkin.PartColors[part]));
        widget->setPalette(palette);
    }
    LEFTPANEL->SetMask(FSkin.LeftMask);
    RIGHTPANEL->SetMask(FSkin.RightMask);

    FOptions.PanelColorCursor = FSkin.Colours.Cursor;
    FOptions.PanelColorUpFolder = FSkin.Colours.UpFolder;
    FOptions.PanelColorFolder = FSkin.Colours.Folder;
    FOptions.PanelColorExe = FSkin.Colours.Exe;
    FOptions.PanelColorOther = FSkin.Colours.Other;
    FOptions.PanelColorPacked = FSkin.Colours.Packed;
    const QFont panelFont = ToQFont(FSkin.Font);
    LEFTPANEL->setFont(panelFont);
    RIGHTPANEL->setFont(panelFont);
    for (TKDisplayWidget* display : displays) {
        display->setFont(panelFont);
        display->SetFontColor(ToQColor(FSkin.Font.Color));
    }

    // The pictures and the shape; a malformed font string skips them, as it skips the rest of
    // the load.
    if (!FSkin.FontFailed) {
        const std::string& path = FData.SkinPath;
        auto picture = [&path](std::string_view name) {
            QImage image;
            const std::string file = FindFileNoCase(path, name);
            LoadSkinBitmap(file.empty() ? path + std::string(name) : file, image);
            return image;
        };
        if (auto shape = LoadWindowShape(path); shape && shape->HasShape)
            FShape = *shape;
        else
            FShape = {};
        if (FShape.HasShape)
            setMask(ShapeRegion(FShape));
        else
            clearMask();
        FBackground = picture("Back.bmp");
        if (const QImage icon = picture("icon.bmp"); !icon.isNull())
            setWindowIcon(QIcon(QPixmap::fromImage(icon)));
        BTNCLOSE->SetPictures(picture("btnClose.bmp"), picture("btnClose2.bmp"));
        BTNMINI->SetPictures(picture("btnMini.bmp"), picture("btnMini2.bmp"));
        BTNMENU->SetPictures(picture("btnMenu.bmp"), picture("btnMenu2.bmp"));
        const std::string language = LastPathPart(FData.LangPath);
        QImage menuPicture = picture(language + ".bmp");
        if (menuPicture.isNull())
            menuPicture = picture(language + ".jpg");
        ImgMenu->setPixmap(QPixmap::fromImage(menuPicture));
    }
    AttachBackground();
    for (TKPanelWidget* panel : locked)
        panel->LockPainting(false);
    LEFTPINFO->Model().SetCaption(FLeft->GetPanelPath());
    RIGHTPINFO->Model().SetCaption(FRight->GetPanelPath());
    update();
}

void TMainForm::AttachBackground() {
    for (TKPanelWidget* panel : {LEFTPANEL, RIGHTPANEL})
        panel->SetBackground(FBackground, panel->pos());
    for (TKDisplayWidget* display : {LEFTPINFO, LEFTIINFO, RIGHTPINFO, RIGHTIINFO, INFOLINE})
        display->SetActiveBackground(FBackground, display->pos());
    LEFTPANEL->RepaintAll();
    RIGHTPANEL->RepaintAll();
}

bool TMainForm::SaveSkin() {
    TSkinSaveData saved;
    const std::array<QWidget*, SkinDisplayPartCount> parts = {LEFTPINFO,  LEFTPANEL,  LEFTIINFO, RIGHTPINFO,
                                                              RIGHTPANEL, RIGHTIINFO, INFOLINE};
    for (std::size_t i = 0; i < SkinDisplayPartCount; ++i)
        saved.Positions[i] = FromQRect(parts[i]->geometry());
    saved.Font = FSkin.Font;
    saved.Colours = {FOptions.PanelColorCursor, FOptions.PanelColorUpFolder, FOptions.PanelColorFolder,
                     FOptions.PanelColorExe,    FOptions.PanelColorOther,    FOptions.PanelColorPacked};
    return ks::SaveSkin(FData.SkinPath, saved).has_value();
}

void TMainForm::SelectSkin(const std::string& skinPath) {
    SaveSkin();
    FData.SkinPath = AddBackslash(skinPath);
    LoadSkin();
}

} // namespace ks
