// SPDX-License-Identifier: MIT
#include "ui/controls.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <QApplication>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>

#include <algorithm>

#include "jobs/output_formats.h"
#include "ui/artwork.h"
#include "ui/layout.h"
#include "ui/screen_place.h"

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

TextBox::TextBox(Kind kind, QWidget* parent) : QPlainTextEdit(parent), kind_(kind) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setFrameShape(QFrame::NoFrame);
  if (kind == Kind::StatusLine) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(1);
    // Nothing to do there with the keyboard: no Tab stop.
    setFocusPolicy(Qt::NoFocus);
  } else {
    // A scroll bar only when there is something to scroll.
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(2);
    // The oldest lines go beyond this many.
    setMaximumBlockCount(kLogLineLimit);
  }
}

void TextBox::setText(const QString& text) {
  if (kind_ == Kind::Log) {
    setPlainText(text);
    return;
  }
  whole_ = text;
  fitStatusText();
}

QString TextBox::text() const { return kind_ == Kind::Log ? toPlainText() : whole_; }

int TextBox::textRoom() const {
  // The document's margins on both sides, and the caret's pixel.
  return viewport()->width() - 2 * static_cast<int>(document()->documentMargin()) - 1;
}

void TextBox::fitStatusText() {
  constexpr int kSmallestPixels = 9;
  const QFont base = font();
  const int room = textRoom();
  QFont f = base;
  for (int px = base.pixelSize(); px >= kSmallestPixels; --px) {
    f.setPixelSize(px);
    if (QFontMetrics(f).horizontalAdvance(whole_) <= room) {
      document()->setDefaultFont(f);
      setPlainText(whole_);
      setToolTip(QString());
      return;
    }
  }
  document()->setDefaultFont(base);
  setPlainText(QFontMetrics(base).elidedText(whole_, Qt::ElideRight, room));
  setToolTip(whole_);
}

void TextBox::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  if (kind_ == Kind::StatusLine) fitStatusText();
}

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

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent) {
  connect(this, &QComboBox::currentIndexChanged, this, &ComboBox::updateToolTip);
}

void ComboBox::setPurpose(const QString& purpose) {
  purpose_ = purpose;
  updateToolTip();
}

int ComboBox::textRoom() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  // An entry's glyph and its gap come before the text.
  const bool glyph = currentIndex() >= 0 && !itemIcon(currentIndex()).isNull();
  return field.width() - (glyph ? iconSize().width() + 4 : 0);
}

bool ComboBox::shownTextCut() const { return fontMetrics().horizontalAdvance(wholeText()) > textRoom(); }

QString ComboBox::shownText() const {
  return shownTextCut() ? fontMetrics().elidedText(wholeText(), Qt::ElideMiddle, textRoom()) : wholeText();
}

void ComboBox::setNote(const QString& note) {
  note_ = note;
  updateToolTip();
  update();
}

void ComboBox::showPopup() {
  alignWindowPlace(this);
  QComboBox::showPopup();
}

void ComboBox::updateToolTip() { setToolTip(shownTextCut() ? wholeText() : purpose_); }

void ComboBox::resizeEvent(QResizeEvent* event) {
  QComboBox::resizeEvent(event);
  updateToolTip();
}

void ComboBox::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  p.drawComplexControl(QStyle::CC_ComboBox, option);
  if (currentIndex() < 0 && !placeholderText().isEmpty()) {
    option.palette.setBrush(QPalette::ButtonText, option.palette.placeholderText());
    option.currentText = placeholderText();
  } else {
    option.currentText = shownText();
  }
  p.drawControl(QStyle::CE_ComboBoxLabel, option);
  if (hasFocus()) {
    // A solid mark in the text's colour, at the text's contrast.
    p.setPen(QPen(palette().color(QPalette::ButtonText), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(2, 2, -2, -2));
  }
}

