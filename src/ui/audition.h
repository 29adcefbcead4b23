// SPDX-License-Identifier: MIT
#pragma once
// What a sample sounds like when it is auditioned: the frames it plays, in
// the order it plays them, and the device an audio sink pulls them from.
// The bytes are those a WAV file of the sample holds (whole 16-bit frames,
// the bank's bytes where its PCM data area holds them, then silence; a pair
// interleaved left then right with the left sample's length), taken from the
// bank itself; no file is written.

#include <QAudioFormat>
#include <QIODevice>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/loaded_bank.h"
#include "writers/output_file.h"

namespace vantrel {

constexpr std::uint32_t kAuditionRate = 44100;
// A looped sound stops after 30 s.
constexpr std::uint64_t kMaxLoopedFrames = 30ull * kAuditionRate;

struct SoundPlan {
  std::uint16_t channels = 1;
  SampleSpan left, right;    // each channel's bytes: held, then silence
  std::uint64_t frames = 0;  // frames of the sample (of the left one in a pair)
  bool looped = false;       // then the loop repeats after its first pass
  std::uint64_t loopStart = 0, loopEnd = 0;  // the loop's first and last frame
  std::uint64_t playFrames = 0;              // frames the sound lasts
};

// Sample `index` alone, or the pair left/right as one stereo sound. A
// sample plays looped when a zone plays it looped and its loop lies within
// it: its start up to the loop's end, then the loop over and over, up to
// kMaxLoopedFrames in all. Any other sample plays once, whole.
SoundPlan monoPlan(const LoadedBank& loaded, std::uint16_t index);
SoundPlan stereoPlan(const LoadedBank& loaded, std::uint16_t left, std::uint16_t right);

// The sample frame that output frame t plays.
std::uint64_t sourceFrame(const SoundPlan& plan, std::uint64_t t);

// Writes output frames [first, first + count) of the sound, as 16-bit
// little-endian frames with interleaved channels, to `out`; `scratch` is
// the caller's buffer for a pair's two channels.
void renderFrames(const PcmArea& pcm, const SoundPlan& plan, std::uint64_t first, std::size_t count,
                  std::uint8_t* out, std::vector<std::uint8_t>& scratch);

// The sound as a read-only device an audio sink pulls from: 16-bit frames
// at 44.1 kHz, ending after the plan's frames. Holds the bank while it
// lives. A read that fails (the bank cut short since it was loaded) ends
// the sound with an error; failure() tells which.
class AuditionSource : public QIODevice {
  Q_OBJECT
 public:
  AuditionSource(std::shared_ptr<const LoadedBank> loaded, const SoundPlan& plan,
                 QObject* parent = nullptr);

  QAudioFormat format() const;
  const SoundPlan& plan() const noexcept { return plan_; }
  const std::string& failure() const noexcept { return failure_; }

  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override;

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 maxSize) override;

 private:
  std::uint64_t totalBytes() const noexcept;

  std::shared_ptr<const LoadedBank> loaded_;
  SoundPlan plan_;
  std::uint64_t position_ = 0;  // bytes handed out
  std::vector<std::uint8_t> frameBuffer_;
  std::vector<std::uint8_t> scratch_;
  std::string failure_;
};

}  // namespace vantrel
