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

void PcmArea::read(std::uint64_t at, void* to, std::size_t n) const {
  if (n == 0) return;
  if (const std::uint8_t* p = view(at, n)) {
    std::memcpy(to, p, n);
  } else {
    file.readAt(offset + at, to, n);
  }
}

}  // namespace vantrel