QString shortName(const QString& name, const QFontMetrics& metrics, int room) {
  if (metrics.horizontalAdvance(name) <= room) return name;
  QString rest = name;
  QStringList shorter;
  for (const OutputFormat& format : outputFormats()) {
    const QString prefix = QString::fromUtf8(format.bankFolderPrefix.data(),
                                             static_cast<qsizetype>(format.bankFolderPrefix.size()));
    if (prefix.isEmpty() || !name.startsWith(prefix) || name.size() == prefix.size()) continue;
    rest = name.mid(prefix.size());
    const QString word = prefix.chopped(1).section(QLatin1Char('_'), -1);
    shorter = {word + QLatin1Char('_'), word.left(1) + QLatin1Char('_')};
    break;
  }
  for (const QString& prefix : shorter)
    if (metrics.horizontalAdvance(prefix + rest) <= room) return prefix + rest;
  const QString lead = shorter.isEmpty() ? QString() : shorter.last();
  return lead + metrics.elidedText(rest, Qt::ElideMiddle, std::max(0, room - metrics.horizontalAdvance(lead)));
}

namespace {

// Draws each entry as shortName gives it for the room the list shows.
class NameDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  static int room(const QStyleOptionViewItem& option) {
    const QWidget* widget = option.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
    int right = text.right();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(widget))
      right = std::min(right, view->viewport()->width() - 1);
    // The style's margin on either side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return right - text.left() + 1 - 2 * margin;
  }

  // The entry's whole name, as its list gives it.
  static QString nameOf(const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto* list = qobject_cast<const ListBox*>(option.widget);
    return list ? list->entryName(index) : option.text;
  }

  QSize sizeHint(const QStyleOptionViewItem& given, const QModelIndex& index) const override {
    QStyleOptionViewItem option(given);
    initStyleOption(&option, index);
    option.text = nameOf(option, index);
    const QWidget* widget = option.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), widget);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& given, const QModelIndex& index) const override {
    QStyleOptionViewItem option(given);
    initStyleOption(&option, index);
    option.text = nameOf(option, index);
    // A wide sample list gives each sample's details a column on the right.
    const auto* samples = qobject_cast<const SampleList*>(option.widget);
    const QString details = samples && samples->showsDetails() ? index.data(SampleList::kDetailsRole).toString() : QString();
    if (!details.isEmpty()) {
      const int column = option.fontMetrics.horizontalAdvance(details) + 8;
      const QRect whole = option.rect;
      option.rect.setRight(option.rect.right() - column);
      option.text = shortName(option.text, option.fontMetrics, room(option));
      QStyleOptionViewItem row(option);
      row.rect = whole;
      row.text.clear();
      const QWidget* widget = option.widget;
      QStyle* style = widget->style();
      style->drawControl(QStyle::CE_ItemViewItem, &row, painter, widget);
      option.backgroundBrush = Qt::NoBrush;
      option.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
      if (row.state & QStyle::State_Selected)
        option.palette.setColor(QPalette::Text, option.palette.color(QPalette::HighlightedText));
      style->drawControl(QStyle::CE_ItemViewItem, &option, painter, widget);
      painter->save();
      painter->setPen(option.palette.color(QPalette::Text));
      painter->drawText(whole.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, details);
      painter->restore();
      return;
    }
    option.text = shortName(option.text, option.fontMetrics, room(option));
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &option, painter, widget);
  }
};

}  // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
  setTextElideMode(Qt::ElideMiddle);
  setItemDelegate(new NameDelegate(this));
}

QString ListBox::shownEntry(int row) const {
  const QModelIndex index = model()->index(row, 0);
  if (!index.isValid()) return {};
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  option.text = entryName(index);
  option.features |= QStyleOptionViewItem::HasDisplay;
  if (!index.data(Qt::DecorationRole).isNull()) {
    option.features |= QStyleOptionViewItem::HasDecoration;
    option.icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
  }
  return shortName(option.text, option.fontMetrics, NameDelegate::room(option));
}

