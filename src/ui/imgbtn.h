// SPDX-License-Identifier: MIT
#pragma once
// Picture buttons: a picture control that only chooses which of its stored
// pictures it shows.
//
// TImgBtn is the action button (extract, complete, wavextr, extrdrive): an
// on/off state that tells whether the action is available, and a pressed
// look for each state. TImgBtn2 is the title-bar button (close, minimise,
// about): no state, but it remembers whether the last left-button release
// happened over it.
//
// Both take the keyboard focus (a TImgBtn only while on), show it with a
// solid 2-pixel mark, and act on
// Space and Enter as on a click.
//
// The pointer-inside flag follows the pointer entering and leaving. While a
// button is held the toolkit grabs the mouse and reports no crossings, so
// the buttons also derive them from the moves they receive then.

#include <QLabel>
#include <QPixmap>

class QMouseEvent;

namespace vantrel {

// What both buttons share: the base picture control's handling of the mouse
// (crossings, the click raised on a left release inside the control).
class PictureControl : public QLabel {
  Q_OBJECT
 public:
  explicit PictureControl(QWidget* parent = nullptr);

  bool Supported() const noexcept { return supported_; }
  void setSupported(bool supported) noexcept { supported_ = supported; }
  bool pointerInside() const noexcept { return inside_; }
  bool pressed() const noexcept { return pressed_; }
  // The picture shown now.
  QPixmap shownPicture() const;

 signals:
  // The base control's click: a left release inside the control, raised
  // before the button's own release step.
  void clicked();
  void mouseDown(QMouseEvent* event);
  void mouseEnter();
  void mouseLeave();
  void mouseUp(QMouseEvent* event);
  // Space or Enter while the button has the focus; raised after clicked().
  void keyActivated();

 protected:
  void showPicture(const QPixmap& picture);
  // The button's own steps, each run only when Supported.
  virtual void pointerEntered() = 0;
  virtual void pointerLeft() = 0;
  virtual void leftDown(QMouseEvent* event) = 0;
  virtual void leftUp(QMouseEvent* event) = 0;

  bool inside_ = false;
  bool pressed_ = false;

  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void crossTo(bool inside);

  bool supported_ = true;
};

class TImgBtn : public PictureControl {
  Q_OBJECT
 public:
  explicit TImgBtn(QWidget* parent = nullptr);

  // Setting PicOffUp also shows it (a new button is off); the others only
  // store the picture.
  void setPicOffUp(const QPixmap& picture);
  void setPicOffDown(const QPixmap& picture) { picOffDown_ = picture; }
  void setPicOnUp(const QPixmap& picture) { picOnUp_ = picture; }
  void setPicOnDown(const QPixmap& picture) { picOnDown_ = picture; }
  const QPixmap& PicOffUp() const noexcept { return picOffUp_; }
  const QPixmap& PicOffDown() const noexcept { return picOffDown_; }
  const QPixmap& PicOnUp() const noexcept { return picOnUp_; }
  const QPixmap& PicOnDown() const noexcept { return picOnDown_; }

  // Stores the state and shows PicOnUp or PicOffUp.
  void SetOn(bool on);
  bool On() const noexcept { return on_; }

 protected:
  void pointerEntered() override;
  void pointerLeft() override;
  void leftDown(QMouseEvent* event) override;
  void leftUp(QMouseEvent* event) override;

 private:
  QPixmap picOffUp_, picOffDown_, picOnUp_, picOnDown_;
  bool on_ = false;
};

class TImgBtn2 : public PictureControl {
  Q_OBJECT
 public:
  explicit TImgBtn2(QWidget* parent = nullptr);

  // Setting PicOnUp also shows it; PicOnDown is only stored.
  void setPicOnUp(const QPixmap& picture);
  void setPicOnDown(const QPixmap& picture) { picOnDown_ = picture; }
  const QPixmap& PicOnUp() const noexcept { return picOnUp_; }
  const QPixmap& PicOnDown() const noexcept { return picOnDown_; }

  // True when the last left release happened with the pointer inside;
  // cleared by a press inside.
  bool ReleasedInside() const noexcept { return releasedInside_; }

 protected:
  void pointerEntered() override;
  void pointerLeft() override;
  void leftDown(QMouseEvent* event) override;
  void leftUp(QMouseEvent* event) override;

 private:
  QPixmap picOnUp_, picOnDown_;
  bool releasedInside_ = false;
};

}  // namespace vantrel
