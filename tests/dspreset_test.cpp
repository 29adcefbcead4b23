// SPDX-License-Identifier: MIT
// DecentSampler output: every <sample> element, read with tinyxml2, against
// values worked out here from the bank's description; velocity layers at
// the level FluidSynth plays the bank's SoundFont at; the preset check
// against damaged copies of a preset; and the command line's DecentSampler
// folder beside its SFZ folder of the same bank.

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <cmath>
#include <regex>

#include "output_check.h"
#include "verify/dspreset_check.h"
#include "verify/expected.h"
#include "verify_banks.h"
#include "writers/dspreset_writer.h"
#include "writers/sfz_writer.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

// A bank as the reader loads it from the bytes of its description.
struct Loaded {
  SampleBank bank;
  ZoneArticulation art;
  Loaded(const BankDesc& d, const std::string& path) {
    const std::vector<std::uint8_t> bytes = buildBank(d);
    MemorySource source(bytes.data(), bytes.size(), path);
    readDirectory(source, bank);
    source.rewind();
    readValues(source, bank, {&art, true});
    bank.ttiPath = path;
  }
};

// A bank with a zone for each edge: samples whose names need escaping, of
// no frames, with a loop reversed or outside; zones that never sound.
BankDesc edgeBank() {
  BankDesc d;
  d.samples = {pcmSample("A&B.WAV", noisePcm(40, 1), {0, 1, 2, 3, 4, 5, 6}), pcmSample("EMPTY", {}, {7}),
               pcmSample("Q\"T<>'.WAV", noisePcm(20, 2), {8}), pcmSample("OUT.WAV", noisePcm(10, 3), {9})};
  // Loops within, of no frames, reversed, past the end (ends one past the loop's last frame).
  const std::uint32_t loops[4][2] = {{10, 31}, {0, 0}, {15, 5}, {2, 12}};
  for (int i = 0; i < 4; ++i) d.samples[i].loopStartFrame = loops[i][0], d.samples[i].loopEndFrame = loops[i][1];
  d.zones.resize(10);
  for (ZoneDesc& z : d.zones) z.loopWord2 = 2;  // looped
  d.zones[1].keyLow = 127;                                                            // keys 128-127
  d.zones[2].velLow = 100, d.zones[2].velHigh = 50;                                   // no velocity
  d.zones[3].transposition = 100, d.zones[3].fineTuneRaw = 0, d.zones[3].volume = 0;  // root -36
  d.zones[3].panRight = 31, d.zones[3].loopWord2 = 1;                                 // hard left, no loop
  d.zones[4].transposition = 64, d.zones[4].panRight = 127, d.zones[4].keyLow = 126;  // root 0, beyond right
  d.zones[5].volume = 100, d.zones[5].fineTuneRaw = 120, d.zones[5].sustainLevel = 0, d.zones[5].attackRate = 0;
  d.zones[6].velLow = 127;  // velocities 128-127
  return d;
}

// What a zone's entry in the preset holds, from the bank's description:
// every attribute but path and loopEnabled.
struct Expect {
  int sample = 0;
  bool sounds = true;
  std::map<std::string, double> num;
};

