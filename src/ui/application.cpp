// SPDX-License-Identifier: MIT
#include "ui/application.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QStyleFactory>

#include "ui/app_icon.h"

namespace vantrel {

void initialiseApplication() {
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  QApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.vantrel.Vantrel"));
  // One look on every desktop: the window draws its own colours.
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(art::appIconImage(size)));
  QApplication::setWindowIcon(icon);
}

}  // namespace vantrel
