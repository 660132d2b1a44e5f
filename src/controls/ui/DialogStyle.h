#pragma once

#include <QColor>
#include <QProxyStyle>

namespace ks {

/// The drawing the dialogs' style sheet cannot give: a check box's box with a tick when it is
/// checked (a dash when partly checked), a radio button's dark ring with a light dot when chosen,
/// and a solid light frame round the control that has the
/// focus, drawn whenever it has it and not only after a Tab as the usual styles do. Everything else
/// is left to the application's style. Thread: the GUI thread.
class TKDialogStyle : public QProxyStyle {
public:
    /// Side of a check box's box, and of a radio button's ring, in pixels.
    static constexpr int IndicatorSize = 13;
    /// The colour of the tick and of the focus frame.
    static QColor MarkColor() { return QColor(200, 220, 248); }

    TKDialogStyle();

    /// The one instance the dialogs share; it lives as long as the application.
    static TKDialogStyle* Instance();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

} // namespace ks
