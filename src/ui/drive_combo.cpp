// SPDX-License-Identifier: MIT
#include "ui/drive_combo.h"

#include <QAbstractItemView>
#include <QDir>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

#include "ui/artwork.h"

namespace vantrel {
namespace {

bool holds(const QString& root, const QString& path) {
  if (root == QStringLiteral("/")) return path.startsWith(QLatin1Char('/'));
  return path == root || path.startsWith(root + QLatin1Char('/'));
}

}  // namespace

bool isUserDrive(const QString& root, const QString& home) {
  if (root == QStringLiteral("/")) return true;
  if (home != QStringLiteral("/") && (holds(home, root) || holds(root, home))) return true;
  if (holds(QStringLiteral("/run/media"), root)) return true;
  for (const char* system : {"/dev", "/proc", "/sys", "/run", "/boot", "/snap", "/usr", "/var", "/etc"})
    if (holds(QString::fromLatin1(system), root)) return false;
  return true;
}

DriveComboBox::DriveComboBox(QWidget* parent) : ComboBox(parent) {
  setIconSize(QSize(14, 11));
  connect(this, &QComboBox::currentIndexChanged, this, [this] { fitTexts(); });
  connect(this, &QComboBox::activated, this, [this](int index) {
    const QString chosen = itemData(index).toString();
    if (chosen == shown_) return;
    shown_ = chosen;
    emit driveChanged();
  });
}

void DriveComboBox::setDriveSource(DriveSource source) {
  source_ = std::move(source);
  rereadDrives();
}

void DriveComboBox::rereadDrives() {
  drives_ = source_ ? source_() : std::vector<DriveInfo>{};
  const QString keep = shown_;
  blockSignals(true);
  clear();
  const QIcon glyph(art::driveGlyph());
  for (const DriveInfo& d : drives_) {
    addItem(glyph, d.root == d.name || d.name.isEmpty() ? d.root
                                                        : d.name + QStringLiteral("  ") + d.root,
            d.root);
    setItemData(count() - 1, d.root, Qt::ToolTipRole);
  }
  blockSignals(false);
  shown_.clear();
  setDrive(keep);
}

void DriveComboBox::showPopup() {
  rereadDrives();
  ComboBox::showPopup();
}

QString DriveComboBox::driveName() const {
  for (const DriveInfo& d : drives_)
    if (d.root == shown_) return d.name;
  return {};
}

bool DriveComboBox::setDrive(const QString& root) {
  const QString before = shown_;
  const int index = root.isEmpty() ? -1 : findData(root);
  blockSignals(true);
  setCurrentIndex(index);
  blockSignals(false);
  shown_ = index < 0 ? QString() : root;
  fitTexts();
  return shown_ != before;
}

void DriveComboBox::fitTexts() {
  updateToolTip();
  int widest = 0;
  for (int k = 0; k < count(); ++k) widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(k)));
  // Glyph, margins and a scroll bar beside the longest text.
  view()->setMinimumWidth(widest + iconSize().width() + 32);
}

QString DriveComboBox::driveOf(const QString& path) const {
  const QString clean = QDir::cleanPath(path);
  QString best;
  for (const DriveInfo& d : drives_)
    if (holds(d.root, clean) && d.root.size() > best.size()) best = d.root;
  return best;
}

}  // namespace vantrel
