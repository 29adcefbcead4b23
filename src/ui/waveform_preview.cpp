// SPDX-License-Identifier: MIT
#include "ui/waveform_preview.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <bit>

#include "platform/text.h"
#include "ui/artwork.h"
#include "ui/audition.h"
#include "ui/layout.h"

namespace vantrel {
namespace {

constexpr int kWidth = 300;
constexpr int kTitleHeight = 18;
constexpr QRect kWaveArea{8, kTitleHeight + 6, kWidth - 16, 96};
constexpr int kMaxZoneLines = 6;

// Waveform colours: the list panels' cyan on the gauges' dark grey, the
// loop region in the boxes' teal.
constexpr QColor kWaveBack = layout::kGaugeColour;
constexpr QColor kWaveLine = layout::kTreeColour;
constexpr QColor kLoopShade = layout::kBoxColour;

QString count(std::int64_t n) { return QLocale(QLocale::English).toString(static_cast<qlonglong>(n)); }

QString seconds(double frames) { return QString::number(frames / kAuditionRate, 'f', 3) + QStringLiteral(" s"); }

// Key names with middle C (key 60) as C4.
QString key(int k) {
  static const char* const names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  return QStringLiteral("%1 (%2%3)").arg(k).arg(QLatin1String(names[((k % 12) + 12) % 12])).arg(k / 12 - 1);
}

}  // namespace

QStringList previewText(const PreviewModel& m) {
  QStringList lines;
  lines << QStringLiteral("Length  %1 frames   %2")
               .arg(count(static_cast<std::int64_t>(m.frames)), seconds(static_cast<double>(m.frames)));
  if (m.loopStart < 0 || m.loopEnd < m.loopStart) {
    lines << QStringLiteral("Loop  no loop");
  } else {
    QString loop = QStringLiteral("Loop  %1 \u2013 %2   %3 \u2013 %4")
                       .arg(count(m.loopStart), count(m.loopEnd), seconds(m.loopStart), seconds(m.loopEnd));
    if (!m.looped) loop += QStringLiteral("   (not looped)");
    lines << loop;
  }
  if (m.zones.empty()) lines << QStringLiteral("No zone plays this sample");
  const std::size_t shown = std::min<std::size_t>(m.zones.size(), kMaxZoneLines);
  for (std::size_t k = 0; k < shown; ++k) {
    const ZonePlay& z = m.zones[k];
    lines << QStringLiteral("Keys %1 \u2013 %2   Vel %3 \u2013 %4   Root %5")
                 .arg(key(z.keyLow), key(z.keyHigh))
                 .arg(z.velLow)
                 .arg(z.velHigh)
                 .arg(key(z.rootKey));
  }
  if (m.zones.size() > shown) lines << QStringLiteral("and %1 more zones").arg(m.zones.size() - shown);
  return lines;
}

namespace {

// The row of the wave area that value v is drawn at: the highest value at
// the top, the lowest at the bottom.
int levelY(int v) { return kWaveArea.top() + (32767 - v) * (kWaveArea.height() - 1) / 65535; }

// The column of the wave area that holds frame f.
int frameColumn(std::uint64_t f, std::uint64_t frames) {
  return static_cast<int>(f * static_cast<std::uint64_t>(kWaveArea.width()) / frames);
}

}  // namespace

std::vector<WaveColumn> waveColumns(const PcmArea& pcm, const SampleSpan& span, std::uint64_t frames,
                                    int columns) {
  std::vector<WaveColumn> out;
  if (frames == 0 || columns <= 0) return out;
  out.resize(static_cast<std::size_t>(columns));
  SoundPlan plan;
  plan.left = span;
  plan.frames = frames;
  plan.playFrames = frames;
  std::vector<std::int16_t> values;
  std::vector<std::uint8_t> scratch;
  const auto n = static_cast<std::uint64_t>(columns);
  for (std::uint64_t c = 0; c < n; ++c) {
    const std::uint64_t begin = std::min(c * frames / n, frames - 1);
    const std::uint64_t end = std::max((c + 1) * frames / n, begin + 1);
    const auto count = static_cast<std::size_t>(end - begin);
    if (values.size() < count) values.resize(count);
    renderFrames(pcm, plan, begin, count, reinterpret_cast<std::uint8_t*>(values.data()), scratch);
    std::int16_t lo = 32767, hi = -32768;
    for (std::size_t i = 0; i < count; ++i) {
      std::int16_t v = values[i];
      if constexpr (std::endian::native == std::endian::big) {
        const auto u = static_cast<std::uint16_t>(v);
        v = static_cast<std::int16_t>(static_cast<std::uint16_t>(u << 8 | u >> 8));
      }
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    out[c] = {lo, hi};
  }
  return out;
}

PreviewModel previewModel(const LoadedBank& loaded, std::uint16_t index, double pixelRatio) {
  const SampleBank& bank = loaded.bank();
  const SoundPlan plan = monoPlan(loaded, index);
  PreviewModel m;
  m.name = QString::fromStdString(latin1ToUtf8(bank.sampleName[index]));
  m.frames = plan.frames;
  m.loopStart = bank.loopStart[index];
  m.loopEnd = bank.loopEnd[index];
  m.looped = plan.looped;
  m.pixelRatio = pixelRatio > 1 ? pixelRatio : 1;
  m.columns = waveColumns(bank.pcm, plan.left, plan.frames,
                          static_cast<int>(std::lround(kWaveArea.width() * m.pixelRatio)));
  m.zones = loaded.zonesOf(index);
  return m;
}

QRect previewWaveArea() { return kWaveArea; }

QImage renderPreview(const PreviewModel& m) {
  const QFont font = art::windowFont();
  const QFontMetrics metrics(font);
  const QStringList lines = previewText(m);
  // Lines too long for the width wrap rather than lose their end.
  constexpr int kTextWidth = kWidth - 16;
  constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  std::vector<int> lineHeights;
  int textHeight = 0;
  for (const QString& line : lines) {
    lineHeights.push_back(metrics.boundingRect(QRect(0, 0, kTextWidth, 4096), kTextFlags, line).height());
    textHeight += lineHeights.back();
  }
  const int height = kWaveArea.bottom() + 8 + textHeight + 6;
  // Drawn at the screen's pixel ratio: a 2x screen gets twice the columns.
  const double ratio = m.pixelRatio;
  QImage image(static_cast<int>(std::lround(kWidth * ratio)), static_cast<int>(std::lround(height * ratio)),
               QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(layout::kWindowColour);
  QPainter p(&image);

  // Title strip with the sample's name.
  p.fillRect(0, 0, kWidth, kTitleHeight, layout::kBoxColour);
  p.fillRect(0, kTitleHeight - 1, kWidth, 1, layout::kBoxColour.darker(150));
  QFont bold = font;
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(Qt::white);
  p.drawText(QRect(6, 0, kWidth - 12, kTitleHeight - 1), Qt::AlignVCenter | Qt::AlignLeft,
             QFontMetrics(bold).elidedText(m.name, Qt::ElideMiddle, kWidth - 12));

  // Waveform: the loop region shaded behind it, the zero line, then one
  // vertical stroke per column from its lowest to its highest value.
  p.fillRect(kWaveArea, kWaveBack);
  if (m.frames > 0 && m.loopStart >= 0 && m.loopStart <= m.loopEnd &&
      static_cast<std::uint64_t>(m.loopEnd) < m.frames) {
    const int x0 = frameColumn(static_cast<std::uint64_t>(m.loopStart), m.frames);
    const int x1 = frameColumn(static_cast<std::uint64_t>(m.loopEnd), m.frames);
    p.fillRect(kWaveArea.left() + x0, kWaveArea.top(), x1 - x0 + 1, kWaveArea.height(), kLoopShade);
  }
  p.fillRect(kWaveArea.left(), levelY(0), kWaveArea.width(), 1, kWaveBack.lighter(160));
  const double column = 1.0 / ratio;
  for (std::size_t c = 0; c < m.columns.size(); ++c) {
    const int top = levelY(m.columns[c].max), bottom = levelY(m.columns[c].min);
    p.fillRect(QRectF(kWaveArea.left() + static_cast<double>(c) * column, top, column, bottom - top + 1), kWaveLine);
  }

  p.setFont(font);
  p.setPen(Qt::white);
  int y = kWaveArea.bottom() + 8;
  for (qsizetype k = 0; k < lines.size(); ++k) {
    const int h = lineHeights[static_cast<std::size_t>(k)];
    p.drawText(QRect(8, y, kTextWidth, h), kTextFlags, lines[k]);
    y += h;
  }
  p.setPen(layout::kBoxColour);
  p.drawRect(0, 0, kWidth - 1, height - 1);
  return image;
}

WaveformPreview::WaveformPreview(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  setObjectName(QStringLiteral("preview"));
}

void WaveformPreview::showModel(const PreviewModel& model, int row, QPoint topLeft) {
  picture_ = renderPreview(model);
  row_ = row;
  setFixedSize(picture_.deviceIndependentSize().toSize());
  move(topLeft);
  show();
  update();
}

void WaveformPreview::dismiss() {
  row_ = -1;
  hide();
}

void WaveformPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, picture_);
}

}  // namespace vantrel
