// SPDX-License-Identifier: MIT
#include "ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVector>

#include <cmath>

#include "ui/app_icon.h"
#include "ui/layout.h"

namespace vantrel::art {
namespace {

const QColor kInk{228, 232, 232};         // headings
const QColor kSoftInk{150, 204, 208};     // captions
const QColor kDimInk{160, 190, 192};      // small print
const QColor kPanel{66, 66, 66};
const QColor kPanelLight{86, 86, 86};
const QColor kPanelDark{42, 42, 42};
const QColor kRecess{34, 34, 34};
const QColor kTeal = layout::kBoxColour;
const QColor kCyan = layout::kTreeColour;

QFont font(int pixels, bool bold = false, const QStringList& families = {}) {
  QFont f;
  QStringList all = families;
  all << QStringLiteral("DejaVu Sans") << QStringLiteral("Liberation Sans")
      << QStringLiteral("Arial") << QStringLiteral("Sans Serif");
  f.setFamilies(all);
  f.setPixelSize(pixels);
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

QPixmap blank(QSize size) {
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  return pm;
}

// A sunken frame one pixel outside `r`.
void recess(QPainter& p, const QRect& r) {
  p.setPen(Qt::NoPen);
  p.setBrush(kRecess);
  p.drawRect(r.adjusted(-1, -1, 1, 1));
  p.setPen(kPanelLight);
  p.drawLine(r.left() - 1, r.bottom() + 1, r.right() + 1, r.bottom() + 1);
  p.drawLine(r.right() + 1, r.top() - 1, r.right() + 1, r.bottom() + 1);
}

void panel(QPainter& p, const QRect& r, int number, const QString& title, const QString& caption) {
  QLinearGradient face(0, r.top(), 0, r.bottom());
  face.setColorAt(0, kPanel.lighter(106));
  face.setColorAt(1, kPanel.darker(108));
  p.setPen(QPen(kPanelDark, 1));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
  p.setPen(QPen(kPanelLight, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);

  // Step number, title and what the panel holds.
  const QPointF badge(r.left() + 16, r.top() + 14);
  p.setPen(QPen(kTeal.darker(140), 1));
  p.setBrush(kTeal);
  p.drawEllipse(badge, 8, 8);
  p.setPen(kCyan);
  p.setFont(font(10, true));
  p.drawText(QRectF(badge.x() - 8, badge.y() - 8, 16, 16), Qt::AlignCenter, QString::number(number));
  p.setPen(kInk);
  p.setFont(font(11, true));
  p.drawText(QPointF(r.left() + 29, r.top() + 13), title);
  p.setPen(kSoftInk);
  p.setFont(font(9));
  p.drawText(QPointF(r.left() + 29, r.top() + 25), caption);
}

// A button's caption, written downwards in the column below or above it.
void columnCaption(QPainter& p, double centreX, double top, double bottom, const QString& text) {
  p.save();
  p.setFont(font(9, true));
  p.setPen(kSoftInk);
  p.translate(centreX, top);
  p.rotate(90);
  const QRectF box(0, -6, bottom - top, 12);
  p.drawText(box, Qt::AlignCenter, text);
  // Hairlines either side of the caption lead the eye to the button.
  const int textWidth = p.fontMetrics().horizontalAdvance(text);
  const double gap = (box.width() - textWidth) / 2 - 5;
  if (gap > 4) {
    p.setPen(QPen(QColor(kSoftInk.red(), kSoftInk.green(), kSoftInk.blue(), 70), 1));
    p.drawLine(QPointF(2, 0.5), QPointF(gap, 0.5));
    p.drawLine(QPointF(box.width() - gap, 0.5), QPointF(box.width() - 2, 0.5));
  }
  p.restore();
}

void gaugeMark(QPainter& p, const QRect& gauge, const QString& what) {
  recess(p, gauge);
  p.setFont(font(9));
  p.setPen(kDimInk);
  const QString label = QStringLiteral("PROGRESS  \u00b7  ") + what;
  p.drawText(QPointF(gauge.left(), gauge.bottom() + 14), label);
}

void glyph(QPainter& p, ActionGlyph which, const QColor& ink, const QColor& fill) {
  p.setRenderHint(QPainter::Antialiasing);
  switch (which) {
    case ActionGlyph::Folder: {
      QPainterPath f;
      f.moveTo(3.5, 5.5);
      f.lineTo(7.0, 5.5);
      f.lineTo(8.5, 7.0);
      f.lineTo(13.5, 7.0);
      f.lineTo(13.5, 12.5);
      f.lineTo(3.5, 12.5);
      f.closeSubpath();
      p.setPen(QPen(ink, 1));
      p.setBrush(fill);
      p.drawPath(f);
      p.drawLine(QPointF(3.5, 8.5), QPointF(13.5, 8.5));
      break;
    }
    case ActionGlyph::Drive: {
      p.setPen(QPen(ink, 1));
      p.setBrush(fill);
      p.drawRoundedRect(QRectF(2.5, 6.5, 12, 5), 1.2, 1.2);
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawEllipse(QPointF(12.0, 9.0), 1.0, 1.0);
      p.drawRect(QRectF(4.5, 8.5, 4, 1));
      break;
    }
    case ActionGlyph::File: {
      QPainterPath f;
      f.moveTo(4.5, 2.5);
      f.lineTo(10.0, 2.5);
      f.lineTo(12.5, 5.0);
      f.lineTo(12.5, 14.5);
      f.lineTo(4.5, 14.5);
      f.closeSubpath();
      p.setPen(QPen(ink, 1));
      p.setBrush(fill);
      p.drawPath(f);
      p.drawLine(QPointF(6.5, 8.5), QPointF(10.5, 8.5));
      p.drawLine(QPointF(6.5, 11.0), QPointF(10.5, 11.0));
      break;
    }
    case ActionGlyph::Samples: {
      QVector<QPointF> wave;
      for (int k = 0; k <= 24; ++k) {
        double t = k / 24.0;
        wave << QPointF(2.5 + 12 * t, 8.5 - 4.5 * std::sin(t * 2.5 * 2 * M_PI) * (1 - 0.5 * t));
      }
      p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(wave);
      break;
    }
  }
}

QPixmap actionFace(ActionGlyph which, bool on, bool down) {
  QPixmap pm = blank(QSize(17, 17));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body(0.5, 0.5, 16, 16);
  QLinearGradient face(0, 0, 0, 17);
  QColor edge, ink, fill;
  if (on) {
    face.setColorAt(0, down ? QColor(34, 78, 82) : QColor(96, 178, 184));
    face.setColorAt(1, down ? QColor(44, 96, 100) : QColor(42, 98, 104));
    edge = QColor(16, 40, 42);
    ink = down ? QColor(190, 250, 255) : QColor(240, 255, 255);
    fill = down ? QColor(40, 110, 116) : QColor(72, 150, 156);
  } else {
    face.setColorAt(0, down ? QColor(46, 46, 46) : QColor(88, 88, 88));
    face.setColorAt(1, down ? QColor(54, 54, 54) : QColor(62, 62, 62));
    edge = QColor(30, 30, 30);
    ink = QColor(128, 128, 128);
    fill = down ? QColor(58, 58, 58) : QColor(74, 74, 74);
  }
  p.setPen(QPen(edge, 1));
  p.setBrush(face);
  p.drawRoundedRect(body, 3, 3);
  if (!down) {
    // Light from above on a raised face.
    p.setPen(QPen(QColor(255, 255, 255, on ? 70 : 40), 1));
    p.drawLine(QPointF(3, 1.5), QPointF(14, 1.5));
  }
  if (down) p.translate(0.8, 0.8);
  glyph(p, which, ink, fill);
  return pm;
}

void titleFace(QPainter& p, QSize size, bool down, const QColor& downColour) {
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient face(0, 0, 0, size.height());
  if (down) {
    face.setColorAt(0, downColour.darker(130));
    face.setColorAt(1, downColour);
  } else {
    face.setColorAt(0, QColor(92, 92, 92));
    face.setColorAt(1, QColor(60, 60, 60));
  }
  p.setPen(QPen(QColor(24, 24, 24), 1));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 2.5, 2.5);
  if (!down) {
    p.setPen(QPen(QColor(255, 255, 255, 45), 1));
    p.drawLine(QPointF(2.5, 1.5), QPointF(size.width() - 2.5, 1.5));
  }
}

void titleGlyph(QPainter& p, TitleGlyph which, QSize size, const QColor& ink) {
  const double cx = size.width() / 2.0, cy = size.height() / 2.0;
  switch (which) {
    case TitleGlyph::About:
      p.setPen(ink);
      p.setFont(font(9, true));
      p.drawText(QRectF(0, 0, size.width(), size.height()), Qt::AlignCenter, QStringLiteral("about"));
      break;
    case TitleGlyph::Minimise:
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawRect(QRectF(cx - 3.5, cy + 2, 7, 1.6));
      break;
    case TitleGlyph::Maximise: {
      p.setPen(QPen(ink, 1));
      p.setBrush(Qt::NoBrush);
      const QRectF box(cx - 3.5, cy - 3, 7, 6);
      p.drawRect(box);
      p.drawLine(box.topLeft() + QPointF(0, 1), box.topRight() + QPointF(0, 1));
      break;
    }
    case TitleGlyph::Restore: {
      // Two windows, one behind the other.
      p.setPen(QPen(ink, 1));
      p.setBrush(Qt::NoBrush);
      const QRectF back(cx - 1.5, cy - 4, 5, 4.5), front(cx - 3.5, cy - 1.5, 5, 4.5);
      p.drawLine(back.topLeft(), back.topRight());
      p.drawLine(back.topRight(), back.bottomRight());
      p.drawLine(back.topLeft(), QPointF(back.left(), front.top()));
      p.drawLine(QPointF(front.right(), back.bottom()), back.bottomRight());
      p.drawRect(front);
      p.drawLine(front.topLeft() + QPointF(0, 1), front.topRight() + QPointF(0, 1));
      break;
    }
    case TitleGlyph::Close:
      p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(cx - 3, cy - 3), QPointF(cx + 3, cy + 3));
      p.drawLine(QPointF(cx + 3, cy - 3), QPointF(cx - 3, cy + 3));
      break;
  }
}

}  // namespace

QFont windowFont() {
  QFont f = font(11, false, {QStringLiteral("MS Sans Serif")});
  return f;
}

QFont gaugeFont() { return font(9, false, {QStringLiteral("Small Fonts")}); }

QPixmap background() { return background(layout::Placement(QSize(layout::kWindowWidth, layout::kWindowHeight))); }

QPixmap background(const layout::Placement& at) {
  using Grow = layout::Placement::Grow;
  const QRect area = layout::kImage1.adjusted(0, 0, at.extraWidth(), at.extraHeight());
  QPixmap pm(area.size());
  QPainter p(&pm);
  p.translate(-area.topLeft());
  QLinearGradient base(0, area.top(), 0, area.bottom());
  base.setColorAt(0, QColor(60, 60, 60));
  base.setColorAt(1, QColor(52, 52, 52));
  p.fillRect(area, base);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  // The four panels, left to right, in the order of the work.
  panel(p, at.place(QRect(10, 26, 178, 332), Grow::WideTall), 1, QStringLiteral("SOURCE"),
        QStringLiteral("drive and folder"));
  panel(p, at.place(QRect(194, 26, 178, 332), Grow::WideTall), 2, QStringLiteral("TTI FILES"),
        QStringLiteral("banks in the source folder"));
  panel(p, at.place(QRect(378, 26, 244, 332), Grow::WideTall), 3, QStringLiteral("STATUS AND SAMPLES"),
        QStringLiteral("samples of the selected bank"));
  panel(p, at.place(QRect(628, 26, 156, 332), Grow::WideTall), 4, QStringLiteral("TARGET"),
        QStringLiteral("drive and folder"));

  const QRect dir1 = at.place(layout::kDir1, Grow::WideTall), file1 = at.place(layout::kFile1, Grow::WideTall),
              destin = at.place(layout::kDestin, Grow::WideTall), headl = at.place(layout::kHeadl, Grow::Wide),
              wavlist = at.place(layout::kWavlist, Grow::WideTall);
  const QRect complete = at.place(layout::kComplete), extrdrive = at.place(layout::kExtrdrive),
              extract = at.place(layout::kExtract), wavextr = at.place(layout::kWavextr);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const QRect& r : {dir1, file1, destin}) recess(p, r.adjusted(0, 0, 0, -1));
  recess(p, QRect(headl.topLeft(), QPoint(wavlist.right(), wavlist.bottom() - 1)));
  for (const QRect& r : {layout::kDriveComboBox1, layout::kFilterComboBox1, layout::kInto, layout::kDriveComboBox2})
    recess(p, at.place(r, Grow::Wide));
  for (const QRect& r : {complete, extrdrive, extract, wavextr}) recess(p, r.adjusted(1, 1, -1, -1));
  p.setRenderHint(QPainter::Antialiasing);

