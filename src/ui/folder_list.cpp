// SPDX-License-Identifier: MIT
#include "ui/folder_list.h"

#include <QCollator>
#include <QDateTime>
#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyledItemDelegate>

#include <sys/stat.h>

#include <algorithm>

#include "platform/folders.h"
#include "tti/archive_banks.h"
#include "ui/local_path.h"
#include "platform/file.h"
#include "ui/artwork.h"

namespace vantrel {
namespace {

constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kNameRole = Qt::UserRole + 2;
constexpr int kPathRole = Qt::UserRole;
constexpr int kIndent = 7;

// Indents each entry of a tree list by its level.
class LevelDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.adjust(index.data(kLevelRole).toInt() * kIndent, 0, 0, 0);
    QStyledItemDelegate::paint(painter, shifted, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    return {s.width() + index.data(kLevelRole).toInt() * kIndent, s.height()};
  }
};

QString cleanAbsolute(const QString& path) {
  return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::root().absoluteFilePath(path));
}

std::string bytesOf(const QString& path) { return pathBytes(path); }
QString shownOf(const std::string& path) { return pathString(path); }

// The entries of `folder` the lists show: folders (or files) whose names do
// not begin with '.', in list order.
QStringList entriesOf(const QString& folder, bool folders) {
  QStringList names;
  for (const FolderEntry& e : listFolder(bytesOf(folder)))
    if (!e.isHidden && (folders ? e.isFolder : e.isFile)) names << shownOf(e.name);
  std::sort(names.begin(), names.end(), listsBefore);
  return names;
}

// A list entry for `name` (a path string's last part): shown as its text,
// the name itself kept for the path.
QListWidgetItem* nameItem(const QIcon& icon, const QString& name, QListWidget* list) {
  auto* it = new QListWidgetItem(icon, shownText(name), list);
  it->setData(kNameRole, name);
  if (it->text() != name) it->setToolTip(it->text());
  return it;
}

// The image `path` names, with the folder inside it.
std::optional<InsidePath> imageOf(const QString& path) { return imageSource(bytesOf(path)); }

// "IMAGE//" for the image's root, "IMAGE//A/B" for a folder inside it.
QString imageFolder(const QString& archive, const QString& inside) {
  return archive + QStringLiteral("//") + inside;
}

