#include "tti/sample_bank.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

namespace vantrel {

void PcmFree::operator()(std::uint8_t* p) const noexcept { std::free(p); }

PcmBuffer allocatePcm(std::size_t n) {
  constexpr std::size_t kHugePage = 2u << 20;
  if (n < kHugePage) return PcmBuffer(static_cast<std::uint8_t*>(std::malloc(n ? n : 1)));
  const std::size_t rounded = (n + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (p) ::madvise(p, rounded, MADV_HUGEPAGE);
  return PcmBuffer(static_cast<std::uint8_t*>(p));
}

void PcmArea::read(std::uint64_t at, void* to, std::size_t n) const {
  if (n == 0) return;
  if (memory) {
    std::memcpy(to, memory.get() + at, n);
  } else {
    file.readAt(offset + at, to, n);
  }
}

void PcmArea::copyTo(File& out, std::uint64_t at, std::uint64_t n) const {
  if (n == 0) return;
  if (memory) {
    out.writeAll(memory.get() + at, static_cast<std::size_t>(n));
  } else {
    out.copyFrom(file, offset + at, n);
  }
}

}  // namespace vantrel
