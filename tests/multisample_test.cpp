// SPDX-License-Identifier: MIT
// Bitwig multisample output, read back with real readers: Python's zipfile
// for the archive, xmllint against the published schema, tinyxml2 for the
// values (against the bank's description) and libsndfile for the WAV files;
// and the multisample check against damaged copies.

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "output_check.h"
#include "verify/multisample_check.h"
#include "verify_banks.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VANTREL_CLI;

const std::string kPython = onPath("python3");
const std::string kSchema = std::string(VANTREL_SOURCE_DIR) + "/../shared/formats/multisample.xsd";

// Lists a zip archive's entries ("method crc-ok name" a line) and unpacks
// them into a folder, with Python's zipfile.
const char* const kUnzip = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    print(i.compress_type, z.testzip() is None, i.filename)
z.extractall(sys.argv[2])
)";

// A left/right pair played alike by zones 0 and 1 (one stereo element), by
// zones 2 and 3 a semitone apart (two mono elements), a zone that never
// sounds and a mono sample with a loop.
BankDesc pairBank() {
  BankDesc d;
  auto sample = [](const std::string& name, std::uint32_t seed, std::vector<std::uint8_t> zones) {
    SampleDesc s;
    s.name = name;
    s.pcm = noisePcm(400, seed);
    s.loopStartFrame = 100;
    s.loopEndFrame = 300;
    s.zones = std::move(zones);
    return s;
  };
  d.samples = {sample("PAD L.WAV", 1, {0, 2}), sample("PAD R.WAV", 2, {1, 3}), sample("ONE.WAV", 3, {4, 5})};
  d.zones.resize(6);
  for (ZoneDesc& z : d.zones) z.loopWord2 = 2;
  d.zones[0].panLeft = 31, d.zones[1].panRight = 31;
  d.zones[0].keyHigh = d.zones[1].keyHigh = 59;
  d.zones[2].keyLow = d.zones[3].keyLow = 59;
  d.zones[3].transposition = 1;
  d.zones[4].keyLow = 127;  // never sounds
  d.zones[5].volume = 100, d.zones[5].fineTuneRaw = 120, d.zones[5].velLow = 40;
  return d;
}

// What a zone's element says, from the bank's description; empty when it
// never sounds.
std::map<std::string, double> expectFor(const BankDesc& d, std::size_t z) {
  int sample = 0;
  std::uint32_t start = 0, before = 0;
  for (std::size_t i = 0; i < d.samples.size(); ++i) {
    if (std::count(d.samples[i].zones.begin(), d.samples[i].zones.end(), z)) sample = static_cast<int>(i), start = before;
    before += static_cast<std::uint32_t>(d.samples[i].pcm.size());
  }
  const SampleDesc& s = d.samples[sample];
  // A sample past the bank's data holds the frames the bank has of it.
  const std::uint32_t frames = (s.end.value_or(start + static_cast<std::uint32_t>(s.pcm.size())) - start) / 2;
  const ZoneDesc& zd = d.zones[z];
  const int keyLow = zd.keyLow + 1, velLow = zd.velLow == 0 ? 0 : zd.velLow + 1;
  if (keyLow > zd.keyHigh || std::max(velLow, 1) > zd.velHigh || frames < 2 || start >= before) return {};
  const int root = static_cast<std::int8_t>(static_cast<std::uint8_t>(64 - zd.transposition));
  std::map<std::string, double> e = {{"sample", sample},
                                     {"frames", frames},
                                     {"key root", root < 0 ? 60 : root},
                                     {"key low", std::min(keyLow, 127)},
                                     {"key high", zd.keyHigh},
                                     {"key tune", std::lround((zd.fineTuneRaw - 96) * 11.0 / 7) / 100.0},
                                     {"velocity low", std::clamp(velLow, 1, 127)},
                                     {"velocity high", zd.velHigh},
                                     {"gain", -0.04 * (1440 - std::lround(zd.volume * 1440.0 / 127))}};
  const bool looped = std::abs(zd.loopWord1 - zd.loopWord2) >= 2;
  if (looped && s.loopStartFrame < s.loopEndFrame && s.loopEndFrame <= frames) {
    e["loop start"] = s.loopStartFrame;
    e["loop stop"] = s.loopEndFrame;
  }
  return e;
}

