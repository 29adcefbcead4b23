// SPDX-License-Identifier: MIT
// Picture buttons: which picture shows after crossings, presses and
// releases, when the click comes, ReleasedInside, and Supported.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>

#include "ui/imgbtn.h"

using namespace vantrel;

namespace {

QPixmap solid(const QColor& c) {
  QPixmap pm(17, 17);
  pm.fill(c);
  return pm;
}

bool shows(const PictureControl& b, const QPixmap& pm) {
  return b.shownPicture().cacheKey() == pm.cacheKey();
}

void enter(QWidget& w) {
  QEnterEvent e(QPointF(2, 2), QPointF(2, 2), w.mapToGlobal(QPointF(2, 2)));
  QApplication::sendEvent(&w, &e);
}

void leave(QWidget& w) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(&w, &e);
}

void mouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButtons held,
           Qt::MouseButton button = Qt::LeftButton) {
  QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(&w, &e);
}

void press(QWidget& w, QPoint at = {4, 4}) { mouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton); }
void release(QWidget& w, QPoint at = {4, 4}) { mouse(w, QEvent::MouseButtonRelease, at, Qt::NoButton); }
void heldMove(QWidget& w, QPoint at) {
  mouse(w, QEvent::MouseMove, at, Qt::LeftButton, Qt::NoButton);
}

struct UiImgBtn : ::testing::Test {
  UiImgBtn() {
    b.resize(17, 17);
    b.setPicOffUp(offUp);
    b.setPicOffDown(offDown);
    b.setPicOnUp(onUp);
    b.setPicOnDown(onDown);
  }
  QPixmap offUp = solid(Qt::gray), offDown = solid(Qt::darkGray), onUp = solid(Qt::cyan),
          onDown = solid(Qt::darkCyan);
  TImgBtn b;
};

struct UiImgBtn2 : ::testing::Test {
  UiImgBtn2() {
    b.resize(16, 14);
    b.setPicOnUp(up);
    b.setPicOnDown(down);
  }
  QPixmap up = solid(Qt::gray), down = solid(Qt::black);
  TImgBtn2 b;
};

}  // namespace

TEST_F(UiImgBtn, SettingPicOffUpShowsItAndTheOthersDoNot) {
  TImgBtn fresh;
  fresh.setPicOnUp(onUp);
  fresh.setPicOnDown(onDown);
  fresh.setPicOffDown(offDown);
  EXPECT_TRUE(fresh.shownPicture().isNull());
  fresh.setPicOffUp(offUp);
  EXPECT_TRUE(shows(fresh, offUp));
  EXPECT_FALSE(fresh.On());
}

TEST_F(UiImgBtn, SetOnShowsTheUpPictureOfTheState) {
  b.SetOn(true);
  EXPECT_TRUE(b.On());
  EXPECT_TRUE(shows(b, onUp));
  b.SetOn(false);
  EXPECT_TRUE(shows(b, offUp));
}

TEST_F(UiImgBtn, PressAndReleaseOverAnOnButton) {
  b.SetOn(true);
  enter(b);
  press(b);
  EXPECT_TRUE(shows(b, onDown));
  EXPECT_TRUE(b.pressed());
  release(b);
  EXPECT_TRUE(shows(b, onUp));
  EXPECT_FALSE(b.pressed());
  EXPECT_TRUE(b.On());
}

TEST_F(UiImgBtn, PressOnAnOffButtonShowsOffDown) {
  enter(b);
  press(b);
  EXPECT_TRUE(shows(b, offDown));
  release(b);
  EXPECT_TRUE(shows(b, offUp));
}

TEST_F(UiImgBtn, OnButtonDraggedOffShowsOffUpAndGivesNoClick) {
  int clicks = 0;
  QObject::connect(&b, &TImgBtn::clicked, [&] { ++clicks; });
  b.SetOn(true);
  enter(b);
  press(b);
  heldMove(b, {40, 40});  // the held pointer leaves the button
  EXPECT_FALSE(b.pointerInside());
  release(b, {40, 40});
  EXPECT_TRUE(shows(b, offUp));
  EXPECT_TRUE(b.On());
  EXPECT_EQ(clicks, 0);
}

TEST_F(UiImgBtn, ClickComesBeforeTheReleaseStep) {
  b.SetOn(true);
  bool pressedLookDuringClick = false, upLater = false;
  QObject::connect(&b, &TImgBtn::clicked, [&] { pressedLookDuringClick = shows(b, onDown); });
  QObject::connect(&b, &TImgBtn::mouseUp, [&] { upLater = shows(b, onUp); });
  enter(b);
  press(b);
  release(b);
  EXPECT_TRUE(pressedLookDuringClick);
  EXPECT_TRUE(upLater);
}

