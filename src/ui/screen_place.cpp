// SPDX-License-Identifier: MIT
#include "ui/screen_place.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <utility>

#ifdef VANTREL_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace vantrel {

std::optional<QPoint> displayServerPlace(const QWidget* window) {
#ifdef VANTREL_XCB
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !window || !window->windowHandle() || !window->windowHandle()->handle()) return std::nullopt;
  xcb_connection_t* connection = x11->connection();
  if (!connection) return std::nullopt;
  const auto id = static_cast<xcb_window_t>(window->winId());
  xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr);
  if (!geometry) return std::nullopt;
  const xcb_window_t root = geometry->root;
  std::free(geometry);
  xcb_translate_coordinates_reply_t* at =
      xcb_translate_coordinates_reply(connection, xcb_translate_coordinates(connection, id, root, 0, 0), nullptr);
  if (!at) return std::nullopt;
  const QPoint native(at->dst_x, at->dst_y);
  std::free(at);
  // The server counts device pixels.
  const qreal ratio = window->windowHandle()->devicePixelRatio();
  return ratio > 0 ? QPoint(qRound(native.x() / ratio), qRound(native.y() / ratio)) : native;
#else
  (void)window;
  return std::nullopt;
#endif
}

namespace {

ScreenPlaceSource& placeSource() {
  static ScreenPlaceSource source = displayServerPlace;
  return source;
}

}  // namespace

void setScreenPlaceSource(ScreenPlaceSource source) {
  placeSource() = source ? std::move(source) : ScreenPlaceSource(displayServerPlace);
}

QPoint alignWindowPlace(QWidget* widget) {
  QWidget* window = widget ? widget->window() : nullptr;
  if (!window || !window->isVisible()) return {};
  if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) return {};
  const std::optional<QPoint> real = placeSource()(window);
  if (!real) return {};
  // What pop-ups are placed from: the window's own geometry may be right
  // while the place the toolkit maps to the screen with is not.
  const QPoint off = *real - window->mapToGlobal(QPoint(0, 0));
  // Setting the window where it already is tells the toolkit the place at
  // once; the display server sees no change.
  if (!off.isNull() && window->windowHandle()) window->windowHandle()->setPosition(*real);
  return off;
}

}  // namespace vantrel