  // The buttons, named along the columns beside the lists.
  const auto centre = [](const QRect& r) { return r.left() + r.width() / 2.0; };
  const int half = at.extraHeight() / 2;
  columnCaption(p, centre(complete), complete.bottom() + 6, 178 + half, QStringLiteral("CONVERT FOLDER"));
  columnCaption(p, centre(extrdrive), 190 + half, extrdrive.top() - 5, QStringLiteral("CONVERT DRIVE"));
  columnCaption(p, centre(extract), extract.bottom() + 6, 284 + at.extraHeight(), QStringLiteral("CONVERT FILE"));
  columnCaption(p, centre(wavextr), wavextr.bottom() + 6, 284 + at.extraHeight(),
                QStringLiteral("EXTRACT SAMPLES"));

  // Each gauge marked as progress.
  p.setRenderHint(QPainter::Antialiasing, false);
  gaugeMark(p, at.place(layout::kGauge3, Grow::Wide), QStringLiteral("DRIVE"));
  gaugeMark(p, at.place(layout::kGauge2, Grow::Wide), QStringLiteral("FOLDER"));
  gaugeMark(p, at.place(layout::kGauge1, Grow::Wide), QStringLiteral("SAMPLES OF THE BANK"));
  p.setRenderHint(QPainter::Antialiasing);

