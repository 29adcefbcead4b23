// SPDX-License-Identifier: MIT
#pragma once
// The drive box: the mounted volumes, each shown by its name and root.
// Where the drives come from is set by the owner, so that a window can be
// given any list (the platform's mounted volumes, or a fixed list).

#include <QComboBox>
#include <QString>

#include <functional>
#include <vector>

#include "ui/controls.h"

namespace vantrel {

struct DriveInfo {
  QString name;  // "root" for "/", else the last component of the root
  QString root;  // the mount point, an absolute path
};

using DriveSource = std::function<std::vector<DriveInfo>()>;

// Whether a mount point is a drive a user keeps files on: the root, the
// home folder and what lies in or below it, removable and mounted drives
// (/media, /mnt, /run/media) and other mounts outside the system's own
// folders; not /dev, /proc, /sys, /run, /boot, /snap, /usr, /var and /etc.
bool isUserDrive(const QString& root, const QString& home);

class DriveComboBox : public ComboBox {
  Q_OBJECT
 public:
  explicit DriveComboBox(QWidget* parent = nullptr);

  void setDriveSource(DriveSource source);
  // Lists the drives again, keeping the one shown.
  void rereadDrives();

  // The drive shown: its root and its name (empty when none is shown).
  QString drive() const { return shown_; }
  QString driveName() const;
  // Shows the drive with that root without notifying; returns whether it
  // differs from the drive shown before. A root not listed shows nothing.
  bool setDrive(const QString& root);
  // The root of the listed drive that holds `path` (the longest listed root
  // that is `path` or one of its parents); empty when none does.
  QString driveOf(const QString& path) const;
  std::vector<DriveInfo> drives() const { return drives_; }
  // Volumes come and go: the list is read again each time it opens.
  void showPopup() override;
  // Whether the text of the drive shown is drawn cut; the whole text is
  // then the box's tooltip. The list opens wide enough for every drive.

 signals:
  // The user chose a drive other than the one shown.
  void driveChanged();

 private:
  void fitTexts();

  DriveSource source_;
  std::vector<DriveInfo> drives_;
  QString shown_;
};

}  // namespace vantrel