QString ListBox::entryName(const QModelIndex& index) const { return index.data().toString(); }

bool ListBox::entryCut(int row) const {
  const QModelIndex index = model()->index(row, 0);
  if (!index.isValid()) return false;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QRect shown = visualRect(index);
  const int room = std::min(shown.right(), viewport()->width() - 1) - shown.left() + 1;
  return itemDelegateForIndex(index)->sizeHint(option, index).width() > room;
}

void ListBox::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  if (!hasFocus()) return;
  const QModelIndex current = currentIndex();
  QRect mark = current.isValid() ? visualRect(current) : viewport()->rect();
  mark.setRight(std::min(mark.right(), viewport()->width() - 1));
  QPainter p(viewport());
  p.setPen(QPen(Qt::black, 2));
  p.drawRect(QRectF(mark).adjusted(1, 1, -1, -1));
}

bool ListBox::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid() && entryCut(index.row()))
      QToolTip::showText(help->globalPos(), entryName(index), viewport(), visualRect(index));
    else
      QToolTip::hideText();
    return true;
  }
  return QListWidget::viewportEvent(event);
}

SampleList::SampleList(QWidget* parent) : ListBox(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setFrameShape(QFrame::NoFrame);
  setUniformItemSizes(true);
  // Names are cut to the list's width (shortName): nothing to scroll to.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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

void SampleList::setSeveralSelect(bool several) {
  if (several) setSelectionMode(QAbstractItemView::ExtendedSelection);
  else if (!multiSelect()) setMultiSelect(false);
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

void SampleList::setDetails(int row, const QString& details) {
  if (QListWidgetItem* it = item(row)) it->setData(kDetailsRole, details);
}

QString SampleList::details(int row) const {
  const QListWidgetItem* it = item(row);
  return it ? it->data(kDetailsRole).toString() : QString();
}

bool SampleList::showsDetails() const { return width() > layout::kWavlist.width(); }

void SampleList::setPairs(const std::vector<std::pair<int, int>>& pairs) {
  for (int row = 0; row < count(); ++row) item(row)->setData(kPartnerRole, QVariant());
  for (const auto& [left, right] : pairs)
    if (item(left) && item(right) && left != right) item(left)->setData(kPartnerRole, right);
  showPairs();
}

int SampleList::pairedRow(int row) const {
  const QListWidgetItem* it = item(row);
  if (!pairsJoined_ || !it) return -1;
  bool set = false;
  const int partner = it->data(kPartnerRole).toInt(&set);
  return set ? partner : -1;
}

QList<int> SampleList::withPartners(const QList<int>& rows) const {
  QList<int> out = rows;
  for (int row : rows)
    if (const int partner = pairedRow(row); partner >= 0) out << partner;
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

QString SampleList::entryName(const QModelIndex& index) const {
  const int partner = pairedRow(index.row());
  if (partner < 0) return ListBox::entryName(index);
  return ListBox::entryName(index) + QStringLiteral(" + ") + item(partner)->text();
}

void SampleList::showPairs() {
  pairsJoined_ = showsDetails();
  for (int row = 0; row < count(); ++row) setRowHidden(row, false);
  if (!pairsJoined_) return;
  for (int row = 0; row < count(); ++row) {
    const int partner = pairedRow(row);
    if (partner < 0) continue;
    setRowHidden(partner, true);
    // The current entry moves from a hidden right row to its pair's row.
    if (currentRow() != partner) continue;
    if (multiSelect()) setCurrentRow(row, QItemSelectionModel::NoUpdate);
    else setCurrentRow(row);
  }
  viewport()->update();
}

void SampleList::resizeEvent(QResizeEvent* event) {
  ListBox::resizeEvent(event);
  if (showsDetails() != pairsJoined_) showPairs();
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

// The list's own keys. Enter acts on the current entry as the window
// decides (it extracts); every other key moves through the list.
void SampleList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit enterPressed();
    return;
  }
  ListBox::keyPressEvent(event);
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
