#include "ui/about2.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include "ui/artwork.h"

namespace vantrel {

TAbout::TAbout(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(400, 250);
  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, 400, 250);
  Image1->setPixmap(art::aboutPicture());
  Image1->installEventFilter(this);
}

void TAbout::showCentred() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
}

void TAbout::Image1Click() { hide(); }

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
