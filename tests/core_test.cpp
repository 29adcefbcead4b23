// SPDX-License-Identifier: MIT
// The one-way core: the SoundFont layout as a pure function of bank and
// zones, jobs stopped by their front end, and part files left by a crash.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bank_builder.h"
#include "jobs/bank_conversion.h"
#include "jobs/bank_reading.h"
#include "jobs/job_context.h"
#include "output_check.h"
#include "platform/errors.h"
#include "test_support.h"
#include "tti/tti_reader.h"
#include "writers/output_file.h"
#include "writers/sf2_writer.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Little-endian bytes written out by hand, for expected files.
struct Bytes {
  std::vector<std::uint8_t> v;
  Bytes& tag(const char* t) {
    v.insert(v.end(), t, t + 4);
    return *this;
  }
  Bytes& u16(std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
    return *this;
  }
  Bytes& u32(std::uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
  Bytes& text(const std::string& s, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k) v.push_back(k < s.size() ? static_cast<std::uint8_t>(s[k]) : 0);
    return *this;
  }
  Bytes& zeros(std::size_t n) {
    v.insert(v.end(), n, 0);
    return *this;
  }
};

}  // namespace

TEST(Sf2Layout, HeaderAndRecordsAreTheBytesTheBankDescribes) {
  // Two samples of 5 bytes (2 whole frames, loop over both) and 8 bytes (4
  // frames, loop 1-3), each named by one zone.
  BankDesc d;
  d.samples = {pcmSample("ABC.WAV", {1, 2, 3, 4, 5}), pcmSample("LONGNAME_OF_SAMPLE_XY.WAV", {9, 8, 7, 6, 5, 4, 3, 2})};
  d.samples[0].loopStartFrame = 0;
  d.samples[0].loopEndFrame = 2;
  d.samples[0].zones = {0};
  d.samples[1].loopStartFrame = 1;
  d.samples[1].loopEndFrame = 4;
  d.samples[1].zones = {1};
  d.zones.resize(2);
  // Zone 0: keys 48-60 (the bank stores one below the first), every
  // velocity, full volume, no detune, transposed by 4 (root key 60), centred,
  // fastest envelope, full sustain, no loop.
  d.zones[0].keyLow = 47;
  d.zones[0].keyHigh = 60;
  d.zones[0].transposition = 4;
  // Zone 1: keys 61-127, velocities 64-100, silent volume, fine tune +7
  // steps (11 cents), root key 64, left silent (full right), release rate
  // 63, sustain level 0, looped.
  d.zones[1].keyLow = 60;
  d.zones[1].velLow = 63;
  d.zones[1].velHigh = 100;
  d.zones[1].volume = 0;
  d.zones[1].fineTuneRaw = 103;
  d.zones[1].panLeft = 31;
  d.zones[1].releaseRate = 63;
  d.zones[1].sustainLevel = 0;
  d.zones[1].loopWord2 = 4;

  const std::vector<std::uint8_t> file = buildBank(d);
  MemorySource source(file.data(), file.size(), "/any/KIT.TTI");
  SampleBank bank;
  ZoneArticulation zones;
  readDirectory(source, bank);
  source.rewind();
  readValues(source, bank, {&zones, true});
  bank.ttiPath = "/any/KIT.TTI";
  const Sf2Layout layout = layoutSf2(bank, interpretZones(bank, zones));

  // Frames: sample 0 at 0-2, 32 silent frames, sample 1 at 34-38, 32 more.
  constexpr std::uint32_t kFrames = 70;
  Bytes pdta;
  pdta.tag("phdr").u32(76).text("KIT", 20).u16(0).u16(0).u16(0).zeros(12);
  pdta.text("EOP", 20).u16(255).u16(255).u16(1).zeros(12);
  pdta.tag("pbag").u32(8).u16(0).u16(0).u16(1).u16(0);
  pdta.tag("pmod").u32(10).zeros(8).u16(1);
  pdta.tag("pgen").u32(8).u16(41).u16(0).zeros(4);
  pdta.tag("inst").u32(44).text("KIT", 20).u16(0).text("EOI", 20).u16(2);
  pdta.tag("ibag").u32(12).u16(0).u16(0).u16(12).u16(0).u16(24).u16(0);
  pdta.tag("imod").u32(10).zeros(8).u16(22);
  pdta.tag("igen").u32(100);
  // keyRange, velRange, sampleModes, fineTune, overridingRootKey,
  // initialAttenuation, release, sustain, decay, attack, pan, sampleID.
  for (std::uint32_t g : {43u, 48u | 60u << 8, 44u, 0u | 127u << 8, 54u, 0u, 52u, 0u, 58u, 60u, 48u, 0u,
                          38u, 0x8000u, 37u, 0u, 36u, 0x8000u, 34u, 0x8000u, 17u, 0u, 53u, 0u})
    pdta.u16(g);
  for (std::uint32_t g : {43u, 61u | 127u << 8, 44u, 64u | 100u << 8, 54u, 1u, 52u, 11u, 58u, 64u, 48u,
                          1440u, 38u, 567u, 37u, 1000u, 36u, 0x8000u, 34u, 0x8000u, 17u, 500u, 53u, 1u})
    pdta.u16(g);
  pdta.zeros(4);
  pdta.tag("shdr").u32(138);
  pdta.text("ABC", 20).u32(0).u32(2).u32(0).u32(2).u32(44100).u16(60).u16(0).u16(1);
  pdta.text("LONGNAME_OF_SAMPLE_X", 20).u32(34).u32(38).u32(35).u32(38).u32(44100).u16(60).u16(0).u16(1);
  pdta.text("EOS", 46);
  Bytes list;
  list.tag("LIST").u32(static_cast<std::uint32_t>(pdta.v.size() + 4)).tag("pdta");
  list.v.insert(list.v.end(), pdta.v.begin(), pdta.v.end());

  Bytes head;
  const auto riffSize = static_cast<std::uint32_t>(4 + 184 + 8 + 12 + 2 * kFrames + list.v.size());
  head.tag("RIFF").u32(riffSize).tag("sfbk");
  head.tag("LIST").u32(176).tag("INFO");
  head.tag("ifil").u32(4).u16(2).u16(1);
  head.tag("INAM").u32(14).text("Name des TTI", 14);
  head.tag("isng").u32(10).text("E-mu 10K1", 10);
  head.tag("IPRD").u32(8).text("SBAWE32", 8);
  head.tag("IENG").u32(2).zeros(2);
  head.tag("ISFT").u32(14).text("SFEDT v1.29:", 14);
  head.tag("ICRD").u32(14).text("Feb 29, 2000", 14);
  head.tag("ICMT").u32(32).text("converted with Vantrel 2.0", 32);
  head.tag("ICOP").u32(2).zeros(2);
  head.tag("LIST").u32(12 + 2 * kFrames).tag("sdta").tag("smpl").u32(2 * kFrames);

  EXPECT_EQ(std::vector<std::uint8_t>(layout.head.data(), layout.head.data() + layout.head.size()), head.v);
  EXPECT_EQ(std::vector<std::uint8_t>(layout.pdta.data(), layout.pdta.data() + layout.pdta.size()), list.v);
  EXPECT_EQ(layout.sampleDataBytes, 2u * kFrames);

  // The file is those bytes around the sample data and its silence.
  TempDir t;
  std::vector<std::uint8_t> buffer;
  writeSf2(bank, interpretZones(bank, zones), t.file("KIT.sf2"), buffer, {});
  Bytes whole = head;
  whole.v.insert(whole.v.end(), {1, 2, 3, 4});
  whole.zeros(64);
  whole.v.insert(whole.v.end(), {9, 8, 7, 6, 5, 4, 3, 2});
  whole.zeros(64);
  whole.v.insert(whole.v.end(), list.v.begin(), list.v.end());
  EXPECT_EQ(readFileBytes(t.file("KIT.sf2")), whole.v);
}

