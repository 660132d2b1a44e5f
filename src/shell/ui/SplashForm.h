#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <string>

class QLabel;

namespace ks {

/// File names of the splash picture and its opacity mask in the program folder.
inline constexpr const char* SplashPictureName = "sablesp.jpg";
inline constexpr const char* SplashMaskName = "sablespm.jpg";

/// The splash blended over what lies under it, for every byte of every row (three colour bytes
/// per pixel): (screen x (256 - mask) + picture x mask) >> 8, mask being the byte at the same
/// place of the mask image. The result has the picture's size (QImage::Format_RGB888). Where the
/// mask image does not reach, the mask byte is 255; where the screen image does not reach, the
/// screen byte is 0. Any input format is accepted. A null picture gives a null image.
QImage BlendSplash(const QImage& screen, const QImage& picture, const QImage& mask);

/// The picture with a per-pixel alpha for a translucent window: colour from the picture, alpha
/// the mask's grey value (255 where the mask does not reach). QImage::Format_ARGB32; a null
/// picture gives a null image.
QImage SplashAlphaImage(const QImage& picture, const QImage& mask);

/// The start-up picture: "sablesp.jpg" blended over the desktop with the per-pixel opacity of
/// "sablespm.jpg", centred on the screen, with a progress text (`counter`).
///
/// With a compositor (Wayland, or X11 with a compositing manager) the window is translucent and
/// the mask is its alpha; otherwise the screen under the window is grabbed when it is shown and
/// the picture blended over that copy (BlendSplash).
class TSplashForm : public QWidget {
public:
    /// Loads both pictures from appPath (the program folder, ending in "/"); a missing file
    /// leaves that picture empty. A picture that exists but cannot be decoded does not end the
    /// program: the form is then not Valid() and the caller goes on without a splash.
    explicit TSplashForm(const std::string& appPath, QWidget* parent = nullptr);

    /// Sets the progress text and, when shown, repaints at once and lets pending window-system
    /// events (not user input) through, so the splash appears while the program is busy.
    void ShowProgress(const QString& text);

    /// False when "sablesp.jpg" or "sablespm.jpg" exists but cannot be decoded.
    bool Valid() const { return FErrorText.isEmpty(); }
    /// Which file failed to decode; empty when Valid().
    const QString& ErrorText() const { return FErrorText; }
    /// The decoded picture (24-bit) and mask; null when missing or broken.
    const QImage& Picture() const { return FPicture; }
    const QImage& Mask() const { return FMask; }
    /// True when the window uses per-pixel alpha instead of blending over a screen grab.
    bool Translucent() const { return FTranslucent; }

    /// Whether the platform composites translucent windows: Wayland always; X11 when a
    /// compositing manager owns the "_NET_WM_CM_S<screen>" selection; anything else not.
    static bool CompositorAvailable();

    /// Without a picture there is nothing to show: the window stays hidden.
    void setVisible(bool visible) override;

protected:
    /// The screen area the window is about to cover, in window pixels (a null image when the
    /// platform cannot copy the screen).
    virtual QImage ScreenUnder() const;

    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FPicture;
    QImage FMask;
    QImage FShown; // what paintEvent draws: the alpha picture, or the blend over the screen
    QString FErrorText;
    bool FTranslucent = false;
    QLabel* FCounter = nullptr;
};

} // namespace ks