// A path inside the image folder `folder`.
QString insideImage(const QString& folder, const QString& name) {
  return folder.endsWith(QStringLiteral("//")) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace

bool listsBefore(const QString& a, const QString& b) {
  // A collator of each thread's own: a folder run sorts on its job thread.
  thread_local const QCollator order = [] {
    QCollator c;
    c.setCaseSensitivity(Qt::CaseInsensitive);
    c.setNumericMode(false);
    return c;
  }();
  const int c = order.compare(shownText(a), shownText(b));
  return c != 0 ? c < 0 : a < b;
}

std::shared_ptr<const BankCatalogue> imageCatalogue(const QString& path) {
  const auto image = imageOf(path);
  if (!image) return nullptr;
  static struct {
    std::string archive;
    QDateTime modified;
    qint64 size = -1;
    std::shared_ptr<const BankCatalogue> catalogue;
  } kept;
  struct stat info {};
  if (::stat(image->archive.c_str(), &info) != 0) return nullptr;
  const QDateTime modified = QDateTime::fromMSecsSinceEpoch(
      static_cast<qint64>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000);
  if (!kept.catalogue || kept.archive != image->archive || kept.modified != modified || kept.size != info.st_size) {
    kept.archive = image->archive;
    kept.modified = modified;
    kept.size = info.st_size;
    kept.catalogue = catalogueFor(image->archive);
  }
  return kept.catalogue;
}

FolderList::FolderList(QWidget* parent) : ListBox(parent) {
  setItemDelegate(new LevelDelegate(this));
  setFrameShape(QFrame::NoFrame);
  setUniformItemSizes(true);
  setIconSize(QSize(14, 11));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  fill();
}

void FolderList::setFolder(const QString& path) {
  if (const auto image = showsImages_ ? imageOf(path) : std::nullopt) {
    const QString archive = cleanAbsolute(shownOf(image->archive));
    if (fileExists(bytesOf(archive))) {
      folder_ = imageFolder(archive, shownOf(image->inside));
      fill();
      emit changed();
      return;
    }
  }
  QString target = cleanAbsolute(path);
  while (!folderExists(bytesOf(target)) && target != QStringLiteral("/")) {
    const qsizetype cut = target.lastIndexOf(QLatin1Char('/'));
    target = cut <= 0 ? QStringLiteral("/") : target.left(cut);
  }
  folder_ = target;
  fill();
  emit changed();
}

void FolderList::reread() { setFolder(folder_); }

QString FolderList::itemPath(int index) const {
  const QListWidgetItem* it = item(index);
  return it ? it->data(kPathRole).toString() : QString();
}

void FolderList::fill() {
  clear();
  const QIcon open(art::folderGlyph(true)), closed(art::folderGlyph(false)), disc(art::imageGlyph());
  const auto image = showsImages_ ? imageOf(folder_) : std::nullopt;
  const QString onDisk = image ? shownOf(image->archive) : folder_;
  // The root and each folder down to the shown one; below an image, the
  // image and each folder inside it down to the shown one.
  QStringList parts = onDisk.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString path = QStringLiteral("/");
  auto* root = new QListWidgetItem(open, QStringLiteral("/"), this);
  root->setData(kPathRole, path);
  root->setData(kLevelRole, 0);
  for (int k = 0; k < parts.size(); ++k) {
    path = path == QStringLiteral("/") ? path + parts[k] : path + QLatin1Char('/') + parts[k];
    const bool isImage = image && k + 1 == parts.size();
    auto* it = nameItem(isImage ? disc : open, parts[k], this);
    it->setData(kPathRole, isImage ? imageFolder(path, {}) : path);
    it->setData(kLevelRole, k + 1);
  }
  if (image) {
    const QStringList inside = shownOf(image->inside).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString at = imageFolder(path, {});
    for (const QString& part : inside) {
      at = insideImage(at, part);
      auto* it = nameItem(open, part, this);
      it->setData(kPathRole, at);
      it->setData(kLevelRole, static_cast<int>(parts.size()) + 1);
      parts << part;
    }
  }
  shownIndex_ = static_cast<int>(parts.size());
  // Then its subfolders (hidden ones left out), by name, and in a source
  // list the images and archives in it.
  if (image) {
    QStringList names;
    if (const auto catalogue = imageCatalogue(folder_)) {
      for (const std::string& name : catalogue->foldersIn(bytesOf(folder_)))
        if (name.empty() || name[0] != '.') names << shownOf(name);
    }
    names.sort(Qt::CaseInsensitive);
    for (const QString& name : names) {
      auto* it = nameItem(closed, name, this);
      it->setData(kPathRole, insideImage(folder_, name));
      it->setData(kLevelRole, shownIndex_ + 1);
    }
    setCurrentRow(shownIndex_);
    return;
  }
  const QString base = folder_ == QStringLiteral("/") ? folder_ : folder_ + QLatin1Char('/');
  for (const QString& name : entriesOf(folder_, true)) {
    auto* it = nameItem(closed, name, this);
    it->setData(kPathRole, base + name);
    it->setData(kLevelRole, shownIndex_ + 1);
  }
  if (showsImages_) {
    for (const QString& name : entriesOf(folder_, false)) {
      if (!isImageName(bytesOf(name))) continue;
      auto* it = nameItem(disc, name, this);
      it->setData(kPathRole, imageFolder(base + name, {}));
      it->setData(kLevelRole, shownIndex_ + 1);
    }
  }
  setCurrentRow(shownIndex_);
}

void FolderList::activate(int index) {
  if (index < 0 || index >= count()) return;
  emit itemDoubleClicked(index);
  if (opensOnDoubleClick_) setFolder(itemPath(index));
}

void FolderList::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid()) activate(index.row());
}

