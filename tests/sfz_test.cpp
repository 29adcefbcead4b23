// SPDX-License-Identifier: MIT
// SFZ output: the folder layout and the log, every sample file against the
// file mono mode writes, every region against its zone's SoundFont
// generators (read from our SoundFont of the same bank) through the SFZ
// units, the sample file names, and dry runs. Then a second opinion:
// Polyphone imports each .sfz and its SoundFont plays like ours.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <tuple>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "output_check.h"
#include "jobs/bank_conversion.h"
#include "tti/tti_reader.h"
#include "verify/checks.h"
#include "writers/sfz_writer.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// A region as a player reads it; `disabled` regions are the ones left as
// comment lines ("// <region>", "// opcode=value").
struct SfzRegion {
  bool disabled = false;
  std::map<std::string, std::string> op;
  int num(const std::string& name) const { return std::stoi(op.at(name)); }
  double real(const std::string& name) const { return std::stod(op.at(name)); }
};

// Parses a .sfz strictly: outside comments every line is empty, "<region>"
// or one "opcode=value" whose value holds nothing a reader would take as
// the start of a header, a comment or another opcode.
std::vector<SfzRegion> parseSfz(const std::string& text) {
  static const std::regex opcodeLine("([a-z_]+)=(.+)");
  std::vector<SfzRegion> regions;
  std::istringstream in(text);
  std::string line;
  bool inDisabled = false;
  while (std::getline(in, line)) {
    std::smatch m;
    if (line.rfind("//", 0) == 0) {
      const std::string body = line.size() > 3 ? line.substr(3) : "";
      if (body == "<region>") {
        regions.push_back({true, {}});
        inDisabled = true;
      } else if (inDisabled && std::regex_match(body, m, opcodeLine)) {
        regions.back().op[m[1]] = m[2];
      }
      continue;
    }
    inDisabled = false;
    if (line.empty()) continue;
    if (line == "<region>") {
      regions.push_back({});
      continue;
    }
    if (!std::regex_match(line, m, opcodeLine) || regions.empty()) {
      ADD_FAILURE() << "not an opcode line of a region: '" << line << "'";
      continue;
    }
    const std::string value = m[2];
    EXPECT_EQ(value.find_first_of("<>=\r\t"), std::string::npos) << line;
    EXPECT_EQ(value.find("//"), std::string::npos) << line;
    EXPECT_NE(value.front(), ' ') << line;
    EXPECT_NE(value.back(), ' ') << line;
    EXPECT_TRUE(regions.back().op.emplace(m[1], value).second) << "opcode twice: " << line;
  }
  return regions;
}

std::int16_t s16(std::uint16_t v) { return static_cast<std::int16_t>(v); }

// Envelope seconds of a time in timecents; the shortest time is 0.
double secondsOf(std::int16_t timecents) {
  return timecents == -32768 ? 0.0 : std::pow(2.0, timecents / 1200.0);
}

// A value written with at least five significant digits.
void expectClose(double got, double want, const std::string& what) {
  EXPECT_NEAR(got, want, 1e-5 * std::max(1.0, std::fabs(want))) << what;
}

// A sample name as the bank holds it, its mono file name and its SFZ file
// name. No two entries share a mono or SFZ name.
struct NameCase {
  std::string bank, mono, sfz;
};
const std::vector<NameCase> kNames = {
    {"SNARE.WAV", "SNARE.WAV", "SNARE.WAV"},
    {"hat.Wav", "hat.Wav", "hat.Wav"},
    {"PIANO.AIF", "PIANO.AIF", "PIANO.AIF.wav"},
    {"KICK_WAV", "KICK_WAV", "KICK_WAV.wav"},
    {"BELL", "BELL", "BELL.wav"},
    {" LEAD.WAV", " LEAD.WAV", "_LEAD.WAV"},
    {"PAD.WAV ", "PAD.WAV ", "PAD.WAV .wav"},
    {"A<B>.WAV", "A<B>.WAV", "A_B_.WAV"},
    {"GAIN =3.WAV", "GAIN =3.WAV", "GAIN _3.WAV"},
    {"TAB\tX.WAV", "TAB_X.WAV", "TAB_X.WAV"},
    {"A/B.WAV", "A_B.WAV", "A_B.WAV"},
    {"caf\xe9.WAV", "caf\xc3\xa9.WAV", "caf\xc3\xa9.WAV"},
    {"TWO  SP.WAV", "TWO  SP.WAV", "TWO  SP.WAV"},
    {"\xa0NBSP.WAV", "\xc2\xa0NBSP.WAV", "_NBSP.WAV"},
    {"C1\x85.WAV", "C1_.WAV", "C1_.WAV"},
};

