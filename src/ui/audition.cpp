// SPDX-License-Identifier: MIT
#include "ui/audition.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "platform/errors.h"

namespace vantrel {
namespace {

// Frames rendered per read of the device at most: a few audio periods.
constexpr std::size_t kChunkFrames = 16384;

// Bytes [k, k + n) of a span into `to`: its held bytes, then zeros.
void readSpan(const PcmArea& pcm, const SampleSpan& span, std::uint64_t k, std::size_t n,
              std::uint8_t* to) {
  const std::size_t held = k < span.held ? static_cast<std::size_t>(std::min<std::uint64_t>(n, span.held - k)) : 0;
  pcm.read(span.start + k, to, held);
  std::memset(to + held, 0, n - held);
}

SoundPlan planFor(const LoadedBank& loaded, std::uint16_t left, const std::uint16_t* right) {
  const SampleBank& bank = loaded.bank();
  SoundPlan plan;
  // Both channels take the left sample's whole-frame length, as the WAV
  // file of a pair does.
  const std::uint32_t n = wholeFrames(bank.pcmLength[left]);
  plan.channels = right ? 2 : 1;
  plan.left = sampleSpan(bank, left, n);
  if (right) plan.right = sampleSpan(bank, *right, n);
  plan.frames = n / 2;
  const std::int64_t loopStart = bank.loopStart[left], loopEnd = bank.loopEnd[left];
  const bool zoneLoops = loaded.playsLooped(left) || (right && loaded.playsLooped(*right));
  plan.looped = zoneLoops && loopStart >= 0 && loopStart <= loopEnd &&
                static_cast<std::uint64_t>(loopEnd) < plan.frames;
  if (plan.looped) {
    plan.loopStart = static_cast<std::uint64_t>(loopStart);
    plan.loopEnd = static_cast<std::uint64_t>(loopEnd);
    plan.playFrames = kMaxLoopedFrames;
  } else {
    plan.playFrames = plan.frames;
  }
  return plan;
}

}  // namespace

SoundPlan monoPlan(const LoadedBank& loaded, std::uint16_t index) { return planFor(loaded, index, nullptr); }

SoundPlan stereoPlan(const LoadedBank& loaded, std::uint16_t left, std::uint16_t right) {
  return planFor(loaded, left, &right);
}

std::uint64_t sourceFrame(const SoundPlan& plan, std::uint64_t t) {
  if (!plan.looped || t <= plan.loopEnd) return t;
  return plan.loopStart + (t - plan.loopStart) % (plan.loopEnd - plan.loopStart + 1);
}

void renderFrames(const PcmArea& pcm, const SoundPlan& plan, std::uint64_t first, std::size_t count,
                  std::uint8_t* out, std::vector<std::uint8_t>& scratch) {
  for (std::size_t done = 0; done < count;) {
    const std::uint64_t f = sourceFrame(plan, first + done);
    // A run of consecutive sample frames: up to the loop's end while the
    // sample loops, else up to the sample's end (silence past it).
    const std::uint64_t end = plan.looped ? plan.loopEnd + 1 : plan.frames;
    const std::size_t run = f < end ? static_cast<std::size_t>(std::min<std::uint64_t>(count - done, end - f))
                                    : count - done;
    if (plan.channels == 1) {
      readSpan(pcm, plan.left, 2 * f, 2 * run, out + 2 * done);
    } else {
      if (scratch.size() < 4 * run) scratch.resize(4 * run);
      std::uint8_t* l = scratch.data();
      std::uint8_t* r = l + 2 * run;
      readSpan(pcm, plan.left, 2 * f, 2 * run, l);
      readSpan(pcm, plan.right, 2 * f, 2 * run, r);
      std::uint8_t* o = out + 4 * done;
      for (std::size_t i = 0; i < run; ++i) {
        std::memcpy(o + 4 * i, l + 2 * i, 2);
        std::memcpy(o + 4 * i + 2, r + 2 * i, 2);
      }
    }
    done += run;
  }
}

AuditionSource::AuditionSource(std::shared_ptr<const LoadedBank> loaded, const SoundPlan& plan,
                               QObject* parent)
    : QIODevice(parent), loaded_(std::move(loaded)), plan_(plan) {
  open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

QAudioFormat AuditionSource::format() const {
  QAudioFormat f;
  f.setSampleRate(static_cast<int>(kAuditionRate));
  f.setChannelCount(plan_.channels);
  f.setSampleFormat(QAudioFormat::Int16);
  return f;
}

std::uint64_t AuditionSource::totalBytes() const noexcept { return plan_.playFrames * 2 * plan_.channels; }

qint64 AuditionSource::bytesAvailable() const {
  return static_cast<qint64>(totalBytes() - position_) + QIODevice::bytesAvailable();
}

qint64 AuditionSource::readData(char* data, qint64 maxSize) {
  if (maxSize <= 0 || position_ >= totalBytes()) return 0;
  const std::size_t frameBytes = 2u * plan_.channels;
  const std::uint64_t firstFrame = position_ / frameBytes;
  const std::size_t skip = static_cast<std::size_t>(position_ % frameBytes);
  std::uint64_t bytes = std::min<std::uint64_t>(static_cast<std::uint64_t>(maxSize), totalBytes() - position_);
  bytes = std::min<std::uint64_t>(bytes, kChunkFrames * frameBytes - skip);
  const std::size_t frames = static_cast<std::size_t>((skip + bytes + frameBytes - 1) / frameBytes);
  try {
    if (frameBuffer_.size() < frames * frameBytes) frameBuffer_.resize(frames * frameBytes);
    renderFrames(loaded_->bank().pcm, plan_, firstFrame, frames, frameBuffer_.data(), scratch_);
  } catch (const RunError& e) {
    failure_ = e.message();
  } catch (const std::bad_alloc&) {
    failure_ = "Out of memory";
  }
  if (!failure_.empty()) {
    setErrorString(QString::fromStdString(failure_));
    return -1;
  }
  if constexpr (std::endian::native == std::endian::big) {
    // The bank's frames are little-endian; the sink takes native ones.
    for (std::size_t i = 0; i + 1 < frames * frameBytes; i += 2)
      std::swap(frameBuffer_[i], frameBuffer_[i + 1]);
  }
  std::memcpy(data, frameBuffer_.data() + skip, static_cast<std::size_t>(bytes));
  position_ += bytes;
  return static_cast<qint64>(bytes);
}

qint64 AuditionSource::writeData(const char*, qint64) { return -1; }

}  // namespace vantrel
