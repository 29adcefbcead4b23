// SPDX-License-Identifier: MIT
#pragma once
// Helpers for the writer and conversion tests: a bank on disk loaded into a
// context, little-endian field reads, the real readers (libsndfile,
// FluidSynth) as a second opinion, and real write faults (a file-size
// limit, a read-only folder).

#include <fcntl.h>
#include <linux/fs.h>
#include <sndfile.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "bank_builder.h"
#include "jobs/job_context.h"
#include "test_support.h"
#include "jobs/bank_reading.h"
#include "tti/tti_reader.h"

namespace vantrel::testing {

inline std::uint32_t u32At(const std::vector<std::uint8_t>& b, std::size_t off) {
  return static_cast<std::uint32_t>(b.at(off)) | static_cast<std::uint32_t>(b.at(off + 1)) << 8 |
         static_cast<std::uint32_t>(b.at(off + 2)) << 16 |
         static_cast<std::uint32_t>(b.at(off + 3)) << 24;
}

inline std::uint16_t u16At(const std::vector<std::uint8_t>& b, std::size_t off) {
  return static_cast<std::uint16_t>(b.at(off) | b.at(off + 1) << 8);
}

inline std::string textAt(const std::vector<std::uint8_t>& b, std::size_t off, std::size_t n) {
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(off),
                     b.begin() + static_cast<std::ptrdiff_t>(off + n));
}

// PCM bytes 0, 1, 2, ... (mod 251) offset by `seed`, so samples differ.
inline std::vector<std::uint8_t> rampPcm(std::size_t bytes, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> v(bytes);
  for (std::size_t k = 0; k < bytes; ++k) v[k] = static_cast<std::uint8_t>((k + seed) % 251);
  return v;
}

inline SampleDesc pcmSample(const std::string& name, std::vector<std::uint8_t> pcm,
                            std::vector<std::uint8_t> zones = {}) {
  SampleDesc s;
  s.name = name;
  s.pcm = std::move(pcm);
  s.zones = std::move(zones);
  return s;
}

// A bank written into a temporary folder and a context to convert it.
struct BankFixture {
  TempDir dir;
  RecordingListener ui;
  JobContext ctx{ui};

  // Writes the bank as `name` inside the temporary folder; returns its path.
  std::string write(const BankDesc& desc, const std::string& name = "BANK.TTI") {
    const std::string path = dir.file(name);
    writeBank(path, desc);
    return path;
  }
  // Reads the bank's directory (as selecting it does).
  void select(const std::string& path) {
    ctx.bank.ttiPath = path;
    getttidata(ctx);
  }
  // Reads the directory and the parameters with the PCM data.
  void load(const std::string& path) {
    select(path);
    getttivalues(ctx, 1);
  }
  std::string out(const std::string& sub = "out") {
    const std::string p = dir.file(sub);
    std::filesystem::create_directories(p);
    return p + "/";
  }
};

// Names in a folder, sorted.
inline std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A WAV file as libsndfile reads it.
struct SndRead {
  bool opened = false;
  SF_INFO info{};
  bool hasInstrument = false;
  SF_INSTRUMENT inst{};
  std::vector<std::int16_t> frames;  // interleaved
};

inline SndRead readWithSndfile(const std::string& path) {
  SndRead r;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.info);
  if (!f) return r;
  r.opened = true;
  r.hasInstrument = sf_command(f, SFC_GET_INSTRUMENT, &r.inst, sizeof r.inst) == SF_TRUE;
  r.frames.resize(static_cast<std::size_t>(r.info.frames * r.info.channels));
  sf_readf_short(f, r.frames.data(), r.info.frames);
  sf_close(f);
  return r;
}

