// SPDX-License-Identifier: MIT
#include "ui/about2.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include "ui/artwork.h"

namespace vantrel {

TAbout::TAbout(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(QStringLiteral("About Vantrel " VANTREL_VERSION));
  setFixedSize(400, 250);
  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, 400, 250);
  Image1->setPixmap(art::aboutPicture());
  Image1->setAccessibleName(windowTitle());
  Image1->setAccessibleDescription(art::aboutText());
  Image1->installEventFilter(this);
}

void TAbout::showCentred() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
  // Without a window manager nothing else gives it the keys (for Esc).
  activateWindow();
}

void TAbout::Image1Click() { hide(); }

void TAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Image1Click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TAbout::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit hidden();
}

bool TAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && Image1->rect().contains(mouse->position().toPoint())) {
      Image1Click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vantrel
