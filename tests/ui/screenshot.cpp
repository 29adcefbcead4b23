// Draws the window as a user sees it after clicking a bank, into a PNG:
//   vantrel-screenshot OUT.png
// Works on the offscreen platform or under any display.

#include <QApplication>
#include <QTest>

#include <cstdio>

#include "ui/application.h"
#include "ui_support.h"

using namespace vantrel;
using namespace vantrel::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel-screenshot OUT.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  initialiseApplication();
  TestWindow w;
  const char* names[] = {"ACOUSTIC GUITAR.TTI", "ANALOG PAD.TTI", "DRUM KIT 1.TTI",
                         "GRAND PIANO.TTI", "STRINGS.TTI"};
  int counts[] = {6, 2, 12, 8, 4};
  for (int k = 0; k < 5; ++k) {
    BankDesc bank = simpleBank(counts[k], 256, k == 3 ? "PIANO C" : "SAMPLE ");
    writeBank(w.banks + "/" + names[k], bank);
  }
  std::filesystem::create_directories(w.banks + "/CDROM 1");
  std::filesystem::create_directories(w.banks + "/CDROM 2");
  std::filesystem::create_directories(w.out + "/converted");
  w.writeSettings(w.banks + "\r\n" + w.out + "\r\n0\r\n");
  w.showAndActivate();
  clickEntry(w.form->file1, QStringLiteral("GRAND PIANO.TTI"));
  clickRow(w.form->wavlist, 2);
  w.form->gauge1->setRange(0, 10);
  w.form->gauge1->setProgress(7);
  w.form->Gauge2->setRange(0, 5);
  w.form->Gauge2->setProgress(2);
  QTest::qWait(50);
  if (!w.form->grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