TEST(CoreLayers, FormatCodeIncludesNothingFromJobsOrFrontEnds) {
  namespace fs = std::filesystem;
  const fs::path src = fs::path(VANTREL_SOURCE_DIR) / "src";
  int files = 0;
  for (const char* layer : {"platform", "tti", "writers"}) {
    for (const auto& e : fs::directory_iterator(src / layer)) {
      std::ifstream in(e.path());
      std::string line;
      ++files;
      while (std::getline(in, line)) {
        for (const char* above : {"\"jobs/", "\"cli/", "\"ui/", "\"verify/", "<Q"}) {
          if (line.rfind("#include", 0) == 0 && line.find(above) != std::string::npos)
            ADD_FAILURE() << e.path() << ": " << line;
        }
      }
    }
  }
  EXPECT_GT(files, 10);
}

namespace {

// Asks the job to stop once `after` gauge changes have come. Writer
// threads ask too, so the count is atomic.
class CancellingListener : public JobListener {
 public:
  explicit CancellingListener(int after) : after_(after) {}
  void gaugeChanged(GaugeId, std::int64_t, std::int64_t, std::int64_t) override { ++changes_; }
  bool cancelled() const override { return changes_.load() >= after_; }

 private:
  int after_;
  std::atomic<int> changes_{0};
};

}  // namespace

