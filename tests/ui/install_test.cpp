// SPDX-License-Identifier: MIT
// What `cmake --install` puts on a system: both programs, the launcher, the
// icon in the hicolor theme and the AppStream description, checked by the
// desktop's own validators.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QSettings>
#include <QXmlStreamReader>

#include <filesystem>

#include "test_support.h"

using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kId = "org.vantrel.Vantrel";

class UiInstall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new TempDir;
    install_ = runCommand({VANTREL_CMAKE, "--install", VANTREL_BUILD_DIR, "--prefix", prefix_->str()});
  }
  static void TearDownTestSuite() {
    delete prefix_;
    prefix_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(install_.exitCode, 0) << install_.out << install_.err; }

  static std::string installed(const std::string& relative) { return prefix_->file(relative); }

  static TempDir* prefix_;
  static CommandResult install_;
};

TempDir* UiInstall::prefix_ = nullptr;
CommandResult UiInstall::install_;

}  // namespace

TEST_F(UiInstall, PutsEveryFileInItsUsualPlace) {
  for (const std::string& f :
       {std::string("bin/vantrel"), std::string("bin/vantrel-cli"),
        "share/applications/" + kId + ".desktop", "share/metainfo/" + kId + ".metainfo.xml",
        "share/icons/hicolor/48x48/apps/" + kId + ".png",
        "share/icons/hicolor/scalable/apps/" + kId + ".svg"})
    EXPECT_TRUE(fs::is_regular_file(installed(f))) << f;
  const auto perms = fs::status(installed("bin/vantrel")).permissions();
  EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
}

TEST_F(UiInstall, DesktopFileValidates) {
  CommandResult r = runCommand({VANTREL_DESKTOP_FILE_VALIDATE, installed("share/applications/" + kId + ".desktop")});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out + r.err, "");
}

TEST_F(UiInstall, DesktopFileStartsTheWindowWithTheInstalledIcon) {
  QSettings desktop(QString::fromStdString(installed("share/applications/" + kId + ".desktop")),
                    QSettings::IniFormat);
  desktop.beginGroup("Desktop Entry");
  EXPECT_EQ(desktop.value("Exec").toString(), "vantrel");
  EXPECT_EQ(desktop.value("Icon").toString().toStdString(), kId);
}

TEST_F(UiInstall, MetainfoValidates) {
  CommandResult r = runCommand({VANTREL_APPSTREAMCLI, "validate", "--no-net",
                                installed("share/metainfo/" + kId + ".metainfo.xml")});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST_F(UiInstall, PngIconIs48Square) {
  QImage icon(QString::fromStdString(installed("share/icons/hicolor/48x48/apps/" + kId + ".png")));
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.size(), QSize(48, 48));
  EXPECT_TRUE(icon.hasAlphaChannel());
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);      // transparent corner
  EXPECT_EQ(qAlpha(icon.pixel(24, 24)), 255);  // opaque body
}

TEST_F(UiInstall, SvgIconIsWellFormedWithA48UnitViewBox) {
  QFile f(QString::fromStdString(installed("share/icons/hicolor/scalable/apps/" + kId + ".svg")));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&f);
  QString viewBox;
  int elements = 0;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement) {
      ++elements;
      if (xml.name() == QLatin1String("svg")) viewBox = xml.attributes().value("viewBox").toString();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(viewBox, "0 0 48 48");
  EXPECT_GT(elements, 5);
}