// A random bank of 1-6 samples named from kNames; `names` gets the entries
// used, in sample order.
BankDesc randomBank(std::mt19937& rng, std::vector<NameCase>& names, std::size_t minFrames,
                    std::size_t maxFrames, bool loopsInside) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<NameCase> pool = kNames;
  std::shuffle(pool.begin(), pool.end(), rng);
  names.assign(pool.begin(), pool.begin() + pick(1, 6));
  BankDesc d;
  const int zones = pick(1, 8);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const int frames = pick(0, 9) == 0 && minFrames == 0 ? 0 : pick(static_cast<int>(minFrames), static_cast<int>(maxFrames));
    SampleDesc s = pcmSample(names[i].bank, noisePcm(static_cast<std::size_t>(frames), static_cast<std::uint32_t>(pick(1, 999))));
    if (pick(0, 3) == 0) s.pcm.push_back(0x55);  // an odd last byte
    if (loopsInside && frames > 0) {
      s.loopStartFrame = static_cast<std::uint32_t>(pick(0, frames - 1));
      s.loopEndFrame = static_cast<std::uint32_t>(pick(static_cast<int>(s.loopStartFrame) + 1, frames));
    } else {
      s.loopStartFrame = static_cast<std::uint32_t>(pick(0, frames));
      s.loopEndFrame = static_cast<std::uint32_t>(pick(0, frames + 3));
    }
    for (int z = static_cast<int>(i); z < zones; z += static_cast<int>(names.size())) {
      s.zones.push_back(static_cast<std::uint8_t>(z));
    }
    d.samples.push_back(s);
  }
  for (int z = 0; z < zones; ++z) {
    ZoneDesc zd = randomZone(rng);
    if (pick(0, 3) != 0) {  // mostly ranges that hold notes
      if (zd.keyLow > zd.keyHigh) std::swap(zd.keyLow, zd.keyHigh);
      if (zd.velLow >= zd.velHigh) zd.velLow = static_cast<std::uint8_t>(pick(0, zd.velHigh / 2));
      if (zd.keyLow == 127) zd.keyLow = 126;
      if (zd.velHigh == 0) zd.velHigh = 1;
    }
    d.zones.push_back(zd);
  }
  return d;
}

// One bank converted by the command line in SFZ, mono and SF2 mode.
struct Converted {
  TempDir dir;
  std::string bank, sfzFolder, sfzPath, monoFolder, sf2Path;
  CommandResult sfzRun;

  Converted(const BankDesc& d, const std::string& file) {
    bank = dir.file(file);
    writeBank(bank, d);
    const std::string stem = file.substr(0, file.size() - 4);
    for (const char* mode : {"sfz", "mono", "sf2"}) {
      const std::string out = dir.file(mode);
      fs::create_directories(out);
      const CommandResult r = runCommand({kCli, "convert", "--mode", mode, "--out", out, bank});
      EXPECT_EQ(r.exitCode, 0) << mode << ": " << r.err;
      if (std::string(mode) == "sfz") sfzRun = r;
    }
    sfzFolder = dir.file("sfz/SFZ_" + file);
    sfzPath = sfzFolder + "/" + stem + ".sfz";
    monoFolder = dir.file("mono/WAV_MONO_" + file);
    sf2Path = dir.file("sf2/" + stem + ".sf2");
  }
};

