// SPDX-License-Identifier: MIT
#pragma once
// Places and sizes of the main window's controls, in window coordinates.
// The background artwork is drawn around the same rectangles.

#include <QColor>
#include <QRect>

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

// Colours of the window and its panels.
constexpr QColor kWindowColour{57, 57, 57};
constexpr QColor kTreeColour{149, 250, 255};    // folder lists, wavlist
constexpr QColor kListColour{140, 250, 255};    // file1, test
constexpr QColor kBoxColour{58, 107, 112};      // drive and filter boxes, headl, into
constexpr QColor kGaugeColour{48, 48, 48};
constexpr QColor kTitleTeal{0, 128, 128};

}  // namespace vantrel::layout
