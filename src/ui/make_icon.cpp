// SPDX-License-Identifier: MIT
// Writes the application icon for installing: NAME.svg (scalable) and
// NAME.png (48 x 48), both from the one drawing.
//   vantrel-make-icon FOLDER NAME

#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

#include "ui/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vantrel-make-icon FOLDER NAME\n");
    return 2;
  }
  // Painting text-free images needs no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString base = QString::fromLocal8Bit(argv[1]) + '/' + QString::fromLocal8Bit(argv[2]);
  QFile svg(base + ".svg");
  if (!svg.open(QIODevice::WriteOnly) || svg.write(vantrel::art::appIconSvg().toUtf8()) < 0 ||
      !svg.flush()) {
    std::fprintf(stderr, "cannot write %s.svg\n", qPrintable(base));
    return 1;
  }
  svg.close();
  if (!vantrel::art::appIconImage(48).save(base + ".png", "PNG")) {
    std::fprintf(stderr, "cannot write %s.png\n", qPrintable(base));
    return 1;
  }
  return 0;
}