  // The product's mark in the target panel.
  const QPoint mark = at.place(QRect(640, 318, 0, 0)).topLeft() - QPoint(640, 318);
  p.save();
  p.translate(QPoint(640, 318) + mark);
  paintAppIcon(p, 28);
  p.restore();
  p.setPen(kCyan);
  p.setFont(font(16, true));
  p.drawText(QPointF(676, 334) + mark, QStringLiteral("Vantrel"));
  p.setPen(kDimInk);
  p.setFont(font(9));
  p.drawText(QPointF(677, 346) + mark, QStringLiteral("TTI bank converter"));
  p.end();
  return pm;
}

ActionPictures actionButton(ActionGlyph glyph) {
  return {actionFace(glyph, false, false), actionFace(glyph, false, true),
          actionFace(glyph, true, false), actionFace(glyph, true, true)};
}

TitlePictures titleButton(TitleGlyph which, QSize size) {
  const QColor downColour = which == TitleGlyph::Close ? QColor(200, 44, 40) : QColor(58, 107, 112);
  TitlePictures out{blank(size), blank(size)};
  {
    QPainter p(&out.up);
    titleFace(p, size, false, downColour);
    titleGlyph(p, which, size, QColor(230, 230, 230));
  }
  {
    QPainter p(&out.down);
    titleFace(p, size, true, downColour);
    p.translate(0.6, 0.6);
    titleGlyph(p, which, size, Qt::white);
  }
  return out;
}

