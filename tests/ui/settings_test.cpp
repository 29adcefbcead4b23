// SPDX-License-Identifier: MIT
// The settings file without the window: lines, line ends, the item index
// rules of line 3, and what is written.

#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "test_support.h"
#include "ui/settings.h"

using namespace vantrel;
using namespace vantrel::testing;

TEST(UiSettingsFile, ReadsThreeCrLfLines) {
  SettingsLines l = parseSettings("/home/a/banks\r\n/home/a/out\r\n1\r\n");
  EXPECT_EQ(l.source, "/home/a/banks");
  EXPECT_EQ(l.target, "/home/a/out");
  EXPECT_EQ(l.choice, "1");
}

TEST(UiSettingsFile, AcceptsBareLfLineEnds) {
  SettingsLines l = parseSettings("/src\n/dst\n2\n");
  EXPECT_EQ(l.source, "/src");
  EXPECT_EQ(l.target, "/dst");
  EXPECT_EQ(l.choice, "2");
}

TEST(UiSettingsFile, AcceptsBareCrLineEnds) {
  SettingsLines l = parseSettings("/src\r/dst\r0");
  EXPECT_EQ(l.source, "/src");
  EXPECT_EQ(l.target, "/dst");
  EXPECT_EQ(l.choice, "0");
}

TEST(UiSettingsFile, CrLfIsOneLineEndNotTwo) {
  SettingsLines l = parseSettings("/a\r\n\r\n5");
  EXPECT_EQ(l.source, "/a");
  EXPECT_EQ(l.target, "");
  EXPECT_EQ(l.choice, "5");
}

TEST(UiSettingsFile, EndOfFileMarkEndsTheReading) {
  SettingsLines l = parseSettings(std::string("/a\r\n/b\x1a/c\r\n1\r\n"));
  EXPECT_EQ(l.source, "/a");
  EXPECT_EQ(l.target, "/b");
  EXPECT_EQ(l.choice, "");
}

TEST(UiSettingsFile, MissingLinesAreEmpty) {
  SettingsLines l = parseSettings("/only");
  EXPECT_EQ(l.source, "/only");
  EXPECT_EQ(l.target, "");
  EXPECT_EQ(l.choice, "");
  SettingsLines none = parseSettings("");
  EXPECT_EQ(none.source, "");
}

TEST(UiSettingsFile, KeepsBytesAsTheyAre) {
  SettingsLines l = parseSettings("/b\xe4nke\r\n/\xc3\xa4\r\n0\r\n");
  EXPECT_EQ(l.source, "/b\xe4nke");
  EXPECT_EQ(l.target, "/\xc3\xa4");
}

struct ItemCase {
  const char* line;
  int index;
};

class UiSettingsItemIndex : public ::testing::TestWithParam<ItemCase> {};

TEST_P(UiSettingsItemIndex, ReadsLineThree) {
  EXPECT_EQ(settingsItemIndex(GetParam().line), GetParam().index) << '"' << GetParam().line << '"';
}

INSTANTIATE_TEST_SUITE_P(
    UiLine3, UiSettingsItemIndex,
    ::testing::Values(ItemCase{"0", 0}, ItemCase{"1", 1}, ItemCase{"2", 2}, ItemCase{"7", 7},
                      ItemCase{"-1", 255}, ItemCase{"257", 1}, ItemCase{"word", 0}, ItemCase{"", 0},
                      ItemCase{"   2", 2}, ItemCase{"+1", 1}, ItemCase{"12abc", 12},
                      ItemCase{"$1F", 31}, ItemCase{"0x10", 16}, ItemCase{"0X1f", 31},
                      ItemCase{"-0x1", 255}, ItemCase{"-", 0}, ItemCase{"$", 0},
                      ItemCase{"1 2", 1}, ItemCase{"-256", 0}, ItemCase{"4294967297", 1}));

TEST(UiSettingsFile, WritesCrLfAndMinusOneForNoChoice) {
  EXPECT_EQ(formatSettings("/a", "/b", -1), "/a\r\n/b\r\n-1\r\n");
  EXPECT_EQ(formatSettings("/a b", "/", 2), "/a b\r\n/\r\n2\r\n");
}

TEST(UiSettingsFile, RoundTripsThroughTheFolder) {
  TempDir dir;
  writeSettingsFile(dir.str(), "/x/y", "/z", 1);
  auto lines = readSettingsFile(dir.str());
  ASSERT_TRUE(lines.has_value());
  EXPECT_EQ(lines->source, "/x/y");
  EXPECT_EQ(lines->target, "/z");
  EXPECT_EQ(settingsItemIndex(lines->choice), 1);
}

TEST(UiSettingsFile, NoFileIsNoSettings) {
  TempDir dir;
  EXPECT_FALSE(readSettingsFile(dir.str()).has_value());
}

TEST(UiSettingsFile, UnwritableFileRaisesTheRunError) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("vantrel.ini"));  // a folder stands in the way
  try {
    writeSettingsFile(dir.str(), "/a", "/b", 0);
    FAIL() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.code(), kFileAccessDenied);
  }
}