void FolderList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    activate(currentRow());
    return;
  }
  ListBox::keyPressEvent(event);
}

FileList::FileList(QWidget* parent) : ListBox(parent) {
  setFrameShape(QFrame::NoFrame);
  setUniformItemSizes(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemClicked, this, [this] { emit fileClicked(); });
  connect(this, &QListWidget::itemDoubleClicked, this, [this] { emit fileDoubleClicked(); });
}

void FileList::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
    emit fileDoubleClicked();
    return;
  }
  const int before = currentRow();
  ListBox::keyPressEvent(event);
  if (currentRow() != before && currentRow() >= 0) emit fileClicked();
}

void FileList::focusInEvent(QFocusEvent* event) {
  // Taking the focus, the list highlights the bank loaded (else the file it
  // makes current, which is then loaded as if clicked).
  const int before = currentRow();
  ListBox::focusInEvent(event);
  if (!loaded_.isEmpty() && selectFile(loaded_)) {
    if (currentItem()) currentItem()->setSelected(true);
    return;
  }
  if (currentItem()) currentItem()->setSelected(true);
  if (currentRow() != before && currentRow() >= 0) emit fileClicked();
}

bool FileList::matchesMask(const QString& name, const QString& mask) {
  // "*.*" stands for every file, with or without an extension.
  if (mask == QStringLiteral("*.*") || mask == QStringLiteral("*")) return true;
  const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(mask),
                              QRegularExpression::CaseInsensitiveOption);
  return re.match(name).hasMatch();
}

void FileList::setFolder(const QString& folder) {
  // The folder shown again (the source list read anew when the window
  // comes to the front, after a drop): the current file stays current.
  if (folder != folder_) {
    folder_ = folder;
    clear();
  }
  reread();
}

void FileList::setMask(const QString& mask) {
  mask_ = mask;
  reread();
}

void FileList::reread() {
  const QString current = currentItem() ? currentItem()->data(kNameRole).toString() : QString();
  clear();
  if (folder_.isEmpty()) return;
  // A folder of an image: its banks, in the image's order.
  if (const auto catalogue = imageCatalogue(folder_)) {
    for (const BankRef& bank : catalogue->banksIn(bytesOf(folder_))) {
      const QString name = shownOf(fileNamePart(bank.path()));
      if (matchesMask(shownText(name), mask_)) nameItem({}, name, this);
    }
    if (!current.isEmpty()) selectFile(current);
    return;
  }
  for (const QString& name : entriesOf(folder_, false))
    if (matchesMask(shownText(name), mask_)) nameItem({}, name, this);
  if (!current.isEmpty()) selectFile(current);
}

QString FileList::selectedPath() const {
  const QListWidgetItem* it = currentItem();
  if (!it || folder_.isEmpty()) return {};
  const QString name = it->data(kNameRole).toString();
  if (imageOf(folder_)) return insideImage(folder_, name);
  return folder_ == QStringLiteral("/") ? folder_ + name : folder_ + QLatin1Char('/') + name;
}

QStringList FileList::fileNames() const {
  QStringList out;
  for (int k = 0; k < count(); ++k) out << item(k)->text();
  return out;
}

bool FileList::selectFile(const QString& name) {
  for (int k = 0; k < count(); ++k) {
    if (item(k)->data(kNameRole).toString() == name) {
      setCurrentRow(k);
      return true;
    }
  }
  return false;
}

FilterComboBox::FilterComboBox(QWidget* parent) : ComboBox(parent) {}

void FilterComboBox::setFilter(const QString& filter) {
  clear();
  const QStringList parts = filter.split(QLatin1Char('|'));
  for (int k = 0; k + 1 < parts.size(); k += 2) addItem(parts[k], parts[k + 1]);
  setCurrentIndex(count() > 0 ? 0 : -1);
}

QString FilterComboBox::mask() const { return currentData().toString(); }

void FilterComboBox::setFileList(FileList* list) {
  list->setMask(mask());
  connect(this, &QComboBox::currentIndexChanged, list, [this, list] { list->setMask(mask()); });
}

}  // namespace vantrel
