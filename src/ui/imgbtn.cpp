// SPDX-License-Identifier: MIT
#include "ui/imgbtn.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vantrel {

PictureControl::PictureControl(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setAttribute(Qt::WA_Hover, false);
  setFocusPolicy(Qt::StrongFocus);
}

QPixmap PictureControl::shownPicture() const { return pixmap(); }

void PictureControl::showPicture(const QPixmap& picture) { setPixmap(picture); }

void PictureControl::crossTo(bool inside) {
  if (inside == inside_ || !supported_) return;
  if (inside)
    pointerEntered();
  else
    pointerLeft();
}

void PictureControl::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  crossTo(true);
}

void PictureControl::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  crossTo(false);
}

void PictureControl::mouseMoveEvent(QMouseEvent* event) {
  QLabel::mouseMoveEvent(event);
  // Moves reach us without a button only when something else tracks the
  // mouse; with a button held they stand for the crossings the grab hides.
  if (event->buttons() != Qt::NoButton) crossTo(rect().contains(event->position().toPoint()));
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && supported_) leftDown(event);
}

void PictureControl::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  // The base control's click comes first: an action started by it runs to
  // its end while the button still shows its pressed picture.
  if (rect().contains(event->position().toPoint())) emit clicked();
  if (supported_) leftUp(event);
}

void PictureControl::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!event->isAutoRepeat()) {
        emit clicked();
        emit keyActivated();
      }
      return;
    default:
      QLabel::keyPressEvent(event);
  }
}

void PictureControl::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter p(this);
  p.setPen(QPen(Qt::white, 2));
  p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

TImgBtn::TImgBtn(QWidget* parent) : PictureControl(parent) {}

void TImgBtn::setPicOffUp(const QPixmap& picture) {
  picOffUp_ = picture;
  showPicture(picOffUp_);
}

void TImgBtn::SetOn(bool on) {
  on_ = on;
  // A button that is off has nothing to do: Tab passes it by.
  setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
  if (!on && hasFocus()) focusNextChild();
  showPicture(on ? picOnUp_ : picOffUp_);
}

void TImgBtn::pointerEntered() {
  inside_ = true;
  emit mouseEnter();
}

void TImgBtn::pointerLeft() {
  inside_ = false;
  emit mouseLeave();
}

void TImgBtn::leftDown(QMouseEvent* event) {
  pressed_ = true;
  showPicture(inside_ && on_ ? picOnDown_ : picOffDown_);
  emit mouseDown(event);
}

void TImgBtn::leftUp(QMouseEvent* event) {
  pressed_ = false;
  showPicture(inside_ && on_ ? picOnUp_ : picOffUp_);
  emit mouseUp(event);
}

TImgBtn2::TImgBtn2(QWidget* parent) : PictureControl(parent) {}

void TImgBtn2::setPicOnUp(const QPixmap& picture) {
  picOnUp_ = picture;
  showPicture(picOnUp_);
}

void TImgBtn2::pointerEntered() {
  inside_ = true;
  // Held and back over the button: pressed again.
  if (pressed_) showPicture(picOnDown_);
  emit mouseEnter();
}

void TImgBtn2::pointerLeft() {
  inside_ = false;
  showPicture(picOnUp_);
  emit mouseLeave();
}

void TImgBtn2::leftDown(QMouseEvent* event) {
  pressed_ = true;
  if (inside_) {
    showPicture(picOnDown_);
    releasedInside_ = false;
  }
  emit mouseDown(event);
}

void TImgBtn2::leftUp(QMouseEvent* event) {
  pressed_ = false;
  if (inside_) {
    showPicture(picOnUp_);
    releasedInside_ = true;
  }
  emit mouseUp(event);
}

}  // namespace vantrel
