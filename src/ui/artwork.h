// SPDX-License-Identifier: MIT
#pragma once
// The window's pictures, drawn in code: the background of the four panels,
// the picture buttons' looks, the title-bar buttons, the glyphs of the
// folder and drive lists, and the about picture.

#include <QFont>
#include <QPixmap>
#include <QSize>

#include "ui/layout.h"

namespace vantrel::art {

// The window's text font and the gauges' small font.
QFont windowFont();
QFont gaugeFont();

// The background artwork (Image1): 794 x 347, drawn for its place at 0,19;
// for a larger window, larger by its extra size, with the panels placed
// as `at` places the controls.
QPixmap background();
QPixmap background(const layout::Placement& at);

enum class ActionGlyph { Folder, Drive, File, Samples };
struct ActionPictures {
  QPixmap offUp, offDown, onUp, onDown;
};
// A 17 x 17 action button's four looks.
ActionPictures actionButton(ActionGlyph glyph);

enum class TitleGlyph { About, Minimise, Maximise, Restore, Close };
struct TitlePictures {
  QPixmap up, down;
};
TitlePictures titleButton(TitleGlyph glyph, QSize size);

// The about box's picture: 400 x 250, with aboutText on it.
QPixmap aboutPicture();
// The inks of the background's texts and the darkest panel face they lie
// on.
struct Inks {
  QColor heading, caption, smallPrint, panel;
};
Inks inks();

// What the program does, naming every output it writes.
QString aboutText();

// Glyphs of the folder lists (open: a folder on the way to the shown one)
// and of the drive boxes.
QPixmap folderGlyph(bool open);
// An image or archive in a folder list: a disc, 14 x 11 like the folders.
QPixmap imageGlyph();
QPixmap driveGlyph();

}  // namespace vantrel::art