TEST(JobsCancel, AStoppedJobKeepsFinishedFilesAndLeavesNoOther) {
  // 8 samples of 3 MiB: stopped after the 3rd file in mono mode, the 2nd
  // in stereo mode (a pair steps the gauge once, by 2) and in the middle of
  // the SoundFont.
  BankDesc d;
  for (int i = 0; i < 8; ++i) {
    d.samples.push_back(pcmSample(std::string("S") + char('0' + i / 2) + (i % 2 ? "R.WAV" : "L.WAV"),
                                  noisePcm(3 << 19, static_cast<std::uint32_t>(i / 2 + 1))));
  }
  struct Case {
    FormatId mode;
    int after;  // gauge changes before the stop
    std::size_t finished;
  } cases[] = {{FormatId::Mono, 2 + 10 + 3, 3}, {FormatId::Stereo, 2 + 10 + 2, 2}, {FormatId::Sf2, 2 + 10 + 4, 0}};
  for (const Case& c : cases) {
    TempDir t;
    writeBank(t.file("BANK.TTI"), d);
    CancellingListener ui(c.after);
    JobContext ctx(ui);
    ctx.options.format = &outputFormat(c.mode);
    ctx.bank.ttiPath = t.file("BANK.TTI");
    ctx.destinationFolder = t.str() + "/";
    getttidata(ctx);
    try {
      extracttti(ctx);
      ADD_FAILURE() << "not stopped, mode " << c.mode;
    } catch (const RunError& e) {
      EXPECT_EQ(e.code(), kCancelled);
      EXPECT_EQ(e.message(), "cancelled");
    }
    std::size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(t.path())) {
      if (!e.is_regular_file() || e.path().filename() == "BANK.TTI") continue;
      ++files;
      EXPECT_EQ(e.path().filename().string().rfind(".vantrel-", 0), std::string::npos) << e.path();
      if (c.mode != FormatId::Sf2) {
        const SndRead w = readWithSndfile(e.path().string());
        EXPECT_EQ(w.frames.size(), static_cast<std::size_t>(3 << 19) * (c.mode == FormatId::Stereo ? 2 : 1))
            << e.path();
      }
    }
    EXPECT_EQ(files, c.finished) << "mode " << c.mode;
    EXPECT_FALSE(ctx.bank.pcm.held());
  }
}

