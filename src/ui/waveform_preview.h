// SPDX-License-Identifier: MIT
#pragma once
// The preview of a sample beside the sample list: its waveform (the lowest
// and highest value of the frames under each pixel column), its loop
// region shaded, its length and loop points in frames and seconds, and the
// zones that play it. Drawn in code in the window's colours and font.

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "ui/loaded_bank.h"
#include "writers/output_file.h"

namespace vantrel {

struct WaveColumn {
  std::int16_t min = 0, max = 0;
  bool operator==(const WaveColumn&) const = default;
};

// The lowest and highest of the first `frames` 16-bit frames of `span` in
// each of `columns` equal slices (a slice holds at least one frame when
// there are fewer frames than columns; no frames give no columns).
std::vector<WaveColumn> waveColumns(const PcmArea& pcm, const SampleSpan& span, std::uint64_t frames,
                                    int columns);

struct PreviewModel {
  QString name;
  std::uint64_t frames = 0;
  std::int32_t loopStart = 0, loopEnd = -1;  // frames, as the bank holds them
  bool looped = false;                       // a zone plays the sample looped
  double pixelRatio = 1;                     // device pixels per pixel
  std::vector<WaveColumn> columns;           // one per device pixel column of waveArea()
  std::vector<ZonePlay> zones;
};

// The preview of sample `index` of a loaded bank, for a screen of
// `pixelRatio` device pixels per pixel.
PreviewModel previewModel(const LoadedBank& loaded, std::uint16_t index, double pixelRatio = 1);

// The preview's lines of text below the waveform.
QStringList previewText(const PreviewModel& model);
// Where the waveform lies in the picture.
QRect previewWaveArea();
// The preview drawn as a picture at the model's pixel ratio; lines that do
// not fit its width wrap.
QImage renderPreview(const PreviewModel& model);

// The small window that shows a preview. It never takes the focus.
class WaveformPreview : public QWidget {
  Q_OBJECT
 public:
  explicit WaveformPreview(QWidget* parent = nullptr);

  // Shows the preview of list row `row` with its top left corner at
  // `topLeft` (global coordinates).
  void showModel(const PreviewModel& model, int row, QPoint topLeft);
  // Hides the window.
  void dismiss();
  // The row shown, -1 while hidden.
  int row() const noexcept { return row_; }
  const QImage& picture() const noexcept { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  int row_ = -1;
};

}  // namespace vantrel