Expect expectFor(const BankDesc& d, const Loaded& l, std::size_t z) {
  Expect e;
  // The zone plays the last sample whose list names it; sample 0 if none.
  std::uint32_t start = static_cast<std::uint32_t>(d.pcmPrefix.size());
  for (std::size_t i = 0; i < d.samples.size(); ++i) {
    if (std::count(d.samples[i].zones.begin(), d.samples[i].zones.end(), z)) e.sample = static_cast<int>(i);
  }
  for (int i = 0; i < e.sample; ++i) start += static_cast<std::uint32_t>(d.samples[i].pcm.size());
  const SampleDesc& s = d.samples[e.sample];
  const std::uint32_t frames = (s.end.value_or(start + static_cast<std::uint32_t>(s.pcm.size())) - start) / 2;
  const int loopStart = static_cast<int>(s.loopStartFrame), loopEnd = static_cast<int>(s.loopEndFrame) - 1;
  const ZoneDesc& zd = d.zones[z];
  const int keyLow = zd.keyLow + 1, velLow = zd.velLow == 0 ? 0 : zd.velLow + 1;
  e.sounds = keyLow <= zd.keyHigh && std::max(velLow, 1) <= zd.velHigh && frames > 1;
  const int root = static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - zd.transposition));
  const int left = (31 - zd.panLeft) & 0xFF, right = (31 - zd.panRight) & 0xFF;
  // The louder side wins, 31 being fully to that side (+-500).
  const double pan = left == right  ? 0
                     : left > right ? -std::lround(left * 500.0 / 31)
                                    : std::lround(right * 500.0 / 31);
  const int sustainCb = 1000 - static_cast<int>(std::lround(zd.sustainLevel * 1000.0 / 63));
  // DecentSampler's root notes run from 1: a root of 0 is 1, a semitone up.
  const int key = root < 0 ? 60 : root;
  e.num = {{"rootNote", std::max(key, 1)}, {"loNote", std::min(keyLow, 127)}, {"hiNote", zd.keyHigh},
           {"loVel", std::clamp(velLow, 1, 127)}, {"hiVel", zd.velHigh},
           {"tuning", std::lround((zd.fineTuneRaw - 96) * 11.0 / 7) / 100.0 + (std::max(key, 1) - key)},
           {"volume", -0.04 * (1440 - std::lround(zd.volume * 1440.0 / 127)) + 20 * std::log10(zd.velHigh / 127.0)},
           {"pan", std::clamp(pan / 5, -100.0, 100.0)}, {"sustain", std::pow(10.0, -sustainCb / 200.0)}};
  // Envelope times come from the check's own table of the sampler's times.
  for (const auto& [oper, amount] : verify::zoneGenerators(l.bank, l.art, static_cast<std::uint16_t>(z))) {
    const int tc = static_cast<std::int16_t>(amount);
    const double seconds = tc == -32768 ? 0 : std::exp2(tc / 1200.0);
    if (oper == verify::kAttackVolEnv) e.num["attack"] = seconds;
    if (oper == verify::kDecayVolEnv) e.num["decay"] = seconds;
    if (oper == verify::kReleaseVolEnv) e.num["release"] = seconds;
  }
  const bool looped = std::abs(zd.loopWord1 - zd.loopWord2) >= 2;
  if (looped && loopStart <= loopEnd && static_cast<std::uint32_t>(loopEnd) < frames) {
    e.num["loopStart"] = loopStart;
    e.num["loopEnd"] = loopEnd;
  }
  return e;
}

// Converts a bank with the command line in `mode` into `out`; the exit status.
int convert(const std::string& bank, const std::string& mode, const std::string& out, bool verify = false) {
  fs::create_directories(out);
  std::vector<std::string> argv = {kCli, "convert", "--mode", mode, "--out", out, bank};
  if (verify) argv.push_back("--verify");
  const CommandResult r = runCommand(argv);
  EXPECT_EQ(r.exitCode, 0) << mode << ": " << r.out << r.err;
  return r.exitCode;
}

