// SPDX-License-Identifier: MIT
// Vantrel's window program: the application, the main window and the
// hidden about box, then the message loop until the main window ends it.

#include <QApplication>

#include "ui/about2.h"
#include "ui/application.h"
#include "ui/wavextract19.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  vantrel::initialiseApplication();
  vantrel::TForm1 Form1;
  vantrel::TAbout About;
  Form1.setAboutBox(&About);
  QObject::connect(&Form1, &vantrel::TForm1::applicationEnding, &app, &QApplication::quit);
  Form1.show();
  return app.exec();
}
