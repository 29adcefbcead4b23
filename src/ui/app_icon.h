// SPDX-License-Identifier: MIT
#pragma once
// The application icon, described once and rendered two ways: with QPainter
// (the title icon, the installed PNG) and as SVG text (the scalable icon).

#include <QImage>
#include <QString>

class QPainter;

namespace vantrel::art {

// Paints the icon into the square (0, 0, size, size).
void paintAppIcon(QPainter& painter, double size);
// The icon as a size x size image with a transparent background.
QImage appIconImage(int size);
// The same drawing as an SVG document of 48 x 48 user units.
QString appIconSvg();

}  // namespace vantrel::art
