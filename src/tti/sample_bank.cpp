#include "tti/sample_bank.h"

#include <cstdlib>
#include <cstring>

namespace vantrel {

void PcmFree::operator()(std::uint8_t* p) const noexcept { std::free(p); }

PcmBuffer allocatePcm(std::size_t n) {
  return PcmBuffer(static_cast<std::uint8_t*>(std::malloc(n ? n : 1)));
}

void PcmArea::read(std::uint64_t at, void* to, std::size_t n) const {
  if (n == 0) return;
  if (memory) {
    std::memcpy(to, memory.get() + at, n);
  } else {
    file.readAt(offset + at, to, n);
  }
}

}  // namespace vantrel
