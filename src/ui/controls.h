#pragma once
// Small controls of the main window that the toolkit does not offer as they
// are needed: a filled rectangle, a progress gauge that shows "%d%%", a
// read-only text box, and the sample list with switchable multiple
// selection.

#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

#include <cstdint>

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
// log (lines, vertical scroll bar).
class TextBox : public QPlainTextEdit {
  Q_OBJECT
 public:
  enum class Kind { StatusLine, Log };
  TextBox(Kind kind, QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const;
  void appendLine(const QString& line);
  void clearLines();
  QStringList lines() const;
};

// The sample list. In single selection a press selects the pressed entry;
// in multiple selection presses only move the current entry, and the owner
// decides what is selected.
class SampleList : public QListWidget {
  Q_OBJECT
 public:
  explicit SampleList(QWidget* parent = nullptr);

  void setMultiSelect(bool multi);
  bool multiSelect() const;
  // Indexes of the selected entries, in list order.
  QList<int> selectedRows() const;

 signals:
  // After the list has moved its current entry to the pressed one.
  void mouseDown(Qt::MouseButton button);
  void doubleClicked();

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace vantrel
