// SPDX-License-Identifier: MIT
#include "ui/app_icon.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QVector>

#include <cmath>

namespace vantrel::art {
namespace {

// All coordinates are in a 48 x 48 square.
constexpr double kUnits = 48.0;

struct Box {
  QRectF rect;
  double radius;
};

// Body: a teal tile; screen: a dark display; bar: a progress gauge.
const Box kBody{{2.5, 2.5, 43.0, 43.0}, 9.0};
const Box kScreen{{8.0, 8.5, 32.0, 22.0}, 3.0};
const Box kBarTrack{{8.0, 35.0, 32.0, 6.0}, 2.0};
const Box kBarFill{{8.0, 35.0, 22.0, 6.0}, 2.0};

const QColor kBodyTop{70, 150, 156};
const QColor kBodyBottom{28, 70, 74};
const QColor kBodyEdge{18, 38, 40};
const QColor kScreenFill{22, 30, 32};
const QColor kScreenEdge{149, 250, 255, 90};
const QColor kWave{149, 250, 255};
const QColor kTrack{48, 48, 48};
const QColor kFill{222, 46, 38};

// A decaying sine across the screen: a sample being played out.
QVector<QPointF> wavePoints() {
  QVector<QPointF> points;
  const double left = kScreen.rect.left() + 2.5, right = kScreen.rect.right() - 2.5;
  const double mid = kScreen.rect.center().y();
  const int steps = 48;
  for (int k = 0; k <= steps; ++k) {
    double t = static_cast<double>(k) / steps;
    double x = left + (right - left) * t;
    double y = mid - 8.0 * std::exp(-2.2 * t) * std::sin(t * 5.0 * 2.0 * M_PI);
    points.append({x, y});
  }
  return points;
}

QString num(double v) { return QString::number(v, 'f', 2); }

QString svgRect(const Box& b, const QString& attributes) {
  return QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" %6/>\n")
      .arg(num(b.rect.x()), num(b.rect.y()), num(b.rect.width()), num(b.rect.height()),
           num(b.radius), attributes);
}

QString svgColour(const QColor& c) { return c.name(QColor::HexRgb); }

}  // namespace

void paintAppIcon(QPainter& p, double size) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / kUnits, size / kUnits);

  QLinearGradient body(0, kBody.rect.top(), 0, kBody.rect.bottom());
  body.setColorAt(0, kBodyTop);
  body.setColorAt(1, kBodyBottom);
  p.setPen(QPen(kBodyEdge, 1.5));
  p.setBrush(body);
  p.drawRoundedRect(kBody.rect, kBody.radius, kBody.radius);

  p.setPen(QPen(kScreenEdge, 1.0));
  p.setBrush(kScreenFill);
  p.drawRoundedRect(kScreen.rect, kScreen.radius, kScreen.radius);

  p.setPen(QPen(kWave, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(wavePoints());

  p.setPen(Qt::NoPen);
  p.setBrush(kTrack);
  p.drawRoundedRect(kBarTrack.rect, kBarTrack.radius, kBarTrack.radius);
  p.setBrush(kFill);
  p.drawRoundedRect(kBarFill.rect, kBarFill.radius, kBarFill.radius);
  p.restore();
}

QImage appIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  paintAppIcon(p, size);
  p.end();
  return image;
}

QString appIconSvg() {
  QString points;
  for (const QPointF& pt : wavePoints()) points += num(pt.x()) + "," + num(pt.y()) + " ";
  QString svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">\n";
  svg += "  <defs>\n";
  // Top to bottom over the body, as the painter's gradient runs.
  svg += "    <linearGradient id=\"body\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n";
  svg += QStringLiteral("      <stop offset=\"0\" stop-color=\"%1\"/>\n").arg(svgColour(kBodyTop));
  svg += QStringLiteral("      <stop offset=\"1\" stop-color=\"%1\"/>\n").arg(svgColour(kBodyBottom));
  svg += "    </linearGradient>\n";
  svg += "  </defs>\n";
  svg += svgRect(kBody, QStringLiteral("fill=\"url(#body)\" stroke=\"%1\" stroke-width=\"1.5\"")
                            .arg(svgColour(kBodyEdge)));
  svg += svgRect(kScreen, QStringLiteral("fill=\"%1\" stroke=\"%2\" stroke-opacity=\"%3\" "
                                         "stroke-width=\"1\"")
                              .arg(svgColour(kScreenFill), svgColour(kScreenEdge),
                                   num(kScreenEdge.alphaF())));
  svg += QStringLiteral(
             "  <polyline points=\"%1\" fill=\"none\" stroke=\"%2\" stroke-width=\"2\" "
             "stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n")
             .arg(points.trimmed(), svgColour(kWave));
  svg += svgRect(kBarTrack, QStringLiteral("fill=\"%1\"").arg(svgColour(kTrack)));
  svg += svgRect(kBarFill, QStringLiteral("fill=\"%1\"").arg(svgColour(kFill)));
  svg += "</svg>\n";
  return svg;
}

}  // namespace vantrel::art