// Reads a preset with tinyxml2 and compares it with the bank's description.
void expectPreset(const std::string& text, const BankDesc& d, const Loaded& l,
                  const std::vector<std::string>& names) {
  static const std::regex plain("-?[0-9]+(\\.[0-9]+)?"), decibels("-?[0-9]+(\\.[0-9]+)?dB");
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.Parse(text.data(), text.size()), tinyxml2::XML_SUCCESS) << doc.ErrorStr() << "\n" << text;
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
  static const std::regex comment("<!--(.*?)-->");  // a comment ends at the first "-->"
  for (std::sregex_iterator c(text.begin(), text.end(), comment), end; c != end; ++c) {
    EXPECT_TRUE((*c)[1].str().find("--") == std::string::npos && (*c)[1].str().back() != '-') << c->str();
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  ASSERT_STREQ(root->Name(), "DecentSampler");
  EXPECT_STREQ(root->Attribute("minVersion"), "1.0.0");
  const tinyxml2::XMLElement* group = root->FirstChildElement("groups")->FirstChildElement("group");
  ASSERT_NE(group, nullptr);
  EXPECT_STREQ(group->Attribute("ampVelTrack"), "1");
  EXPECT_STREQ(group->Attribute("attackCurve"), "0");  // linear
  std::vector<const tinyxml2::XMLNode*> entries;  // sample elements and "never sounds" comments
  for (const tinyxml2::XMLNode* n = group->FirstChild(); n; n = n->NextSibling()) {
    if (n->ToElement() || std::string(n->Value()).find("never sounds") != std::string::npos) entries.push_back(n);
  }
  ASSERT_EQ(entries.size(), std::max<std::size_t>(d.zones.size(), 1)) << text;
  for (std::size_t z = 0; z < entries.size(); ++z) {
    SCOPED_TRACE("zone " + std::to_string(z));
    const Expect e = expectFor(d, l, z);
    const tinyxml2::XMLElement* s = entries[z]->ToElement();
    ASSERT_EQ(s != nullptr, e.sounds) << text;
    if (!s) {
      const std::string head = " zone " + std::to_string(z) + ", sample " + std::to_string(e.sample);
      EXPECT_EQ(std::string(entries[z]->Value()).rfind(head + ": never sounds", 0), 0u) << entries[z]->Value();
      continue;
    }
    EXPECT_EQ(std::string(s->Attribute("path") ? s->Attribute("path") : "none"), "samples/" + names[e.sample]);
    EXPECT_STREQ(s->Attribute("loopEnabled"), e.num.count("loopStart") ? "true" : "false");
    std::size_t count = 0;
    for (const tinyxml2::XMLAttribute* a = s->FirstAttribute(); a; a = a->Next(), ++count) {
      const std::string name = a->Name();
      const std::string value = a->Value();
      if (name == "path" || name == "loopEnabled") continue;
      ASSERT_TRUE(e.num.count(name)) << "unexpected " << name;
      // Plain decimals in the C locale, never "-0"; volume in dB.
      const double got = std::stod(value);
      EXPECT_TRUE(std::regex_match(value, name == "volume" ? decibels : plain) && (got != 0 || value[0] != '-'))
          << name << "=" << value;
      const double want = e.num.at(name);
      EXPECT_NEAR(got, want, 1e-5 * std::fabs(want) + 1e-12) << name;
    }
    EXPECT_EQ(count, e.num.size() + 2);
  }
}

}  // namespace

TEST(DsPresetText, EverySampleElementFollowsTheBankDescription) {
  // The edge bank's path needs care in a comment, its third name in an attribute.
  std::vector<std::pair<BankDesc, std::string>> cases = {{edgeBank(), "/any/K--IT-&<\x01\xe9.TTI"}};
  for (std::uint32_t seed = 1; seed <= 12; ++seed) cases.emplace_back(randomArchiveBank(seed), "/any/BANK.TTI");
  for (const auto& [desc, path] : cases) {
    SCOPED_TRACE(path + " of " + std::to_string(desc.zones.size()) + " zones");
    const Loaded l(desc, path);
    std::vector<std::string> names = sfzSampleNames(l.bank);
    if (names.size() > 2) names[2] = "tab\t<\"'>&caf\xc3\xa9.wav";
    expectPreset(dspresetText(l.bank, interpretZones(l.bank, l.art), names), desc, l, names);
  }
}

