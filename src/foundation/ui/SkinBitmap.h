#pragma once

#include <string>

#include <QImage>

namespace ks {

/// Loads a skin picture into bitmap as a 24-bit image (QImage::Format_RGB888).
///
/// The bitmap is emptied first. A name with the extension "bmp" (any case) is read as a BMP; when
/// that gives nothing, the same name with ".jpg" in place of ".bmp" (or, for any other
/// extension, the name itself) is decoded as a JPEG. The last part of each name is matched
/// without regard to ASCII case inside its folder, as skins are made on systems that ignore
/// case. Pictures wider or higher than 16384 pixels are refused.
///
/// Returns true when a picture was loaded; a missing or damaged file gives false and a null
/// image, never an exception or an abort. Thread: any (QImage only, no QPixmap).
bool LoadSkinBitmap(const std::string& fileName, QImage& bitmap);

} // namespace ks
