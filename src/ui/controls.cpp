#include "ui/controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

#include "ui/artwork.h"
#include "ui/layout.h"

namespace vantrel {

FilledRect::FilledRect(QWidget* parent) : QWidget(parent) {}

void FilledRect::setFillColour(const QColor& colour) {
  colour_ = colour;
  update();
}

void FilledRect::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), colour_);
  // A thin shade along the lower edge sets the strip off the background.
  p.fillRect(0, height() - 1, width(), 1, colour_.darker(150));
}

GaugeBar::GaugeBar(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GaugeBar::setRange(std::int64_t min, std::int64_t max) {
  min_ = min;
  max_ = std::max(min, max);
  progress_ = std::clamp(progress_, min_, max_);
  update();
}

void GaugeBar::setProgress(std::int64_t progress) {
  progress_ = std::clamp(progress, min_, max_);
  update();
}

int GaugeBar::percentDone() const noexcept {
  const std::int64_t span = max_ - min_;
  if (span <= 0) return 0;
  return static_cast<int>((progress_ - min_) * 100 / span);
}

QString GaugeBar::text() const { return QString::asprintf("%d%%", percentDone()); }

void GaugeBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), layout::kGaugeColour);
  const int span = static_cast<int>(std::max<std::int64_t>(max_ - min_, 1));
  const int done = static_cast<int>(static_cast<double>(progress_ - min_) * width() / span);
  if (done > 0) {
    QLinearGradient bar(0, 0, 0, height());
    bar.setColorAt(0, QColor(240, 70, 60));
    bar.setColorAt(1, QColor(190, 20, 20));
    p.fillRect(QRect(0, 0, std::min(done, width()), height()), bar);
  }
  p.setFont(art::gaugeFont());
  p.setPen(Qt::white);
  p.drawText(rect(), Qt::AlignCenter, text());
}

TextBox::TextBox(Kind kind, QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setFrameShape(QFrame::NoFrame);
  if (kind == Kind::StatusLine) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(1);
  } else {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(2);
  }
}

void TextBox::setText(const QString& text) { setPlainText(text); }

QString TextBox::text() const { return toPlainText(); }

void TextBox::appendLine(const QString& line) {
  appendPlainText(line);
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TextBox::clearLines() { clear(); }

QStringList TextBox::lines() const {
  QStringList out;
  if (document()->isEmpty()) return out;
  for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) out << b.text();
  return out;
}

SampleList::SampleList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setFrameShape(QFrame::NoFrame);
  setUniformItemSizes(true);
}

void SampleList::setMultiSelect(bool multi) {
  setSelectionMode(multi ? QAbstractItemView::MultiSelection
                         : QAbstractItemView::SingleSelection);
  if (!multi) {
    // Back to one entry: keep only the current one selected.
    clearSelection();
    if (currentItem()) currentItem()->setSelected(true);
  }
}

bool SampleList::multiSelect() const {
  return selectionMode() == QAbstractItemView::MultiSelection;
}

QList<int> SampleList::selectedRows() const {
  QList<int> out;
  for (int k = 0; k < count(); ++k)
    if (item(k)->isSelected()) out << k;
  return out;
}

QItemSelectionModel::SelectionFlags SampleList::selectionCommand(const QModelIndex& index,
                                                                 const QEvent* event) const {
  // With two picks, the mouse moves only the current entry; the press
  // handler selects the picks.
  if (multiSelect() && event &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
       event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick))
    return QItemSelectionModel::NoUpdate;
  return QListWidget::selectionCommand(index, event);
}

void SampleList::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  emit mouseDown(event->button());
}

void SampleList::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a press like the first.
  QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
                    event->globalPosition(), event->button(), event->buttons(),
                    event->modifiers(), event->pointingDevice());
  mousePressEvent(&press);
  emit doubleClicked();
}

}  // namespace vantrel