// Converts `bank` into `out` with --verify; the folder the archive is
// unpacked into after its entries were found stored and whole.
std::string convertAndUnpack(const std::string& bank, const std::string& out) {
  fs::create_directories(out);
  const CommandResult r = runCommand({kCli, "convert", "--mode", "multisample", "--verify", "--out", out, bank});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  const std::string archive = out + "/BANK.multisample", unpacked = out + "/unpacked";
  const CommandResult z = runCommand({kPython, "-c", kUnzip, archive, unpacked});
  EXPECT_EQ(z.exitCode, 0) << z.err;
  std::istringstream lines(z.out);
  std::string line;
  for (int k = 0; std::getline(lines, line); ++k) {
    EXPECT_TRUE(k > 0 || line.ends_with(" multisample.xml")) << line;
    EXPECT_EQ(line.rfind("0 True ", 0), 0u) << line;  // stored, CRC-32 right
  }
  return unpacked;
}

}  // namespace

TEST(MultisampleCommandLine, ArchiveSchemaValuesAndSamplesFollowTheBank) {
  if (kPython.empty()) GTEST_SKIP() << "python3 is not installed: no zip reader";
  const std::string xmllint = fs::exists(kSchema) ? onPath("xmllint") : std::string();
  if (xmllint.empty()) std::cerr << "xmllint or " << kSchema << " missing: the schema is not checked\n";
  std::vector<BankDesc> banks = {pairBank()};
  for (std::uint32_t seed = 31; seed <= 36; ++seed) banks.push_back(randomArchiveBank(seed));
  for (std::size_t k = 0; k < banks.size(); ++k) {
    SCOPED_TRACE("bank " + std::to_string(k));
    TempDir dir;
    const BankDesc& d = banks[k];
    writeBank(dir.file("BANK.TTI"), d);
    const std::string unpacked = convertAndUnpack(dir.file("BANK.TTI"), dir.file("out"));
    const std::string xml = unpacked + "/multisample.xml";
    if (!xmllint.empty()) {
      const CommandResult v = runCommand({xmllint, "--noout", "--schema", kSchema, xml});
      EXPECT_EQ(v.exitCode, 0) << v.err;
    }
    tinyxml2::XMLDocument doc;
    ASSERT_EQ(doc.LoadFile(xml.c_str()), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement* root = doc.RootElement();
    EXPECT_STREQ(root->Attribute("name"), "BANK");
    EXPECT_EQ(std::string(root->FirstChildElement("generator")->GetText()).rfind("Vantrel ", 0), 0u);

    std::vector<std::map<std::string, double>> zones;  // those that sound, in order
    for (std::size_t z = 0; z < std::max<std::size_t>(d.zones.size(), 1); ++z) {
      if (auto e = expectFor(d, z); !e.empty()) zones.push_back(std::move(e));
    }
    int stereo = 0;
    for (const tinyxml2::XMLElement* s = root->FirstChildElement("sample"); s; s = s->NextSiblingElement("sample")) {
      ASSERT_FALSE(zones.empty()) << "more elements than zones that sound";
      std::map<std::string, double> want = zones.front();
      zones.erase(zones.begin());
      std::map<std::string, double> got = {{"gain", s->DoubleAttribute("gain")}};
      for (const char* child : {"key", "velocity", "loop"}) {
        const tinyxml2::XMLElement* c = s->FirstChildElement(child);
        ASSERT_NE(c, nullptr) << child;
        for (const tinyxml2::XMLAttribute* a = c->FirstAttribute(); a; a = a->Next()) {
          if (std::string(a->Name()) != "mode") got[std::string(child) + " " + a->Name()] = a->DoubleValue();
        }
      }
      EXPECT_STREQ(s->FirstChildElement("loop")->Attribute("mode"), want.count("loop start") ? "loop" : "off");
      // The file: the zone's sample's frames, in one channel or two.
      const SndRead wav = readWithSndfile(unpacked + "/" + s->Attribute("file"));
      ASSERT_TRUE(wav.opened) << s->Attribute("file");
      EXPECT_EQ(wav.info.frames, static_cast<sf_count_t>(want["frames"]));
      if (wav.info.channels == 2) {
        // The right channel's zone plays alike: it has no element of its own.
        ++stereo;
        const auto alike = std::find_if(zones.begin(), zones.end(), [&](auto r) {
          r["sample"] = want["sample"];
          return r == want;
        });
        ASSERT_NE(alike, zones.end()) << "a stereo file without a zone of its right channel";
        zones.erase(alike);
      }
      want.erase("sample");
      want.erase("frames");
      for (const auto& [name, value] : want) EXPECT_NEAR(got[name], value, 1e-4) << name;
      EXPECT_EQ(got.size(), want.size());
    }
    EXPECT_TRUE(zones.empty()) << zones.size() << " zones that sound have no element";
    if (k == 0) {
      EXPECT_EQ(stereo, 1);
    }
  }
}

TEST(MultisampleCheck, FindsEveryKindOfDamage) {
  if (kPython.empty()) GTEST_SKIP() << "python3 is not installed: no zip writer";
  TempDir dir;
  writeBank(dir.file("BANK.TTI"), pairBank());
  const std::string unpacked = convertAndUnpack(dir.file("BANK.TTI"), dir.file("out"));
  const BankDesc d = pairBank();
  const std::vector<std::uint8_t> bytes = buildBank(d);
  SampleBank bank;
  ZoneArticulation art;
  MemorySource source(bytes.data(), bytes.size(), dir.file("BANK.TTI"));
  readDirectory(source, bank);
  source.rewind();
  readValues(source, bank, {&art, true});
  // Each row packs the unpacked files again with Python (stored unless
  // the row says otherwise) after replacing the first match in the XML.
  struct Row {
    const char *pattern, *replacement;
    int method;  // zipfile's compression: 0 stored, 8 deflated
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"", "", 0, ""},
      {"", "", 8, "multisample.xml: not stored"},
      {"gain=\"0\"", "gain=\"-1\"", 0, "zone 0: sample gain -1"},
      {"root=\"64\"", "root=\"65\"", 0, "zone 0: key root 65"},
      {"<loop mode=\"loop\"", "<loop mode=\"off\"", 0, "zone 0: loop mode off"},
      {"\n *<sample [\\s\\S]*?</sample>", "", 0, "zone 0: "},
      {"PAD L__PAD R.WAV", "PAD L.WAV", 0, "zone 0: "},
      {"<generator>Vantrel", "<generator>Other", 0, "multisample.xml: the generator is not Vantrel"},
  };
  const std::string xml = [&] {
    const auto b = readFileBytes(unpacked + "/multisample.xml");
    return std::string(b.begin(), b.end());
  }();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Row& row = rows[k];
    SCOPED_TRACE(std::to_string(k) + ": " + row.pattern);
    const std::string text = std::regex_replace(xml, std::regex(row.pattern), row.replacement,
                                                std::regex_constants::format_first_only);
    EXPECT_NE(text == xml, *row.pattern != 0);
    const std::string folder = dir.file("row" + std::to_string(k)), archive = folder + ".multisample";
    fs::copy(unpacked, folder, fs::copy_options::recursive);
    writeBytes(folder + "/multisample.xml", std::vector<std::uint8_t>(text.begin(), text.end()));
    const std::string zip = "import sys, zipfile, os\nz = zipfile.ZipFile(sys.argv[1], 'w', " +
                            std::to_string(row.method) +
                            ")\nz.write(sys.argv[2] + '/multisample.xml', 'multisample.xml')\n"
                            "for n in sorted(os.listdir(sys.argv[2])):\n"
                            "    if n != 'multisample.xml': z.write(sys.argv[2] + '/' + n, n)\n";
    ASSERT_EQ(runCommand({kPython, "-c", zip, archive, folder}).exitCode, 0);
    const std::string got = verify::checkMultisample(archive, bank, art);
    EXPECT_EQ(got.rfind(row.expected, 0), 0u) << got;
    if (row.expected.empty()) {
      EXPECT_EQ(got, "");
    }
  }
}
