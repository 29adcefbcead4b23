// SPDX-License-Identifier: MIT
#pragma once
// Where the window really lies on the screen, asked at the moment a pop-up
// opens.
//
// The toolkit keeps the window's place on the screen as the display server
// last told it, and places pop-ups (drop-down lists, dialogs, the preview)
// from that. A window manager that takes the window over after it was
// shown (one started with the program, or restarted) can leave that place
// stale — the window's corner believed at the screen's corner — until the
// window is moved once. Before a pop-up opens, the window asks the display
// server where it is and, when the toolkit's idea differs, sets it right.

#include <QPoint>

#include <functional>
#include <optional>

class QWidget;

namespace vantrel {

// Where the display server has a window's top left corner (the client
// area's) on the screen; nothing when it cannot be asked (another platform
// than X11, no connection).
using ScreenPlaceSource = std::function<std::optional<QPoint>(const QWidget* window)>;

// The X server's answer (xcb), or nothing on other platforms.
std::optional<QPoint> displayServerPlace(const QWidget* window);

// Where alignWindowPlace asks: the display server unless set otherwise
// (an empty source gives the display server back).
void setScreenPlaceSource(ScreenPlaceSource source);

// Makes the toolkit's idea of the place of `widget`'s window the one the
// display server gives. A maximised, minimised or full-screen window and
// one not shown are left alone. Returns the distance the idea was off by.
QPoint alignWindowPlace(QWidget* widget);

}  // namespace vantrel
