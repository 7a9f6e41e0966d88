// TSkinStyle: the skin's style under the style sheet; it draws what a style sheet cannot.
#pragma once

#include <QProxyStyle>

namespace tarv::skin {

// Fusion with the skin's sliders (groove, value bar, fader cap and tick marks, which a style
// sheet would drop), no focus rectangles, and captions that wrap or shrink to fit small buttons.
class TSkinStyle : public QProxyStyle {
public:
    TSkinStyle();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawItemText(QPainter* painter, const QRect& rect, int flags, const QPalette& palette, bool enabled,
                      const QString& text, QPalette::ColorRole textRole = QPalette::NoRole) const override;
};

namespace detail {
// Registers the skin's compiled-in resources (style sheet, pictures); safe to call repeatedly.
void ensureResources();
}   // namespace detail

}   // namespace tarv::skin