Inks inks() { return {kInk, kSoftInk, kDimInk, kPanel.darker(108)}; }

QString aboutText() {
  return QStringLiteral("Turns the sample banks of .tti files into 16-bit WAV files (mono or stereo pairs), "
                        "SoundFont 2 (SF2), SF3 and DLS files, and SFZ, DecentSampler and Bitwig multisample "
                        "instruments. Bank files are only read, never changed.");
}

QPixmap aboutPicture() {
  const QSize size(400, 250);
  QPixmap pm(size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient base(0, 0, 0, size.height());
  base.setColorAt(0, QColor(72, 72, 72));
  base.setColorAt(1, QColor(38, 38, 38));
  p.fillRect(QRect(QPoint(0, 0), size), base);

  // Faint waves behind the title.
  for (int line = 0; line < 5; ++line) {
    QVector<QPointF> wave;
    for (int x = 0; x <= size.width(); x += 4) {
      double t = x / double(size.width());
      wave << QPointF(x, 150 + line * 9 + 14 * std::sin(t * (3 + line) * M_PI + line) * (1 - t * 0.6));
    }
    p.setPen(QPen(QColor(149, 250, 255, 18 + line * 4), 1.2));
    p.drawPolyline(wave);
  }

  p.save();
  p.translate(28, 30);
  paintAppIcon(p, 72);
  p.restore();

  p.setPen(kCyan);
  p.setFont(font(38, true));
  p.drawText(QPointF(118, 74), QStringLiteral("Vantrel"));
  p.setPen(kInk);
  p.setFont(font(15, true));
  p.drawText(QPointF(121, 98), QStringLiteral("Version " VANTREL_VERSION));
  p.setPen(kSoftInk);
  p.setFont(font(11));
  p.drawText(QPointF(121, 117), QStringLiteral("TTI sample bank converter"));

  p.setPen(QPen(QColor(149, 250, 255, 60), 1));
  p.drawLine(QPointF(28, 132.5), QPointF(372, 132.5));

  p.setPen(QColor(210, 214, 214));
  p.setFont(font(11));
  p.drawText(QRectF(28, 140, 344, 76), Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, aboutText());
  p.setPen(kDimInk);
  p.setFont(font(10));
  p.drawText(QPointF(28, 232), QStringLiteral("\u00a9 The Vantrel developers"));
  p.drawText(QRectF(200, 220, 172, 16), Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("click to close"));

  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(kTeal, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(0, 0, size.width() - 1, size.height() - 1);
  p.setPen(QPen(QColor(24, 24, 24), 1));
  p.drawRect(1, 1, size.width() - 3, size.height() - 3);
  return pm;
}

QPixmap imageGlyph() {
  // A disc: a silver ring around a dark hub, with a light arc on its face.
  QPixmap pm = blank(QSize(14, 11));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF disc(2.0, 0.5, 10.0, 10.0);
  p.setPen(QPen(QColor(40, 80, 84), 1));
  p.setBrush(QColor(200, 210, 218));
  p.drawEllipse(disc);
  p.setPen(QPen(QColor(250, 252, 255), 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(disc.adjusted(1.8, 1.8, -1.8, -1.8), 30 * 16, 70 * 16);
  p.setPen(QPen(QColor(40, 80, 84), 1));
  p.setBrush(QColor(90, 110, 120));
  p.drawEllipse(QPointF(7.0, 5.5), 1.6, 1.6);
  return pm;
}

QPixmap folderGlyph(bool open) {
  QPixmap pm = blank(QSize(14, 11));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor edge(40, 80, 84), face = open ? QColor(250, 214, 110) : QColor(232, 190, 88);
  QPainterPath back;
  back.moveTo(0.5, 1.5);
  back.lineTo(4.5, 1.5);
  back.lineTo(6.0, 3.0);
  back.lineTo(12.5, 3.0);
  back.lineTo(12.5, 9.5);
  back.lineTo(0.5, 9.5);
  back.closeSubpath();
  p.setPen(QPen(edge, 1));
  p.setBrush(face.darker(112));
  p.drawPath(back);
  if (open) {
    QPainterPath front;
    front.moveTo(0.5, 9.5);
    front.lineTo(2.5, 5.0);
    front.lineTo(13.5, 5.0);
    front.lineTo(12.0, 9.5);
    front.closeSubpath();
    p.setBrush(face);
    p.drawPath(front);
  } else {
    p.setBrush(face);
    p.drawRect(QRectF(0.5, 4.5, 12, 5));
  }
  return pm;
}

QPixmap driveGlyph() {
  QPixmap pm = blank(QSize(14, 11));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient face(0, 3, 0, 9);
  face.setColorAt(0, QColor(214, 220, 220));
  face.setColorAt(1, QColor(150, 160, 160));
  p.setPen(QPen(QColor(30, 40, 40), 1));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(0.5, 3.5, 13, 6), 1.5, 1.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 220, 90));
  p.drawEllipse(QPointF(11, 6.5), 1.1, 1.1);
  return pm;
}

}  // namespace vantrel::art