std::string textOf(const std::string& path) {
  const auto bytes = readFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

}  // namespace

TEST(SfzRandomBanks, LayoutSamplesAndEveryRegionFollowTheSoundFont) {
  std::mt19937 rng(1207);
  int active = 0, disabled = 0, looped = 0;
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<NameCase> names;
    const BankDesc d = randomBank(rng, names, 0, 3000, false);
    const std::string file = round % 2 ? "Kit.tti" : "BANK.TTI";
    const std::string stem = file.substr(0, file.size() - 4);
    Converted c(d, file);

    // Layout and log.
    EXPECT_EQ(namesIn(c.sfzFolder), (std::vector<std::string>{stem + ".sfz", "samples"}));
    std::vector<std::string> expectedFiles, expectedLog = {"processing " + file};
    for (const NameCase& n : names) {
      expectedFiles.push_back(n.sfz);
      expectedLog.push_back(n.sfz + " extracted");
    }
    expectedLog.push_back(stem + ".sfz written");
    EXPECT_EQ(lines(c.sfzRun.out), expectedLog);
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(namesIn(c.sfzFolder + "/samples"), expectedFiles);

    // Every sample file is mono mode's.
    std::vector<std::uint32_t> frames;
    std::vector<std::int32_t> smplStart, smplEnd;
    for (const NameCase& n : names) {
      const auto wav = readFileBytes(c.sfzFolder + "/samples/" + n.sfz);
      EXPECT_EQ(wav, readFileBytes(c.monoFolder + "/" + n.mono)) << n.sfz;
      ASSERT_EQ(wav.size(), 112 + u32At(wav, 108)) << n.sfz;
      frames.push_back(u32At(wav, 108) / 2);
      smplStart.push_back(static_cast<std::int32_t>(u32At(wav, 88)));
      smplEnd.push_back(static_cast<std::int32_t>(u32At(wav, 92)));
    }

    // Every region against its zone's generators.
    const std::string text = textOf(c.sfzPath);
    const auto regions = parseSfz(text);
    const auto zones = sf2InstrumentZones(readFileBytes(c.sf2Path));
    ASSERT_EQ(regions.size(), zones.size()) << text;
    for (std::size_t k = 0; k < regions.size(); ++k) {
      SCOPED_TRACE("region " + std::to_string(k));
      const SfzRegion& r = regions[k];
      auto gen = [&](std::uint16_t op) { return zones[k].at(op); };
      const std::size_t sample = gen(53);
      ASSERT_LT(sample, names.size());
      EXPECT_EQ(r.op.at("sample"), "samples/" + names[sample].sfz);

      const int keyLo = gen(43) & 0xFF, keyHi = gen(43) >> 8, velLo = gen(44) & 0xFF, velHi = gen(44) >> 8;
      EXPECT_EQ(r.num("lokey"), std::min(keyLo, 127));
      EXPECT_EQ(r.num("hikey"), keyHi);
      EXPECT_EQ(r.num("lovel"), std::clamp(velLo, 1, 127));
      EXPECT_EQ(r.num("hivel"), velHi);
      EXPECT_EQ(r.disabled, keyLo > keyHi || std::max(velLo, 1) > velHi || frames[sample] == 0) << text;
      (r.disabled ? disabled : active)++;

      const int root = s16(gen(58));
      EXPECT_EQ(r.num("pitch_keycenter"), root < 0 ? 60 : root);
      EXPECT_EQ(100 * r.num("transpose") + r.num("tune"), s16(gen(52)));
      EXPECT_LE(std::abs(r.num("tune")), 50);
      expectClose(r.real("volume"), -0.04 * s16(gen(48)), "volume");
      expectClose(r.real("pan"), std::clamp(s16(gen(17)) / 5.0, -100.0, 100.0), "pan");

      const bool inside = smplStart[sample] >= 0 && smplStart[sample] <= smplEnd[sample] &&
                          smplEnd[sample] < static_cast<std::int32_t>(frames[sample]);
      if (gen(54) == 1 && inside) {
        ++looped;
        EXPECT_EQ(r.op.at("loop_mode"), "loop_continuous");
        EXPECT_EQ(r.num("loop_start"), smplStart[sample]);
        EXPECT_EQ(r.num("loop_end"), smplEnd[sample]);
      } else {
        EXPECT_EQ(r.op.at("loop_mode"), "no_loop");
        EXPECT_EQ(r.op.count("loop_start") + r.op.count("loop_end"), 0u);
      }

      expectClose(r.real("ampeg_attack"), secondsOf(s16(gen(34))), "attack");
      expectClose(r.real("ampeg_decay"), secondsOf(s16(gen(36))), "decay");
      expectClose(r.real("ampeg_release"), secondsOf(s16(gen(38))), "release");
      expectClose(r.real("ampeg_sustain"), 100 * std::pow(10.0, -s16(gen(37)) / 200.0), "sustain");
      EXPECT_EQ(r.op.size(), 17u - (r.op.count("loop_start") ? 0 : 2));
    }
  }
  // The draw reaches every kind of region.
  EXPECT_GT(active, 20);
  EXPECT_GT(disabled, 5);
  EXPECT_GT(looped, 3);
}