TEST_F(UiImgBtn, ClicksWhateverItsState) {
  int clicks = 0;
  QObject::connect(&b, &TImgBtn::clicked, [&] { ++clicks; });
  enter(b);
  press(b);
  release(b);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(b.On());
}

TEST_F(UiImgBtn, RealPointerDraggedOffIsSeenLeaving) {
  b.SetOn(true);
  QWidget top;
  top.resize(100, 100);
  b.setParent(&top);
  b.move(10, 10);
  top.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
  QTest::mouseMove(&b, {8, 8});
  QTest::mousePress(&b, Qt::LeftButton, {}, {8, 8});
  EXPECT_TRUE(shows(b, onDown));
  QTest::mouseMove(&b, {70, 70});
  QTest::mouseRelease(&b, Qt::LeftButton, {}, {70, 70});
  EXPECT_TRUE(shows(b, offUp));
  b.setParent(nullptr);
}

TEST_F(UiImgBtn, UnsupportedChangesNoPictureAndRaisesNoNotification) {
  int notes = 0;
  QObject::connect(&b, &TImgBtn::mouseEnter, [&] { ++notes; });
  QObject::connect(&b, &TImgBtn::mouseLeave, [&] { ++notes; });
  QObject::connect(&b, &TImgBtn::mouseDown, [&] { ++notes; });
  QObject::connect(&b, &TImgBtn::mouseUp, [&] { ++notes; });
  b.SetOn(true);
  b.setSupported(false);
  enter(b);
  press(b);
  EXPECT_TRUE(shows(b, onUp));
  release(b);
  leave(b);
  EXPECT_TRUE(shows(b, onUp));
  EXPECT_EQ(notes, 0);
}

TEST_F(UiImgBtn2, ReleaseInsideSetsReleasedInside) {
  enter(b);
  press(b);
  EXPECT_TRUE(shows(b, down));
  EXPECT_FALSE(b.ReleasedInside());
  release(b);
  EXPECT_TRUE(shows(b, up));
  EXPECT_TRUE(b.ReleasedInside());
}

TEST_F(UiImgBtn2, DraggedOffLeavesReleasedInsideFalse) {
  bool releasedInsideAtMouseUp = true;
  QObject::connect(&b, &TImgBtn2::mouseUp, [&] { releasedInsideAtMouseUp = b.ReleasedInside(); });
  enter(b);
  press(b);
  release(b);  // an earlier good click
  ASSERT_TRUE(b.ReleasedInside());
  press(b);
  heldMove(b, {50, 50});
  EXPECT_TRUE(shows(b, up));
  release(b, {50, 50});
  EXPECT_FALSE(releasedInsideAtMouseUp);
  EXPECT_FALSE(b.ReleasedInside());
}

TEST_F(UiImgBtn2, HeldPointerComingBackShowsPressedAgain) {
  enter(b);
  press(b);
  heldMove(b, {50, 50});
  EXPECT_TRUE(shows(b, up));
  heldMove(b, {3, 3});
  EXPECT_TRUE(shows(b, down));
  release(b);
  EXPECT_TRUE(b.ReleasedInside());
}

TEST_F(UiImgBtn2, PressWithoutEnteringShowsNoPressedLook) {
  enter(b);
  press(b);
  release(b);
  ASSERT_TRUE(b.ReleasedInside());
  leave(b);
  press(b);  // no entering notification before this press
  EXPECT_TRUE(shows(b, up));
  EXPECT_TRUE(b.ReleasedInside());
  release(b);
  EXPECT_TRUE(b.ReleasedInside());
}

TEST_F(UiImgBtn2, UnsupportedKeepsPictureAndFlag) {
  int notes = 0;
  QObject::connect(&b, &TImgBtn2::mouseDown, [&] { ++notes; });
  QObject::connect(&b, &TImgBtn2::mouseUp, [&] { ++notes; });
  b.setSupported(false);
  enter(b);
  press(b);
  EXPECT_TRUE(shows(b, up));
  release(b);
  EXPECT_FALSE(b.ReleasedInside());
  EXPECT_EQ(notes, 0);
}

TEST_F(UiImgBtn2, RightButtonIsNoRelease) {
  enter(b);
  mouse(b, QEvent::MouseButtonPress, {4, 4}, Qt::RightButton, Qt::RightButton);
  EXPECT_TRUE(shows(b, up));
  mouse(b, QEvent::MouseButtonRelease, {4, 4}, Qt::NoButton, Qt::RightButton);
  EXPECT_FALSE(b.ReleasedInside());
}
