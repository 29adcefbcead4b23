// SPDX-License-Identifier: MIT
#pragma once
// Small controls of the main window that the toolkit does not offer as they
// are needed: a filled rectangle, a progress gauge that shows "%d%%", a
// read-only text box, and the sample list with switchable multiple
// selection.

#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

namespace vantrel {

// A rectangle filled with one colour (the title strip).
class FilledRect : public QWidget {
  Q_OBJECT
 public:
  explicit FilledRect(QWidget* parent = nullptr);
  void setFillColour(const QColor& colour);
  QColor fillColour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor colour_;
};

// A progress gauge with minimum, maximum and progress. A progress outside
// the range is kept as the nearer bound. The bar shows the percentage done
// as "%d%%".
class GaugeBar : public QWidget {
  Q_OBJECT
 public:
  explicit GaugeBar(QWidget* parent = nullptr);

  void setRange(std::int64_t min, std::int64_t max);
  void setProgress(std::int64_t progress);
  std::int64_t minimum() const noexcept { return min_; }
  std::int64_t maximum() const noexcept { return max_; }
  std::int64_t progress() const noexcept { return progress_; }
  // Whole percent done, 0 for an empty range.
  int percentDone() const noexcept;
  QString text() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::int64_t min_ = 0;
  std::int64_t max_ = 100;
  std::int64_t progress_ = 0;
};

// A read-only text box: the status line (one line, no scroll bars) or the
// log (lines wrapped at the width, vertical scroll bar).
//
// The status line shows its whole text: in a smaller font down to 9 pixels
// where that fits, else cut with an ellipsis and whole as its tooltip.
class TextBox : public QPlainTextEdit {
  Q_OBJECT
 public:
  enum class Kind { StatusLine, Log };
  // The log keeps the last this many lines.
  static constexpr int kLogLineLimit = 20000;
  TextBox(Kind kind, QWidget* parent = nullptr);

  void setText(const QString& text);
  // The whole text, however it is shown.
  QString text() const;
  void appendLine(const QString& line);
  void clearLines();
  QStringList lines() const;
  // The status line's text as drawn and the font it is drawn in.
  QString shownText() const { return toPlainText(); }
  QFont shownFont() const { return document()->defaultFont(); }
  // The width the status line's text has to fit into.
  int textRoom() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fitStatusText();

  Kind kind_;
  QString whole_;
};

// The window's drop-down boxes: a text that does not fit is cut in the
// middle, where the ends that tell entries apart stay, and shows whole as
// the tooltip (else the box's purpose does); the focus mark is a solid
// frame that shows on the boxes' dark teal at every style.
class ComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit ComboBox(QWidget* parent = nullptr);
  // What the box is for: its tooltip while its whole text shows.
  void setPurpose(const QString& purpose);
  // Whether the chosen entry's text is cut to fit.
  bool shownTextCut() const;
  // The chosen entry's text as drawn.
  QString shownText() const;
  // A note drawn after the chosen entry's text (the output's "faithful").
  void setNote(const QString& note);
  // The list opens at the box as it lies on the screen now.
  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Sets the tooltip: the whole text when cut, else the purpose.
  void updateToolTip();

 private:
  int textRoom() const;
  // The chosen entry's text and the note.
  QString wholeText() const { return currentText() + note_; }
  QString purpose_;
  QString note_;
};

// A list entry's name shortened to fit `room` pixels, keeping what tells
// entries apart: an output folder's prefix ("WAV_MONO_") gives way first,
// to its last word ("MONO_"), then to that word's first letter ("M_"); the
// rest is then cut in its middle, so that both ends show.
QString shortName(const QString& name, const QFontMetrics& metrics, int room);

// The lists of the window: a focus mark around the current entry while the
// list has the keyboard focus, and an entry cut at the list's edge (see
// shortName) shows its whole text as a tooltip.
class ListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit ListBox(QWidget* parent = nullptr);
  // Whether the entry of `row` is drawn cut.
  bool entryCut(int row) const;
  // The entry of `row` as drawn.
  QString shownEntry(int row) const;
  // The whole name an entry stands for (its text, unless a list joins it
  // with another's).
  virtual QString entryName(const QModelIndex& index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool viewportEvent(QEvent* event) override;
};

// The sample list. In single selection a press selects the pressed entry;
// in multiple selection presses only move the current entry, and the owner
// decides what is selected.
class SampleList : public ListBox {
  Q_OBJECT
 public:
  explicit SampleList(QWidget* parent = nullptr);

  void setMultiSelect(bool multi);
  bool multiSelect() const;
  // Ctrl- and Shift-click choose several entries (mono extraction); off
  // gives single selection back.
  void setSeveralSelect(bool several);
  // Indexes of the selected entries, in list order.
  QList<int> selectedRows() const;
  // What the zones make of the entry of `row` ("keys 48–59 · root 60 ·
  // loop"): drawn in a column beside its name while the list is wider than
  // at the window's default size.
  void setDetails(int row, const QString& details);
  QString details(int row) const;
  bool showsDetails() const;
  static constexpr int kDetailsRole = Qt::UserRole + 7;
  // The bank's stereo pairs (left and right row, as the stereo conversion
  // joins them). In the wide look a pair is one row: the left sample's
  // row, drawn "LEFT + RIGHT", stands for both, and the right sample's row
  // is hidden.
  void setPairs(const std::vector<std::pair<int, int>>& pairs);
  // The right row of the pair that `row` stands for while the list shows
  // pairs as one row, else -1.
  int pairedRow(int row) const;
  // `rows` and the right rows of the pairs among them, in list order.
  QList<int> withPartners(const QList<int>& rows) const;
  QString entryName(const QModelIndex& index) const override;
  static constexpr int kPartnerRole = Qt::UserRole + 8;

 signals:
  // After the list has moved its current entry to the pressed one.
  void mouseDown(Qt::MouseButton button);
  void doubleClicked();
  void enterPressed();

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Hides the right rows of pairs in the wide look, shows them otherwise.
  void showPairs();
  bool pairsJoined_ = false;
};

}  // namespace vantrel
