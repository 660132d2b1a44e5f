#pragma once

#include <QColor>
#include <QWidget>

namespace ks {

/// A flat progress bar in the dialogs' colours: a 1-pixel frame, the filled part and the rest.
/// It paints itself opaque and only when the filled width changes by a pixel, and its repaints
/// wait for the next paint pass, so a window that polls a job every 20 ms costs little.
/// Thread: the GUI thread.
class TKProgressBar : public QWidget {
public:
    explicit TKProgressBar(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    void setValue(int value);
    int value() const { return FValue; }
    int minimum() const { return FMinimum; }
    int maximum() const { return FMaximum; }
    /// The colours of the filled part and of the rest.
    void SetColours(QColor filled, QColor empty);
    /// The filled width in pixels inside the frame.
    int FilledWidth() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int FilledWidthFor(int value) const;

    int FMinimum = 0;
    int FMaximum = 100;
    int FValue = 0;
    int FPaintedWidth = -1;
    QColor FFilled{38, 139, 210};
    QColor FEmpty{250, 250, 250};
};

} // namespace ks
