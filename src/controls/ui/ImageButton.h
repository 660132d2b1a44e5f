#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

namespace ks {

/// A skin picture button with a normal and a mouse-over picture; pressed, the mouse-over picture
/// moves down and right by one pixel. Fires OnClick when released over it. Thread: the GUI
/// thread.
class TKImageButton : public QWidget {
public:
    explicit TKImageButton(QWidget* parent = nullptr);
    /// A null hover picture shows the normal one on mouse-over too.
    void SetPictures(const QImage& normal, const QImage& hover);
    std::function<void()> OnClick;
    bool Hovered() const { return FHover; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage FNormal;
    QImage FHover2;
    bool FHover = false;
    bool FPressed = false;
};

} // namespace ks
