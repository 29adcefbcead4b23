// SPDX-License-Identifier: MIT
#include "ui/audition_control.h"

#include <QAudioSink>
#include <QKeyEvent>
#include <QMediaDevices>
#include <QMouseEvent>
#include <QScreen>
#include <QToolTip>

#include <algorithm>
#include <new>

#include "jobs/selection.h"
#include "platform/errors.h"
#include "ui/audition.h"
#include "ui/loaded_bank.h"
#include "ui/screen_place.h"
#include "ui/waveform_preview.h"
#include "ui/wavextract19.h"

namespace vantrel {
namespace {

constexpr int kHoverMs = 500;
// Time beyond its buffer's length that the sink is given to play out.
constexpr int kTailMs = 150;
constexpr const char* kNoAudioOutput = "No audio output";

}  // namespace

AuditionControl::AuditionControl(TForm1& form)
    : QObject(&form), form_(form), preview_(std::make_unique<WaveformPreview>()) {
  SampleList* list = form_.wavlist;
  list->installEventFilter(this);
  list->viewport()->installEventFilter(this);
  list->viewport()->setMouseTracking(true);
  form_.installEventFilter(this);

  hoverTimer_.setSingleShot(true);
  hoverTimer_.setInterval(kHoverMs);
  connect(&hoverTimer_, &QTimer::timeout, this, [this] {
    if (hoverRow_ >= 0) showPreview(hoverRow_, false);
  });
  // Another sample stops the sound and closes another sample's preview; a
  // new bank (the list refilled) stops both.
  connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!rows_.empty() && std::find(rows_.begin(), rows_.end(), row) == rows_.end()) stopSound();
    if (pinned_) {
      if (row >= 0) showPreview(row, false);
      return;
    }
    if (preview_->row() >= 0 && preview_->row() != row) closePreview();
  });
  connect(list->model(), &QAbstractItemModel::modelReset, this, &AuditionControl::stopAll);
  endTimer_.setSingleShot(true);
  connect(&endTimer_, &QTimer::timeout, this, &AuditionControl::stopSound);
}

AuditionControl::~AuditionControl() { stopSound(); }

void AuditionControl::stopAll() {
  hoverTimer_.stop();
  stopSound();
  closePreview();
}

std::shared_ptr<const LoadedBank> AuditionControl::loadFor(int row, bool asked) {
  // A running job holds the bank's state: not even its path is read then.
  if (row < 0 || form_.jobRunning()) return nullptr;
  const std::string path = form_.state().shown.ttiPath;
  if (path.empty()) return nullptr;
  std::string failure;
  try {
    auto loaded = LoadedBank::load(path);
    if (static_cast<std::uint32_t>(row) < loaded->bank().sampleCount) return loaded;
    form_.status("No sample selected");
    return nullptr;
  } catch (const RunError& e) {
    failure = e.message();
  } catch (const std::bad_alloc&) {
    failure = "Out of memory";
  }
  form_.status(failure);
  // What the user asked for (Space, a middle click, P) says why it failed
  // in a box naming the bank; a hover only in the status line.
  if (asked) form_.showError(QString::fromStdString(failure), path);
  return nullptr;
}

// ---- Sound ----

void AuditionControl::toggleSound(int row) {
  if (sink_) {
    stopSound();
    return;
  }
  play(row);
}

void AuditionControl::play(int row) {
  const auto loaded = loadFor(row, true);
  if (!loaded) return;
  const auto index = static_cast<std::uint16_t>(row);
  const StereoPicks& picks = form_.state().picks;
  // In stereo mode the two picks play as one stereo sound when they form a
  // pair, the smaller index left.
  SoundPlan plan = monoPlan(*loaded, index);
  std::vector<int> rows{row};
  if (form_.state().stereo() && form_.wavlist->multiSelect() &&
      (index == picks.current || index == picks.previous) &&
      stereoPickTest(loaded->bank(), picks.current, picks.previous)) {
    const std::uint16_t left = std::min(picks.current, picks.previous);
    const std::uint16_t right = std::max(picks.current, picks.previous);
    plan = stereoPlan(*loaded, left, right);
    rows = {left, right};
  } else if (const int partner = form_.wavlist->pairedRow(row);
             partner >= 0 && static_cast<std::uint32_t>(partner) < loaded->bank().sampleCount) {
    // A row that stands for a stereo pair plays both channels.
    plan = stereoPlan(*loaded, index, static_cast<std::uint16_t>(partner));
    rows = {row, partner};
  }

  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    form_.status(kNoAudioOutput);
    return;
  }
  auto* source = new AuditionSource(loaded, plan);
  sink_ = new QAudioSink(device, source->format(), this);
  source->setParent(sink_);
  source_ = source;
  rows_ = rows;
  connect(sink_, &QAudioSink::stateChanged, this, &AuditionControl::sinkStateChanged);
  sink_->start(source_);
  if (sink_ && sink_->error() == QAudio::OpenError) {
    stopSound();
    form_.status(kNoAudioOutput);
    return;
  }
  // The status line says what plays and how to stop it, and gets its text
  // back when the sound ends.
  statusBefore_ = form_.headl->text();
  QStringList names;
  for (int r : rows_) names << form_.wavlist->item(r)->text();
  playingStatus_ = QStringLiteral("playing %1 \u2013 Space or Esc stops").arg(names.join(QStringLiteral(" + ")));
  form_.headl->setText(playingStatus_);
}

