// Colours as a reader sees them: a dark desktop palette to paint under, and the contrast of
// what gets painted.
#pragma once

#include <QColor>
#include <QImage>
#include <QPalette>

#include <algorithm>
#include <cmath>

// A dark desktop palette, its button grey lighter than its window grey as such palettes have it.
inline QPalette darkPalette()
{
    QPalette dark(QColor(0x45, 0x45, 0x45), QColor(0x35, 0x35, 0x35));
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    }
    dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    return dark;
}

// The contrast ratio of two colours as the accessibility guidelines define it (1 to 21).
inline double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto linear = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast any pixel of the area has with the background: its text's, if any.
inline double strongestContrast(const QImage &shot, const QRect &area, const QColor &background)
{
    double strongest = 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            strongest = std::max(strongest, contrast(shot.pixelColor(x, y), background));
        }
    }
    return strongest;
}
