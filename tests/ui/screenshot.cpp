// Draws the window as a user sees it after clicking a bank, into a PNG:
//   vantrel-screenshot OUT.png
// Works on the offscreen platform or under any display.

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ui/about2.h"
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
  QTemporaryDir home(QDir::tempPath() + QStringLiteral("/Music-XXXXXX"));
  if (!home.isValid()) return 1;
  const std::string base = home.path().toStdString();
  const std::string banks = base + "/Sampler CDs", out = base + "/Converted";
  std::filesystem::create_directories(banks + "/CD 01 Keys");
  std::filesystem::create_directories(banks + "/CD 02 Drums");
  std::filesystem::create_directories(out + "/Strings_WAV_M");
  const char* names[] = {"ACOUSTIC GTR.TTI", "ANALOG PAD.TTI", "DRUM KIT 1.TTI",
                         "GRAND PIANO.TTI", "STRINGS.TTI"};
  const int counts[] = {6, 2, 12, 8, 4};
  for (int k = 0; k < 5; ++k)
    writeBank(banks + "/" + names[k], simpleBank(counts[k], 256, k == 3 ? "PIANO C" : "SAMPLE "));
  std::ofstream(base + "/vantrel.ini", std::ios::binary) << banks << "\r\n" << out << "\r\n0\r\n";

  TForm1 form;
  TAbout about;
  form.setAboutBox(&about);
  form.setStartFolder(home.path());
  form.show();
  if (!QTest::qWaitForWindowActive(&form)) form.FormActivate();
  clickEntry(form.file1, QStringLiteral("GRAND PIANO.TTI"));
  clickRow(form.wavlist, 2);
  form.gauge1->setRange(0, 10);
  form.gauge1->setProgress(7);
  form.Gauge2->setRange(0, 5);
  form.Gauge2->setProgress(2);
  QTest::qWait(50);
  if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