// FluidSynth with its warnings and errors captured.
class FluidCheck {
 public:
  FluidCheck() {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN}) fluid_set_log_function(level, &capture, this);
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.sample-rate", 44100.0);
    fluid_settings_setint(settings_, "synth.reverb.active", 0);
    fluid_settings_setint(settings_, "synth.chorus.active", 0);
    synth_ = new_fluid_synth(settings_);
  }
  ~FluidCheck() {
    delete_fluid_synth(synth_);
    delete_fluid_settings(settings_);
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN})
      fluid_set_log_function(level, fluid_default_log_function, nullptr);
  }
  FluidCheck(const FluidCheck&) = delete;
  FluidCheck& operator=(const FluidCheck&) = delete;

  // The font's id, or FLUID_FAILED.
  int load(const std::string& path) { return fluid_synth_sfload(synth_, path.c_str(), 1); }

  // The left and right output of a note held for `frames` frames on
  // channel 0 (preset 0:0).
  struct Sound {
    std::vector<float> left, right;
  };
  Sound render(int key, int velocity, int frames = 4410) {
    auto [left, right] = play(key, velocity, frames);
    return {std::move(left), std::move(right)};
  }

  // Peak level of a note held for `frames` frames on channel 0 (preset 0:0).
  float peak(int key, int velocity, int frames = 4410) {
    const auto [left, right] = play(key, velocity, frames);
    float p = 0;
    for (std::size_t k = 0; k < left.size(); ++k) p = std::max({p, std::fabs(left[k]), std::fabs(right[k])});
    return p;
  }

  // RMS level in dB (full scale 1) of the same note, both channels.
  double rmsDb(int key, int velocity, int frames = 4410) {
    const auto [left, right] = play(key, velocity, frames);
    double sum = 0;
    for (std::size_t k = 0; k < left.size(); ++k) sum += double(left[k]) * left[k] + double(right[k]) * right[k];
    return 10 * std::log10(sum / (2.0 * static_cast<double>(left.size())) + 1e-30);
  }

  const std::vector<std::string>& messages() const { return messages_; }
  bool said(const std::string& part) const {
    return std::any_of(messages_.begin(), messages_.end(),
                       [&](const std::string& m) { return m.find(part) != std::string::npos; });
  }

 private:
  // Keeps what concerns the font. Channel 10 looks for a drum kit
  // (bank 128) that no font of ours has; that notice is about the synth's
  // channel set-up, not the file.
  // The two channels of a note held for `frames` frames, from silence.
  std::pair<std::vector<float>, std::vector<float>> play(int key, int velocity, int frames) {
    fluid_synth_all_sounds_off(synth_, -1);
    std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
    fluid_synth_noteon(synth_, 0, key, velocity);
    fluid_synth_write_float(synth_, frames, left.data(), 0, 1, right.data(), 0, 1);
    fluid_synth_noteoff(synth_, 0, key);
    fluid_synth_all_sounds_off(synth_, -1);
    return {std::move(left), std::move(right)};
  }

  static void capture(int /*level*/, const char* message, void* self) {
    const std::string m = message;
    if (m.find("on channel 9 [bank=128") != std::string::npos) return;
    static_cast<FluidCheck*>(self)->messages_.push_back(m);
  }

  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::vector<std::string> messages_;
};

// The instrument zones of any SoundFont file, in order over all its
// instruments, each as its generators (operator -> amount); global zones
// (without a sampleID) are left out. Empty when the file has no "pdta" list.
inline std::vector<std::map<std::uint16_t, std::uint16_t>> sf2InstrumentZones(
    const std::vector<std::uint8_t>& file) {
  std::vector<std::map<std::uint16_t, std::uint16_t>> zones;
  std::size_t ibag = 0, ibagSize = 0, igen = 0, igenSize = 0;
  for (std::size_t p = 12; p + 12 <= file.size();) {
    const std::uint32_t size = u32At(file, p + 4);
    if (textAt(file, p, 4) == "LIST" && textAt(file, p + 8, 4) == "pdta") {
      for (std::size_t q = p + 12; q + 8 <= p + 8 + size;) {
        const std::uint32_t n = u32At(file, q + 4);
        if (textAt(file, q, 4) == "ibag") {
          ibag = q + 8;
          ibagSize = n;
        } else if (textAt(file, q, 4) == "igen") {
          igen = q + 8;
          igenSize = n;
        }
        q += 8 + n;
      }
    }
    p += 8 + size + (size & 1);
  }
  for (std::size_t b = 0; b + 8 <= ibagSize; b += 4) {
    std::map<std::uint16_t, std::uint16_t> gens;
    for (std::size_t g = u16At(file, ibag + b); g < u16At(file, ibag + b + 4) && 4 * g + 4 <= igenSize; ++g) {
      gens[u16At(file, igen + 4 * g)] = u16At(file, igen + 4 * g + 2);
    }
    if (gens.count(53)) zones.push_back(std::move(gens));
  }
  return zones;
}

// Limits the size of every file this process writes (RLIMIT_FSIZE), with
// SIGXFSZ ignored so that a write past the limit fails with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit r = saved_;
    r.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &r);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

// Makes a folder refuse new files. Permission bits do that for an ordinary
// user; root ignores them, so as root the folder is made immutable instead
// (where the file system and the process's capabilities allow it).
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& folder) : folder_(folder) {
    if (::geteuid() != 0) {
      active_ = ::chmod(folder.c_str(), 0555) == 0;
      return;
    }
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      immutable_ = active_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
  }
  ~ReadOnlyFolder() {
    if (!active_) return;
    if (!immutable_) {
      ::chmod(folder_.c_str(), 0755);
      return;
    }
    int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

  // False when the folder could not be made read-only here.
  bool active() const { return active_; }

 private:
  std::string folder_;
  bool active_ = false;
  bool immutable_ = false;
};

}  // namespace vantrel::testing
