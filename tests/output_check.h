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
    fluid_synth_all_sounds_off(synth_, -1);
    Sound s{std::vector<float>(static_cast<std::size_t>(frames)), std::vector<float>(static_cast<std::size_t>(frames))};
    fluid_synth_noteon(synth_, 0, key, velocity);
    fluid_synth_write_float(synth_, frames, s.left.data(), 0, 1, s.right.data(), 0, 1);
    fluid_synth_noteoff(synth_, 0, key);
    fluid_synth_all_sounds_off(synth_, -1);
    return s;
  }

  // Peak level of a note held for `frames` frames.
  float peak(int key, int velocity, int frames = 4410) {
    const Sound s = render(key, velocity, frames);
    float p = 0;
    for (std::size_t k = 0; k < s.left.size(); ++k) p = std::max({p, std::fabs(s.left[k]), std::fabs(s.right[k])});
    return p;
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
  static void capture(int /*level*/, const char* message, void* self) {
    const std::string m = message;
    if (m.find("on channel 9 [bank=128") != std::string::npos) return;
    static_cast<FluidCheck*>(self)->messages_.push_back(m);
  }

  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::vector<std::string> messages_;
};

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