void AuditionControl::sinkStateChanged() {
  if (!sink_) return;
  const bool drained = sink_->state() == QAudio::IdleState && source_->bytesAvailable() == 0;
  const bool failed = sink_->state() == QAudio::StoppedState && sink_->error() != QAudio::NoError;
  if (drained && source_->failure().empty()) {
    // The sink has taken the last frames, but its buffer still plays them:
    // stopping now would cut them off.
    const qint64 buffered = std::max<qint64>(0, sink_->bufferSize() - sink_->bytesFree());
    const qint64 bytesPerSecond = static_cast<qint64>(kAuditionRate) * 2 * source_->plan().channels;
    endTimer_.start(static_cast<int>(buffered * 1000 / bytesPerSecond) + kTailMs);
    return;
  }
  if (!drained && !failed) return;
  const std::string failure = source_->failure();
  const bool noOutput = failed && sink_->error() == QAudio::OpenError;
  stopSound();
  if (!failure.empty()) form_.status(failure);
  else if (noOutput) form_.status(kNoAudioOutput);
}

void AuditionControl::stopSound() {
  rows_.clear();
  endTimer_.stop();
  if (!sink_) return;
  if (form_.headl->text() == playingStatus_) form_.headl->setText(statusBefore_);
  QAudioSink* sink = sink_;
  sink_ = nullptr;
  source_ = nullptr;
  sink->disconnect(this);
  sink->stop();
  // The sink may be reporting a change of its state right now.
  sink->deleteLater();
}

// ---- Preview ----

void AuditionControl::togglePreview(int row) {
  if (preview_->row() == row && row >= 0) {
    closePreview();
    return;
  }
  showPreview(row, true);
}

void AuditionControl::showPreview(int row, bool asked) {
  if (!form_.wavlist->isVisible()) return;
  const auto loaded = loadFor(row, asked);
  if (!loaded) return;
  const PreviewModel model =
      previewModel(*loaded, static_cast<std::uint16_t>(row), form_.wavlist->devicePixelRatioF());
  // Beside the list, past the list's button, on the right; on the left
  // where the screen ends first.
  QWidget* list = form_.wavlist;
  alignWindowPlace(list);
  const QPoint listTop = list->mapToGlobal(QPoint(0, 0));
  const int right = form_.wavextr->mapToGlobal(QPoint(form_.wavextr->width(), 0)).x() + 6;
  QPoint at(right, listTop.y());
  const QImage picture = renderPreview(model);
  if (const QScreen* screen = list->screen()) {
    const int width = picture.deviceIndependentSize().toSize().width();
    if (at.x() + width > screen->availableGeometry().right()) at.setX(listTop.x() - 6 - width);
  }
  // No tooltip of the list lies over it.
  QToolTip::hideText();
  preview_->showModel(model, row, at);
}

void AuditionControl::closePreview() {
  pinned_ = false;
  preview_->dismiss();
}

void AuditionControl::togglePinned() {
  if (pinned_) {
    closePreview();
    return;
  }
  const int row = form_.wavlist->currentRow();
  if (row < 0) return;
  showPreview(row, true);
  pinned_ = preview_->row() == row;
}

// ---- Keys and pointer ----

bool AuditionControl::keyPress(int key) {
  SampleList* list = form_.wavlist;
  switch (key) {
    case Qt::Key_Space: toggleSound(list->currentRow()); return true;
    case Qt::Key_P: togglePreview(list->currentRow()); return true;
    case Qt::Key_Escape:
      if (!sink_ && preview_->row() < 0) return false;
      stopAll();
      return true;
    default: return false;
  }
}

bool AuditionControl::eventFilter(QObject* watched, QEvent* event) {
  SampleList* list = form_.wavlist;
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool shiftP = key->key() == Qt::Key_P && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
    if ((key->modifiers() & ~Qt::KeypadModifier) && !shiftP) return false;
    // Space and P belong to the list; Esc, while something sounds or shows,
    // wherever the focus is.
    const bool mine = key->key() == Qt::Key_Escape ? (sink_ || preview_->row() >= 0) : watched == list;
    if (!mine || (key->key() != Qt::Key_Space && key->key() != Qt::Key_P && key->key() != Qt::Key_Escape))
      return false;
    // Taking the shortcut check keeps a window shortcut for the same key
    // from firing; the key press follows.
    if (type == QEvent::ShortcutOverride) {
      event->accept();
      return true;
    }
    if (shiftP) {
      togglePinned();
      return true;
    }
    return keyPress(key->key());
  }
  // A hidden list or a minimised window ends both.
  if ((watched == list || watched == &form_) && type == QEvent::Hide) {
    stopAll();
    return false;
  }
  if (watched != list->viewport()) return false;
  switch (type) {
    case QEvent::ToolTip:
      // The list's own tooltip would lie over the preview.
      return preview_->row() >= 0;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::MiddleButton) return false;
      // A middle click plays the sample under the pointer; the list's
      // current entry and picks stay as they are.
      if (type == QEvent::MouseButtonPress) {
        const int row = list->indexAt(mouse->position().toPoint()).row();
        if (row < 0) return true;
        const bool sounding = std::find(rows_.begin(), rows_.end(), row) != rows_.end();
        stopSound();
        if (!sounding) play(row);
      }
      return true;
    }
    case QEvent::MouseMove: {
      const int row = list->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).row();
      if (row == hoverRow_ || pinned_) return false;
      hoverRow_ = row;
      if (preview_->row() >= 0 && preview_->row() != row) closePreview();
      if (row >= 0) hoverTimer_.start();
      else hoverTimer_.stop();
      return false;
    }
    case QEvent::Leave:
      hoverRow_ = -1;
      hoverTimer_.stop();
      if (!pinned_) closePreview();
      return false;
    default: return false;
  }
}

}  // namespace vantrel
