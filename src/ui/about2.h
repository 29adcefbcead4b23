// SPDX-License-Identifier: MIT
#pragma once
// The about box: a borderless picture that stays on top of other windows,
// centred on the screen, hidden again by a click on it or by Esc.

#include <QLabel>
#include <QWidget>

namespace vantrel {

class TAbout : public QWidget {
  Q_OBJECT
 public:
  explicit TAbout(QWidget* parent = nullptr);

  QLabel* Image1;

  // Shows the box, centred on the screen, without making it modal.
  void showCentred();
  void Image1Click();

 signals:
  // The box was hidden: the window that showed it takes the focus back.
  void hidden();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;
};

}  // namespace vantrel
