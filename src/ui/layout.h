// SPDX-License-Identifier: MIT
#pragma once
// Places and sizes of the main window's controls, in window coordinates.
// The background artwork is drawn around the same rectangles.

#include <QColor>
#include <QRect>
#include <QSize>

namespace vantrel::layout {

constexpr int kWindowWidth = 795;
constexpr int kWindowHeight = 366;

constexpr QRect kShape1{0, 0, 795, 20};
constexpr QRect kLabel1{20, 3, 146, 13};
constexpr QRect kImage2{3, 2, 16, 16};
constexpr QRect kAboutbt{704, 3, 32, 14};
constexpr QRect kMinim{741, 3, 16, 14};
constexpr QRect kImage3{757, 3, 16, 14};
constexpr QRect kImgBtn21{775, 3, 16, 14};
constexpr QRect kImage1{0, 19, 794, 347};

constexpr QRect kDir1{24, 64, 129, 225};
constexpr QRect kDriveComboBox1{24, 288, 129, 19};
constexpr QRect kComplete{161, 58, 17, 17};
constexpr QRect kExtrdrive{161, 288, 17, 17};
constexpr QRect kGauge3{18, 328, 141, 9};

constexpr QRect kFile1{208, 64, 129, 225};
constexpr QRect kFilterComboBox1{208, 288, 129, 21};
constexpr QRect kExtract{345, 58, 17, 17};
constexpr QRect kGauge2{202, 328, 141, 9};

constexpr QRect kHeadl{392, 64, 193, 17};
constexpr QRect kWavlist{392, 80, 193, 209};
constexpr QRect kTest{392, 80, 193, 209};
constexpr QRect kInto{392, 288, 193, 21};
constexpr QRect kGauge1{386, 328, 205, 9};
constexpr QRect kWavextr{593, 58, 17, 17};

constexpr QRect kDestin{640, 64, 129, 225};
constexpr QRect kDriveComboBox2{640, 288, 129, 19};

// The window at a size larger than its default: the extra width goes to
// the four panels (source, files, samples, target, by the left edge of a
// rectangle), half of it to the samples panel, where listening happens,
// and a sixth to each of the others; the extra height goes to the lists,
// and what lies below them moves down. The title strip's buttons keep to
// the right edge.
class Placement {
 public:
  enum class Grow { None, Wide, Tall, WideTall };
  explicit Placement(QSize window)
      : dx_(window.width() > kWindowWidth ? window.width() - kWindowWidth : 0),
        dy_(window.height() > kWindowHeight ? window.height() - kWindowHeight : 0) {}

  // Where `r` (a rectangle of the default window) lies: moved with its
  // panel, and grown as `grow` says. A rectangle that does not grow wide
  // but lies right of its panel's list (a button) keeps to the list's
  // right edge.
  QRect place(const QRect& r, Grow grow = Grow::None) const {
    const int panel = panelOf(r.left());
    const bool wide = grow == Grow::Wide || grow == Grow::WideTall;
    const bool tall = grow == Grow::Tall || grow == Grow::WideTall;
    int x = r.left() + shiftOf(panel);
    if (!wide && r.left() >= kListRight[panel]) x += extraOf(panel);
    int y = r.top();
    if (!tall && r.top() >= kListBottom) y += dy_;
    return {x, y, r.width() + (wide ? extraOf(panel) : 0), r.height() + (tall ? dy_ : 0)};
  }
  // A title strip button: kept at the same distance from the right edge.
  QRect placeRight(const QRect& r) const { return r.translated(dx_, 0); }
  int extraWidth() const noexcept { return dx_; }
  int extraHeight() const noexcept { return dy_; }

 private:
  // The extra width of a panel: a sixth each, the rest to the samples.
  static constexpr int kSamplesPanel = 2;
  int extraOf(int panel) const noexcept { return panel == kSamplesPanel ? dx_ - 3 * (dx_ / 6) : dx_ / 6; }
  // The panels' left edges and their lists' right edges in the default window.
  static constexpr int kPanelLeft[4] = {0, 190, 376, 626};
  static constexpr int kListRight[4] = {154, 338, 586, 770};
  static constexpr int kListBottom = 288;
  static int panelOf(int x) noexcept {
    int panel = 0;
    while (panel < 3 && x >= kPanelLeft[panel + 1]) ++panel;
    return panel;
  }
  int shiftOf(int panel) const noexcept {
    int shift = 0;
    for (int before = 0; before < panel; ++before) shift += extraOf(before);
    return shift;
  }

  int dx_;
  int dy_;
};

// Colours of the window and its panels.
constexpr QColor kWindowColour{57, 57, 57};
constexpr QColor kTreeColour{149, 250, 255};    // folder lists, wavlist
constexpr QColor kListColour{140, 250, 255};    // file1, test
constexpr QColor kBoxColour{58, 107, 112};      // drive and filter boxes, headl, into
constexpr QColor kGaugeColour{48, 48, 48};
constexpr QColor kStatusColour{28, 44, 46};     // headl
constexpr QColor kTitleTeal{0, 128, 128};

}  // namespace vantrel::layout
