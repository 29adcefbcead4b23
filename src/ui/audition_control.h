// SPDX-License-Identifier: MIT
#pragma once
// Listening and looking in the sample list: Space (or a middle click on a
// sample) plays the sample through the default audio output, hovering a
// sample for half a second (or P) shows its preview beside the list. Space
// again, Esc, another sample or another bank stops the sound; leaving the
// list, Esc or another sample closes the preview. Neither runs while a
// conversion job runs, and neither changes a file or a setting.

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class QAudioSink;

namespace vantrel {

class AuditionSource;
class LoadedBank;
class TForm1;
class WaveformPreview;

class AuditionControl : public QObject {
  Q_OBJECT
 public:
  // Watches the form's sample list.
  explicit AuditionControl(TForm1& form);
  ~AuditionControl() override;

  // Space: plays list row `row` (both channels of a row that stands for a
  // stereo pair, see SampleList::setPairs), or the picked pair in stereo
  // mode when `row` is one of two picks that pass the stereo pick test;
  // while a sound plays, stops it instead.
  void toggleSound(int row);
  // P: shows the preview of `row`, or closes it when it shows that row.
  void togglePreview(int row);
  // Shift+P: pins the preview beside the list, where it stays (leaving the
  // list does not close it) and shows the current sample as it changes;
  // Shift+P again, P or Esc closes it.
  void togglePinned();
  bool pinned() const noexcept { return pinned_; }
  // Stops the sound and closes the preview.
  void stopAll();

  // The list rows sounding, in channel order; empty when silent.
  const std::vector<int>& soundingRows() const noexcept { return rows_; }
  const AuditionSource* source() const noexcept { return source_; }
  WaveformPreview* preview() const noexcept { return preview_.get(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void play(int row);
  void stopSound();
  // `asked`: by the user (P), not by a hover.
  void showPreview(int row, bool asked);
  void closePreview();
  // The selected bank, loaded afresh; null (and the status line says why)
  // when it cannot be read or has no entry `row`.
  // `asked`: the user asked for it; a failure then shows the error box.
  std::shared_ptr<const LoadedBank> loadFor(int row, bool asked);
  bool keyPress(int key);
  void sinkStateChanged();

  TForm1& form_;
  QTimer hoverTimer_;
  QTimer endTimer_;  // the sound's last frames play out
  int hoverRow_ = -1;
  bool pinned_ = false;
  std::unique_ptr<WaveformPreview> preview_;
  // The sink playing and its source (a child of the sink), or null.
  QAudioSink* sink_ = nullptr;
  AuditionSource* source_ = nullptr;
  std::vector<int> rows_;
  QString statusBefore_;   // the status line before the sound started
  QString playingStatus_;  // the status line while it plays
};

}  // namespace vantrel