// Velocity layers of one sample, each heard at its last velocity: the
// level the preset gives it by DecentSampler's guide (volume, plus
// 20 log10(1 - t + t v / 127) dB for ampVelTrack t at velocity v), against
// the loudest layer, is the level FluidSynth plays the bank's SoundFont at
// against the same layer, within 0.5 dB.
TEST(DsPresetLevels, VelocityLayersPlayAtTheSoundFontsLevelAtTheirLastVelocity) {
  TempDir dir;
  BankDesc d;
  d.samples = {pcmSample("SINE.WAV", sinePcm(20000, 440.0 / 44100), {0, 1, 2, 3, 4})};
  d.samples[0].loopEndFrame = 20000;
  // Stored low velocities are one below the first played.
  const std::uint8_t layers[][3] = {{0, 20, 127}, {20, 40, 127}, {40, 80, 90}, {80, 110, 127}, {110, 127, 127}};
  for (const auto& [low, high, volume] : layers) {
    ZoneDesc z;
    z.velLow = low, z.velHigh = high, z.volume = volume, z.transposition = 4;  // root 60
    d.zones.push_back(z);
  }
  const std::string bank = dir.file("LAYERS.TTI");
  writeBank(bank, d);
  ASSERT_EQ(convert(bank, "sf2", dir.str()), 0);
  ASSERT_EQ(convert(bank, "dspreset", dir.str()), 0);
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.LoadFile(dir.file("DS_LAYERS.TTI/LAYERS.dspreset").c_str()), tinyxml2::XML_SUCCESS);
  const tinyxml2::XMLElement* group = doc.RootElement()->FirstChildElement("groups")->FirstChildElement("group");
  const double track = group->DoubleAttribute("ampVelTrack", -1);
  ASSERT_GE(track, 0) << "no ampVelTrack";
  FluidCheck fluid;
  ASSERT_NE(fluid.load(dir.file("LAYERS.sf2")), FLUID_FAILED);
  std::vector<double> decent, soundFont;
  for (const tinyxml2::XMLElement* s = group->FirstChildElement("sample"); s; s = s->NextSiblingElement("sample")) {
    const int velocity = s->IntAttribute("hiVel");
    decent.push_back(std::stod(s->Attribute("volume")) + 20 * std::log10(1 - track + track * velocity / 127.0));
    soundFont.push_back(fluid.rmsDb(60, velocity, 8820));
  }
  ASSERT_EQ(decent.size(), std::size(layers));
  for (std::size_t k = 0; k < decent.size(); ++k) {
    SCOPED_TRACE("layer " + std::to_string(k));
    EXPECT_NEAR(decent[k] - decent.back(), soundFont[k] - soundFont.back(), 0.5);
  }
  std::printf("layer levels (DecentSampler / FluidSynth, dB below the loudest):");
  for (std::size_t k = 0; k < decent.size(); ++k) {
    std::printf(" %.2f/%.2f", decent.back() - decent[k], soundFont.back() - soundFont[k]);
  }
  std::printf("\n");
}

