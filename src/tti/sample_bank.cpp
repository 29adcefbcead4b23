// SPDX-License-Identifier: MIT
#include "tti/sample_bank.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/errors.h"

namespace vantrel {

void PcmFree::operator()(std::uint8_t* p) const noexcept { std::free(p); }

PcmBuffer allocatePcm(std::size_t n) {
  return PcmBuffer(static_cast<std::uint8_t*>(std::malloc(n ? n : 1)));
}

PcmArea& PcmArea::operator=(PcmArea&& other) noexcept {
  file = std::move(other.file);
  offset = other.offset;
  memory = std::move(other.memory);
  memoryStart = std::exchange(other.memoryStart, 0);
  size = std::exchange(other.size, 0);
  fileLength_.store(other.fileLength_.exchange(kUnknown));
  return *this;
}

const std::uint8_t* PcmArea::view(std::uint64_t at, std::size_t n) const {
  if (!memory) return nullptr;
  if (file.isOpen() && n > 0) {
    std::uint64_t length = fileLength_.load(std::memory_order_relaxed);
    if (length == kUnknown) {
      length = file.size();
      fileLength_.store(length, std::memory_order_relaxed);
    }
    if (offset + at + n > length) throw RunError(kReadBeyondEnd, file.path());
  }
  return bytes() + at;
}

void PcmArea::read(std::uint64_t at, void* to, std::size_t n, PcmReadCopy* copy) const {
  if (n == 0) return;
  if (const std::uint8_t* p = view(at, n)) {
    std::memcpy(to, p, n);
  } else {
    file.readAt(offset + at, to, n);
  }
  if (copy) copy->add(at, static_cast<const std::uint8_t*>(to), n);
}

void PcmReadCopy::clear() noexcept {
  used_ = 0;
  pieces_.clear();
}

void PcmReadCopy::add(std::uint64_t at, const std::uint8_t* from, std::size_t n) {
  // Each copy lies at the same place within its pages as the bytes it is
  // made from: on some processors a copy between places a few bytes apart
  // within their pages is several times slower.
  constexpr std::size_t kPage = 4096;
  if (!memory_) {
    memory_.reset(static_cast<std::uint8_t*>(std::aligned_alloc(kPage, (cap_ + kPage - 1) / kPage * kPage + kPage)));
    if (!memory_) return;
  }
  const std::size_t phase = reinterpret_cast<std::uintptr_t>(from) % kPage;
  const std::size_t start = (used_ + kPage - 1) / kPage * kPage + phase;
  if (start > cap_ || n > cap_ - start) return;
  std::memcpy(memory_.get() + start, from, n);
  pieces_.push_back({at, memory_.get() + start, n});
  used_ = start + n;
}

const std::uint8_t* PcmReadCopy::find(std::uint64_t at, std::size_t n) const noexcept {
  for (const Piece& piece : pieces_) {
    if (piece.at <= at && at - piece.at <= piece.size && n <= piece.size - (at - piece.at)) {
      return piece.bytes + (at - piece.at);
    }
  }
  return nullptr;
}

}  // namespace vantrel