// --verify's check of an .sfz: the writer's file passes, and a change of
// any one opcode value of a region that plays, or of the tuning's split
// into transpose and tune, makes it fail.
TEST(SfzVerify, EveryOpcodeValueChangedFailsTheCheck) {
  std::mt19937 rng(3301);
  int mutations = 0;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<NameCase> names;
    const BankDesc d = randomBank(rng, names, 0, 3000, false);
    Converted c(d, "BANK.TTI");
    const std::vector<std::uint8_t> bytes = buildBank(d);
    MemorySource source(bytes.data(), bytes.size(), c.bank);
    SampleBank bank;
    ZoneArticulation art;
    readDirectory(source, bank);
    source.rewind();
    readValues(source, bank, {&art, true});
    bank.ttiPath = c.bank;
    // The sample files count as verified: only the .sfz's lines are checked.
    std::map<std::string, std::uint16_t> verified;
    for (std::size_t i = 0; i < names.size(); ++i) {
      verified[c.sfzFolder + "/samples/" + names[i].sfz] = static_cast<std::uint16_t>(i);
    }
    const std::string intact = textOf(c.sfzPath);
    EXPECT_EQ(verify::checkSfz(c.sfzPath, bank, art, nullptr, &verified, false), "");
    std::istringstream in(intact);
    std::string line;
    std::size_t at = 0;
    while (std::getline(in, line)) {
      const std::size_t eq = line.find('=');
      const std::size_t lineStart = at;
      at += line.size() + 1;
      if (line.rfind("//", 0) == 0 || eq == std::string::npos) continue;
      const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
      std::string changed;
      if (name == "loop_mode") {
        changed = value == "no_loop" ? "loop_continuous" : "no_loop";
      } else if (name == "sample") {
        changed = value + "x";
      } else if (name == "tune") {
        changed = std::to_string(std::stoi(value) + (std::stoi(value) < 0 ? 100 : -100));  // semitones unchanged
      } else if (value.find_first_of(".e") == std::string::npos) {
        changed = std::to_string(std::stol(value) + 1);
      } else {
        changed = std::to_string(std::stod(value) * 1.01 + 0.001);
      }
      std::string text = intact;
      text.replace(lineStart + eq + 1, value.size(), changed);
      writeBytes(c.sfzPath, std::vector<std::uint8_t>(text.begin(), text.end()));
      EXPECT_NE(verify::checkSfz(c.sfzPath, bank, art, nullptr, &verified, false), "") << line << " -> " << changed;
      ++mutations;
    }
  }
  EXPECT_GT(mutations, 100);
}