TEST(DsPresetCheck, FindsEveryKindOfDamage) {
  TempDir dir;
  const BankDesc d = edgeBank();
  const std::string bank = dir.file("KIT.TTI");
  writeBank(bank, d);
  // The SFZ folder's sample files with the writer's preset beside them.
  ASSERT_EQ(convert(bank, "sfz", dir.file("made")), 0);
  const Loaded l(d, bank);
  const std::string intact = dspresetText(l.bank, interpretZones(l.bank, l.art), sfzSampleNames(l.bank));
  enum File { Intact, Damaged, Missing, DamagedButVerified };
  struct Row {
    const char *pattern, *replacement;  // the first match in the preset is replaced
    File file;                          // what happens to samples/A&B.WAV (zones 0, 3-5)
    std::string expected;               // the start of the check's answer; "" for none
  };
  const std::vector<Row> rows = {
      {"", "", Intact, ""},
      {"volume=\"0dB\"", "volume=\"-0.4dB\"", Intact, "zone 0: volume -0.4dB, expected 0dB"},
      {"tuning=\"-1.51\"", "tuning=\"-1.5\"", Intact, "zone 3: tuning -1.5, expected -1.51"},
      {"loNote=\"127\"", "loNote=\"126\"", Intact, "zone 4: loNote 126, expected 127"},
      {"loopEnabled=\"true\"", "loopEnabled=\"false\"", Intact, "zone 0: loopEnabled false, expected true"},
      {"<sample ", "<sample ampVelTrack=\"1\" ", Intact, "zone 0: unexpected attribute ampVelTrack"},
      {"attackCurve=\"0\"", "attackCurve=\"-100\"", Intact, "<group> without ampVelTrack"},
      {"sustain=\"0\\.00001\"", "sustain=\"1e-05\"", Intact, "zone 5: sustain 1e-05 is not a plain decimal"},
      {"\n *<sample [^\n]*", "", Intact, "9 samples and zones that never sound, expected 10"},
      {"\n[^\n]*never sounds[^\n]*", "", Intact, "9 samples and zones that never sound, expected 10"},
      {"&amp;", "&", Intact, "attribute path of <sample> holds markup that is not escaped"},
      {"UTF-8", "ISO-8859-1", Intact, "does not start with"},
      {"DecentSampler min", "Decent min", Intact, "unexpected <Decent>"},
      {"", "", Damaged, "zone 0: "},
      {"", "", Missing, "zone 0: "},
      {"", "", DamagedButVerified, ""},
  };
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Row& row = rows[k];
    SCOPED_TRACE(std::to_string(k) + ": " + row.pattern);
    const std::string folder = dir.file("row" + std::to_string(k)), sample = folder + "/samples/A&B.WAV";
    fs::copy(dir.file("made/SFZ_KIT.TTI"), folder, fs::copy_options::recursive);
    const std::string text = std::regex_replace(intact, std::regex(row.pattern), row.replacement,
                                                std::regex_constants::format_first_only);
    EXPECT_NE(text == intact, *row.pattern != 0);
    writeBytes(folder + "/KIT.dspreset", std::vector<std::uint8_t>(text.begin(), text.end()));
    std::vector<std::uint8_t> wav = readFileBytes(sample);
    wav.at(120) ^= row.file == Damaged || row.file == DamagedButVerified ? 0x40 : 0;  // a byte of sample data
    writeBytes(sample, wav);
    if (row.file == Missing) fs::remove(sample);
    std::vector<std::string> checked;
    const std::map<std::string, std::uint16_t> verified = {{sample, 0}};
    const std::string got = verify::checkDsPreset(folder + "/KIT.dspreset", l.bank, l.art, &checked,
                                                  row.file == DamagedButVerified ? &verified : nullptr);
    EXPECT_TRUE(row.file == Intact || row.expected.empty() || got.find(sample) != std::string::npos) << got;
    if (row.expected.empty()) {
      EXPECT_EQ(got, "");
      EXPECT_EQ(checked.size(), row.file == Intact ? 3u : 2u);  // the files of zones 0, 8 and 9
    } else {
      EXPECT_EQ(got.rfind(row.expected, 0), 0u) << got;
    }
  }
}

TEST(DsPresetCommandLine, FolderSamplesAndPresetFollowTheBank) {
  if (runCommand({kCli, "convert", "--help"}).out.find("dspreset") == std::string::npos) {
    GTEST_SKIP() << "convert has no --mode dspreset";
  }
  std::vector<BankDesc> banks = {edgeBank()};
  for (std::uint32_t seed = 21; seed <= 26; ++seed) banks.push_back(randomArchiveBank(seed));
  for (std::size_t k = 0; k < banks.size(); ++k) {
    SCOPED_TRACE("bank " + std::to_string(k));
    TempDir dir;
    const std::string file = k % 2 ? "Kit.tti" : "BANK.TTI", stem = file.substr(0, file.size() - 4);
    const std::string bank = dir.file(file);
    writeBank(bank, banks[k]);
    ASSERT_EQ(convert(bank, "dspreset", dir.file("ds"), true), 0);
    ASSERT_EQ(convert(bank, "sfz", dir.file("sfz")), 0);
    const std::string ds = dir.file("ds/DS_" + file), sfz = dir.file("sfz/SFZ_" + file);
    EXPECT_EQ(namesIn(ds), (std::vector<std::string>{stem + ".dspreset", "samples"}));
    EXPECT_EQ(namesIn(ds + "/samples"), namesIn(sfz + "/samples"));
    for (const std::string& f : namesIn(sfz + "/samples")) {
      EXPECT_EQ(readFileBytes(ds + "/samples/" + f), readFileBytes(sfz + "/samples/" + f)) << f;
    }
    const Loaded l(banks[k], bank);
    const std::vector<std::uint8_t> preset = readFileBytes(ds + "/" + stem + ".dspreset");
    expectPreset(std::string(preset.begin(), preset.end()), banks[k], l, sfzSampleNames(l.bank));
  }
}
