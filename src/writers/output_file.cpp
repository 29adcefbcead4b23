#include "writers/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/errors.h"
#include "platform/file.h"

namespace vantrel {

const std::uint8_t* SampleBytes::get(const SampleBank& bank, std::uint32_t index, std::size_t n,
                                     const std::string& path) {
  if (n == 0) return nullptr;
  const std::uint64_t start = bank.pcmStart[index];
  const std::uint64_t own = wholeFrames(bank.pcmLength[index]);
  const std::uint64_t held = bank.pcmData && start < bank.pcmDataSize ? bank.pcmDataSize - start : 0;
  std::uint64_t take = own < held ? own : held;
  if (take > n) take = n;
  if (take == n) return bank.pcmData.get() + start;

  scratch_.reset(static_cast<std::uint8_t*>(std::calloc(n, 1)));
  if (!scratch_) throw RunError(kOutOfMemory, path);
  if (take > 0) std::memcpy(scratch_.get(), bank.pcmData.get() + start, static_cast<std::size_t>(take));
  return scratch_.get();
}

std::unique_ptr<std::uint8_t[]> allocateBytes(std::size_t n, const std::string& path) {
  std::unique_ptr<std::uint8_t[]> p(new (std::nothrow) std::uint8_t[n ? n : 1]);
  if (!p) throw RunError(kOutOfMemory, path);
  return p;
}

std::string partPathFor(const std::string& finalPath) {
  const std::string name = fileNamePart(finalPath);
  const std::string folder = finalPath.substr(0, finalPath.size() - name.size());
  // FNV-1a over the final name: short, fixed-length and the same on every
  // call for the same name.
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : name) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char part[48];
  std::snprintf(part, sizeof part, ".vantrel-%016llx.part", static_cast<unsigned long long>(h));
  return folder + part;
}

void guardPartFile(const std::string& finalPath, const std::function<void(const std::string&)>& write) {
  const std::string part = partPathFor(finalPath);
  try {
    write(part);
  } catch (const RunError& e) {
    removeFileQuietly(part);
    if (e.code() == kInvalidBank) throw;
    throw RunError(e.code(), finalPath);
  } catch (...) {
    removeFileQuietly(part);
    throw;
  }
}

void commitPartFile(const std::string& finalPath) {
  const std::string part = partPathFor(finalPath);
  if (std::rename(part.c_str(), finalPath.c_str()) != 0) throwErrno(errno, finalPath, true);
}

}  // namespace vantrel