TEST(SfzCommandLine, ASecondRunSkipsTheSamplesAndReplacesTheSfz) {
  TempDir dir;
  BankDesc d;
  d.samples = {pcmSample("ONE.WAV", rampPcm(40), {0}), pcmSample("TWO", rampPcm(60, 3), {1})};
  d.zones = {ZoneDesc{}, ZoneDesc{}};
  const std::string bank = dir.file("KIT.TTI");
  writeBank(bank, d);
  const std::string out = dir.file("out");
  fs::create_directories(out);
  ASSERT_EQ(runCommand({kCli, "convert", "--mode", "sfz", "--out", out, bank}).exitCode, 0);
  const std::string sfz = out + "/SFZ_KIT.TTI/KIT.sfz";
  const std::string first = textOf(sfz);
  writeBytes(sfz, {'x'});
  writeBytes(out + "/SFZ_KIT.TTI/samples/TWO.wav", {'y'});

  // TWO.wav holds other bytes now: left as it is, and the bank fails.
  const CommandResult r = runCommand({kCli, "convert", "--mode", "sfz", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{"processing KIT.TTI", "ONE.WAV already extracted",
                                                    "TWO.wav exists and differs", "KIT.sfz written"}));
  EXPECT_EQ(textOf(sfz), first);
  EXPECT_EQ(readFileBytes(out + "/SFZ_KIT.TTI/samples/TWO.wav"), std::vector<std::uint8_t>{'y'});

  // A folder run puts one SFZ folder per bank into <folder>_SFZ.
  const CommandResult folder = runCommand({kCli, "folder", "--mode", "sfz", "--out", out, dir.str()});
  EXPECT_EQ(folder.exitCode, 0) << folder.err;
  EXPECT_EQ(textOf(out + "/" + dir.path().filename().string() + "_SFZ/SFZ_KIT.TTI/KIT.sfz"), first);
}

TEST(SfzNames, RepeatsAndLongNamesStayUniqueAndEndInWav) {
  SampleBank bank;
  const std::string longName(255, 'x');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A", "A.wav"},
      {"A.wav", "A_2.wav"},
      {"A_2", "A_2_2.wav"},
      {"a.WAV", "a_3.WAV"},  // letter case aside, as on FAT
      {"SPACE ", "SPACE .wav"},
      {" ", "_.wav"},
      {longName, std::string(251, 'x') + ".wav"},
      {longName + "y", std::string(249, 'x') + "_2.wav"},
  };
  bank.sampleCount = static_cast<std::uint32_t>(cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) bank.outputName[i] = cases[i].first;
  const auto names = sfzSampleNames(bank);
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(names[i], cases[i].second) << i;
}

TEST(SfzJobs, DryRunPlansEveryFileAndOverwriteRewritesTheSamples) {
  struct Events : RecordingListener {
    std::vector<std::tuple<std::string, OutputOutcome, FormatId>> seen;
    void outputFile(const OutputFileEvent& e) override { seen.emplace_back(e.path, e.outcome, e.kind); }
  };
  TempDir dir;
  BankDesc d;
  d.samples = {pcmSample("ONE.WAV", rampPcm(40), {0}), pcmSample("TWO", rampPcm(60, 3), {1})};
  d.zones = {ZoneDesc{}, ZoneDesc{}};
  writeBank(dir.file("KIT.TTI"), d);
  const std::string out = dir.file("out") + "/";
  fs::create_directories(out);
  const std::string folder = out + "SFZ_KIT.TTI/";

  for (const bool dryRun : {true, false}) {
    Events ui;
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(FormatId::Sfz);
    ctx.options.dryRun = dryRun;
    ctx.options.overwrite = true;
    ctx.destinationFolder = out;
    ctx.bank.ttiPath = dir.file("KIT.TTI");
    getttidata(ctx);
    if (!dryRun) {
      fs::create_directories(folder + "samples");
      writeBytes(folder + "samples/ONE.WAV", {'z'});
    }
    extracttti(ctx);
    const OutputOutcome o = dryRun ? OutputOutcome::Planned : OutputOutcome::Written;
    const decltype(ui.seen) want = {{folder + "samples/ONE.WAV", o, FormatId::Mono},
                                    {folder + "samples/TWO.wav", o, FormatId::Mono},
                                    {folder + "KIT.sfz", o, FormatId::Sfz}};
    EXPECT_EQ(ui.seen, want);
    EXPECT_EQ(fs::exists(folder), !dryRun);
  }
  EXPECT_EQ(readFileBytes(folder + "samples/ONE.WAV").size(), 112u + 40u);
}

