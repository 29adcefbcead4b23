// SPDX-License-Identifier: MIT
#pragma once
// Folder lists: a folder tree list (dir1, destin) and a file list with a
// mask (file1) with its mask box (FilterComboBox1).
//
// The tree list shows the root, each folder down to the shown one, then
// the shown folder's subfolders; item k (k > 0) of the first part is the
// folder k levels below the root. A double click opens the folder of the
// item; so does Enter.
//
// A source list also shows the images and archives of the folder after its
// subfolders (with a disc glyph) and opens them like folders: the shown
// folder is then "IMAGE//" or "IMAGE//FOLDER/INSIDE", and the list goes on
// below the image with its folders; the file list lists its banks.

#include <QComboBox>
#include <QListWidget>
#include <QString>

#include <memory>

#include "tti/bank_source.h"
#include "ui/controls.h"

namespace vantrel {

// The lists' order of names (path strings' last parts): as people read
// them, case aside, by their shown text; names shown alike by their own
// order.
bool listsBefore(const QString& a, const QString& b);

class FolderList : public ListBox {
  Q_OBJECT
 public:
  explicit FolderList(QWidget* parent = nullptr);

  // The folder shown, as an absolute, clean path ("/" for the root).
  QString folder() const { return folder_; }
  // Opens `path` (made absolute and clean) and notifies `changed`. A
  // folder that does not exist opens its nearest existing parent.
  void setFolder(const QString& path);
  // Reads the shown folder again from disk and notifies `changed`.
  void reread();
  // The item index of the shown folder, and the full path of any item.
  int selectedIndex() const noexcept { return shownIndex_; }
  QString itemPath(int index) const;
  // Whether a double click opens the folder itself (otherwise the owner
  // does it on `itemDoubleClicked`).
  void setOpensOnDoubleClick(bool opens) noexcept { opensOnDoubleClick_ = opens; }
  // Whether images and archives are listed and opened (the source list).
  void setShowsImages(bool shows) noexcept { showsImages_ = shows; }

 signals:
  void changed();
  void itemDoubleClicked(int index);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void fill();
  void activate(int index);

  QString folder_ = QStringLiteral("/");
  int shownIndex_ = 0;
  bool opensOnDoubleClick_ = true;
  bool showsImages_ = false;
};

// An image's or archive's catalogue for the lists, kept while the file
// stays as it was (its size and time), so that moving through its folders
// does not read it again. Null for a path that names no image.
std::shared_ptr<const BankCatalogue> imageCatalogue(const QString& path);

class FileList : public ListBox {
  Q_OBJECT
 public:
  explicit FileList(QWidget* parent = nullptr);

  QString folder() const { return folder_; }
  void setFolder(const QString& folder);
  // A file mask such as "*.tti"; "*.*" takes every file. Case does not count.
  QString mask() const { return mask_; }
  void setMask(const QString& mask);
  // Lists the folder again, keeping the current file where it still exists.
  void reread();
  // Full path of the current file; empty when there is none.
  QString selectedPath() const;
  QStringList fileNames() const;
  // Makes the file of that name current; false when it is not listed.
  bool selectFile(const QString& name);

  static bool matchesMask(const QString& name, const QString& mask);
  // The file (name) whose bank the window shows: highlighted when the list
  // takes the focus.
  void setLoadedFile(const QString& name) { loaded_ = name; }

 signals:
  // A click on a file, or the keyboard moving the current file (also when
  // the list takes the focus and makes its first file current).
  void fileClicked();
  // A double click on a file, or Enter.
  void fileDoubleClicked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  QString folder_;
  QString mask_ = QStringLiteral("*.tti");
  QString loaded_;
};

// The mask box: descriptions shown, masks behind them. The filter text
// alternates description and mask: "TTI files|*.tti|All files (*.*)|*.*".
class FilterComboBox : public ComboBox {
  Q_OBJECT
 public:
  explicit FilterComboBox(QWidget* parent = nullptr);
  void setFilter(const QString& filter);
  // The mask of the chosen item.
  QString mask() const;
  // Keeps `list`'s mask on the chosen item.
  void setFileList(FileList* list);
};

}  // namespace vantrel