TEST(OutputFiles, PartFilesOfProcessesThatEndedAreRemoved) {
  TempDir t;
  // A process that has ended: a child that exits at once.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string mine = ".vantrel-" + std::to_string(::getpid()) + "-0123456789abcdef.part";
  const std::string dead = ".vantrel-" + std::to_string(gone) + "-0123456789abcdef.part";
  // Names not of exactly the part files' form may be anybody's files.
  const std::string other = ".vantrel-0123456789abcdef.part";
  const std::string longer = ".vantrel-" + std::to_string(gone) + "-0123456789abcdef0.part";
  for (const std::string& name : {mine, dead, other, longer, std::string("KEEP.WAV"), std::string(".vantrel-x.txt")})
    writeBytes(t.file(name), {1});
  removeStalePartFiles(t.str());
  std::vector<std::string> kept = {mine, other, longer, ".vantrel-x.txt", "KEEP.WAV"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(namesIn(t.str()), kept);
}

// A file made in a folder held open gets its final name there and nothing
// else, also over a file of that name; a path outside the folder, or a
// folder that could not be opened, falls back to paths.
TEST(OutputFiles, AFileMadeInAnOpenFolderIsNamedThere) {
  struct Case {
    const char* what;
    std::string folder;  // below the test folder; opened
    std::string file;    // below the test folder
    bool existing;       // a file of that name is there already
  } cases[] = {
      {"new file", "out", "out/A.WAV", false},
      {"replacing a file", "out", "out/A.WAV", true},
      {"in a folder below", "out", "out/sub/A.WAV", false},
      {"folder not there", "missing", "out/A.WAV", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    const std::string path = t.file(c.file);
    const std::string parent = path.substr(0, path.size() - 6);
    std::filesystem::create_directories(parent);
    if (c.existing) writeBytes(path, {9, 9, 9, 9, 9});
    const OpenFolder folder(t.file(c.folder));
    {
      OutputFile out(path, nullptr, &folder);
      out.file().writeAll("abc", 3);
      out.commit();
    }
    EXPECT_EQ(readFileBytes(path), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(namesIn(parent), (std::vector<std::string>{"A.WAV"}));
  }
}

// A write tap sees exactly the bytes a file ends up with while the file is
// written at its end (whole writes, gathered writes, growth by resize), and
// says it lost track once the file is written anywhere else.
TEST(OutputFiles, AWriteTapSeesTheFileOrSaysItLostTrack) {
  struct Recorder : WriteTap {
    std::vector<std::uint8_t> seen;
    bool lost = false;
    void append(const void* data, std::size_t n) override {
      const auto* p = static_cast<const std::uint8_t*>(data);
      seen.insert(seen.end(), p, p + n);
    }
    void appendZeros(std::uint64_t n) override { seen.insert(seen.end(), n, 0); }
    void lose() override { lost = true; }
    void restart() override {
      seen.clear();
      lost = false;
    }
  };
  const std::uint8_t a[] = {1, 2, 3}, b[] = {4, 5};
  struct Case {
    const char* what;
    std::function<void(File&)> write;
    bool lost;
  };
  const Case cases[] = {
      {"appends", [&](File& f) { f.writeAll(a, 3); f.writeAll(b, 2); }, false},
      {"gathered", [&](File& f) { const ConstBuffer p[] = {{a, 3}, {b, 0}, {b, 2}}; f.writeGather(p, 3); }, false},
      {"grown, then appended", [&](File& f) { f.writeAll(a, 3); f.resize(7); f.seek(7); f.writeAll(b, 2); }, false},
      {"grown, then written at the old end", [&](File& f) { f.writeAll(a, 3); f.resize(7); f.writeAll(b, 2); }, true},
      {"patched", [&](File& f) { f.writeAll(a, 3); f.writeAt(0, b, 2); }, true},
      {"shrunk", [&](File& f) { f.writeAll(a, 3); f.resize(1); }, true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("tapped");
    Recorder tap;
    {
      OutputFile out(path, &tap);
      c.write(out.file());
      out.commit();
    }
    EXPECT_EQ(tap.lost, c.lost) << c.what;
    if (!c.lost) {
      EXPECT_EQ(tap.seen, readFileBytes(path)) << c.what;
    }
  }
}