// Polyphone's SFZ import as a second opinion: the SoundFont it makes of
// each .sfz holds every region, loads in FluidSynth, and each zone's note
// sounds within 1.5 dB of the same note from our SoundFont.
TEST(SfzPolyphone, ImportedInstrumentsPlayLikeOurSoundFont) {
  if (std::system("command -v polyphone >/dev/null 2>&1") != 0) GTEST_SKIP() << "polyphone is not installed";
  std::mt19937 rng(4711);
  int compared = 0;
  double largest = 0;  // the largest level difference, dB
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<NameCase> names;
    // Samples longer than the notes played, so that loops play no part.
    const BankDesc d = randomBank(rng, names, 6000, 9000, true);
    Converted c(d, "BANK.TTI");
    const std::string home = c.dir.file("home");
    fs::create_directories(home);
    const CommandResult p = runCommand(
        {"/usr/bin/env", "HOME=" + home, "XDG_CONFIG_HOME=" + home, "XDG_RUNTIME_DIR=" + home, "QT_QPA_PLATFORM=offscreen",
         "LC_ALL=C.UTF-8", "timeout", "60", "polyphone", "-1", "-i", c.sfzPath, "-d", c.dir.str(), "-o", "IMPORT"});
    const std::string imported = c.dir.file("IMPORT.sf2");
    if (p.exitCode != 0 && round == 0 && !fs::exists(imported)) {
      GTEST_SKIP() << "polyphone did not start: exit " << p.exitCode << " " << p.err;
    }
    ASSERT_TRUE(fs::exists(imported)) << p.out << p.err;

    std::vector<SfzRegion> regions;
    for (const SfzRegion& r : parseSfz(textOf(c.sfzPath))) {
      if (!r.disabled) regions.push_back(r);
    }
    EXPECT_EQ(sf2InstrumentZones(readFileBytes(imported)).size(), regions.size());
    // Of an instrument without a region Polyphone makes a SoundFont that
    // FluidSynth refuses; there is nothing to play either.
    if (regions.empty()) continue;

    FluidCheck ours, theirs;
    ASSERT_NE(ours.load(c.sf2Path), FLUID_FAILED);
    ASSERT_NE(theirs.load(imported), FLUID_FAILED);
    EXPECT_TRUE(theirs.messages().empty()) << theirs.messages().front();
    for (const SfzRegion& r : regions) {
      const int lo = r.num("lokey"), hi = r.num("hikey"), root = r.num("pitch_keycenter");
      const int key = root >= lo && root <= hi ? root : (lo + hi) / 2;
      const int vel = (r.num("lovel") + r.num("hivel") + 1) / 2;
      const double want = ours.rmsDb(key, vel), got = theirs.rmsDb(key, vel);
      largest = std::max(largest, std::fabs(got - want));
      EXPECT_NEAR(got, want, 1.5) << "key " << key << " velocity " << vel << " of " << r.op.at("sample");
      ++compared;
    }
  }
  EXPECT_GT(compared, 10);
  RecordProperty("notes_compared", compared);
  RecordProperty("largest_difference_millibel", static_cast<int>(1000 * largest));
}
