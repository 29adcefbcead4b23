#include "writers/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/errors.h"
#include "platform/file.h"

namespace vantrel {

SampleSpan sampleSpan(const SampleBank& bank, std::uint32_t index, std::size_t n) {
  SampleSpan span;
  span.size = n;
  const std::uint64_t start = bank.pcmStart[index];
  const std::uint64_t own = wholeFrames(bank.pcmLength[index]);
  const std::uint64_t held = bank.pcm.held() && start < bank.pcm.size ? bank.pcm.size - start : 0;
  std::uint64_t take = own < held ? own : held;
  if (take > n) take = n;
  if (take > 0) {
    span.start = start;
    span.held = static_cast<std::size_t>(take);
  }
  return span;
}

void writeSpan(File& file, const PcmArea& pcm, const SampleSpan& span, ConstBuffer trailer) {
  if (pcm.memory && span.held == span.size) {
    const ConstBuffer pieces[2] = {{pcm.memory.get() + span.start, span.held}, trailer};
    file.writeGather(pieces, 2);
    return;
  }
  pcm.copyTo(file, span.start, span.held);
  writeSilence(file, span.size - span.held);
  file.writeAll(trailer.data, trailer.size);
}

void writeSilence(File& file, std::uint64_t n) {
  if (n == 0) return;
  // The silence becomes part of the file by moving its end rather than by
  // writing zero bytes: a bank that promises gigabytes it does not hold
  // costs no time and, where the file system keeps holes, no space.
  const std::uint64_t end = file.position() + n;
  if (file.size() < end) file.resize(end);
  file.seek(end);
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
    // A fault of the bank names the bank; anything else names the output.
    if (e.code() == kInvalidBank || e.code() == kReadBeyondEnd) throw;
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
