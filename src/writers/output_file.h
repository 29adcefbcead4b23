// SPDX-License-Identifier: MIT
#pragma once
// Helpers the WAV and SoundFont writers share: little-endian byte building,
// the bytes of one sample as a file gets them, and writing under a temporary
// name so that a file carrying its final name is always complete.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "tti/sample_bank.h"

namespace vantrel {

inline void putU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void putU32(std::uint8_t* p, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// A growing little-endian byte buffer.
class LeBytes {
 public:
  void u8(std::uint8_t v) { *grow(1) = v; }
  void u16(std::uint16_t v) { putU16(grow(2), v); }
  void u32(std::uint32_t v) { putU32(grow(4), v); }
  void tag(const char (&fourCc)[5]) { std::memcpy(grow(4), fourCc, 4); }
  // 8-bit text cut to `width` bytes and filled with zero bytes to it.
  void text(std::string_view s, std::size_t width) {
    const std::size_t n = s.size() < width ? s.size() : width;
    std::uint8_t* p = grow(width);
    if (n > 0) std::memcpy(p, s.data(), n);
  }
  void zeros(std::size_t n) { grow(n); }
  // Appends the bytes of another record.
  void put(const LeBytes& other) {
    if (other.size_ > 0) std::memcpy(grow(other.size_), other.data(), other.size_);
  }
  // n zero bytes appended, for the caller to fill: records written in a
  // loop go faster through a pointer of the caller's own.
  std::uint8_t* append(std::size_t n) { return grow(n); }
  void reserve(std::size_t n) {
    if (bytes_.size() < n) bytes_.resize(n);
  }
  // Overwrites four bytes at `at` (a size field known only later).
  void setU32(std::size_t at, std::uint32_t v) { putU32(bytes_.data() + at, v); }

  std::size_t size() const noexcept { return size_; }
  const std::uint8_t* data() const noexcept { return bytes_.data(); }

 private:
  // n more bytes, zero, at the end. bytes_ is zero past size_ and grows
  // by doubling.
  std::uint8_t* grow(std::size_t n) {
    if (bytes_.size() - size_ < n) enlarge(n);
    const std::size_t at = size_;
    size_ += n;
    return bytes_.data() + at;
  }
  // Kept out of line so that grow() stays small enough to inline.
  [[gnu::noinline]] void enlarge(std::size_t n) { bytes_.resize(std::max(2 * bytes_.size(), size_ + n)); }

  std::vector<std::uint8_t> bytes_;
  std::size_t size_ = 0;
};

// A sample is written in whole 16-bit frames: an odd last byte is left out.
constexpr std::uint32_t wholeFrames(std::uint32_t byteLength) { return byteLength & ~1u; }

// The first n bytes of a sample as a file gets them: the sample's own bytes
// where the loaded PCM data area holds them (never more than its
// whole-frame length), then zero bytes (silence) up to n.
struct SampleSpan {
  std::uint64_t start = 0;  // where the held bytes begin in the PCM data area
  std::size_t held = 0;     // bytes taken from the PCM data
  std::size_t size = 0;     // n: held bytes, then silence
};
SampleSpan sampleSpan(const SampleBank& bank, std::uint32_t index, std::size_t n);

// How far a writer has come, for its caller's gauges and to stop it. A
// writer calls it with 0 after every block of output it writes (a point
// where the caller may stop it by throwing) and with k > 0 as it passes k
// steps of its own gauge. A throw discards the file being written.
using Progress = std::function<void(int steps)>;

// Writes a file's bytes from its current position on through a buffer
// that goes out in whole blocks ending at multiples of the block size: the
// page cache takes large aligned writes much faster than many small or
// misaligned ones. Sample bytes are read from the PCM data area straight
// into the buffer.
class BlockWriter {
 public:
  static constexpr std::size_t kBlockSize = 1u << 20;

  // `buffer` is the job's reusable write buffer; it grows to kBlockSize, or
  // to two blocks with `background`: then full blocks are written by a
  // thread of the writer's own while the next block is being filled.
  // `position` is the file's position.
  // `progress`, when given, is called with 0 after each block.
  // `bytes`, when known, is how many bytes will be put: a smaller total
  // needs (and touches) a buffer only that large.
  BlockWriter(File& file, std::vector<std::uint8_t>& buffer, std::uint64_t position,
              bool background = false, const Progress* progress = nullptr,
              std::uint64_t bytes = kBlockSize);
  // Waits for a block still being written (its failure is dropped: finish
  // reports failures).
  ~BlockWriter();
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  void put(const void* data, std::size_t n);
  void put(const LeBytes& bytes) { put(bytes.data(), bytes.size()); }
  // A span of the PCM data: its held bytes, then its silence. With `copy`,
  // the bytes read are kept there as well.
  void putSpan(const PcmArea& pcm, const SampleSpan& span, PcmReadCopy* copy = nullptr);
  // n zero bytes; a run longer than the room left moves the file's end
  // instead (see writeSilence).
  void putSilence(std::uint64_t n);
  // Writes what the buffer holds. Call before closing the file.
  void finish();

 private:
  // Appends n bytes, block by block: fill(to, done, take) puts bytes
  // [done, done + take) at `to`.
  template <typename Fill>
  void append(std::size_t n, const Fill& fill) {
    for (std::size_t done = 0; done < n;) {
      const std::size_t take = n - done < limit_ - fill_ ? n - done : limit_ - fill_;
      fill(block_ + fill_, done, take);
      fill_ += take;
      done += take;
      if (fill_ == limit_) flush();
    }
  }
  void flush();
  // The bytes that end a block begun at `position`.
  std::size_t firstLimit(std::uint64_t position) const;
  // Waits until no block is being written; throws how its writing failed.
  void waitWritten();
  void writeInBackground();

  File& file_;
  const Progress* progress_;
  std::uint8_t* block_;           // the block being filled
  std::uint8_t* spare_ = nullptr;  // with background writing: the other block
  std::size_t blockSize_;          // kBlockSize, or less for a small total
  std::size_t limit_;              // bytes that end the current block
  std::size_t fill_ = 0;

  // Background writing; the fields after mutex_ are guarded by it.
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::uint8_t* out_ = nullptr;  // the block handed to the thread
  // With background writing, the file's tap is fed here, on the thread
  // that fills the blocks, rather than on the one that writes them.
  WriteTap* tap_ = nullptr;
  std::uint64_t tapped_ = 0;  // the file's bytes the tap has seen
  std::size_t outSize_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  std::exception_ptr failure_;
};

// Appends n zero bytes at the file position.
void writeSilence(File& file, std::uint64_t n);

// A file being written for `finalPath`. It has no name until commit(): it
// is created unnamed in the final folder (O_TMPFILE) and linked under its
// final name when complete, so a failure, an interruption, a crash or a
// power cut leaves nothing behind. Where the file system has no unnamed
// files (FAT, FUSE) it is a hidden part file beside the final one,
// ".vantrel-<process id>-<16 random hex digits>.part", removed when the
// OutputFile is dropped uncommitted; part files of processes that no
// longer run are removed when a new one is created in their folder. Its
// data is on the storage before it is named (makeDurable), unless the
// caller made it so for several files at once (markDurable). Every error
// names finalPath.
//
// A part file is named without replacing anything by the first way its
// folder takes (OpenFolder::Ways, found out once per folder):
// renameat2(RENAME_NOREPLACE); else a hard link to the final name and the
// part name removed; else the final name claimed by creating it
// (O_CREAT | O_EXCL | O_NOFOLLOW, so the name is surely nobody else's
// file) and the part file renamed over the claim.
class OutputFile {
 public:
  // `tap`, when given, sees every byte written (File::setTap). `folder`,
  // when given and holding finalPath, is where the file is made and named,
  // without walking the folder's path again. `replace`: a file already
  // under the final name at commit is replaced (the file is the output of
  // record, as a SoundFont is), else it is left as it is.
  explicit OutputFile(std::string finalPath, WriteTap* tap = nullptr, const OpenFolder* folder = nullptr,
                      bool replace = true);
  // Drops the file unless it was committed.
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  File& file() noexcept { return file_; }
  // The file as it reads back what was written to it: file() itself, or
  // where a FUSE server does not read a file back through the descriptor
  // that wrote it (fusefat gives zeros), the part file opened again.
  const File& readable();
  // The name the file is given: the one asked for, or after commit the one
  // it was given instead when the file system refused that one.
  const std::string& finalPath() const noexcept { return finalPath_; }
  // Names other files of the job take (caseFoldedUtf8 of the bare names):
  // a name given instead of a refused one is numbered until it is none of
  // them, and is added to them. The set stays the caller's.
  void avoidNames(std::set<std::string>* folded) noexcept { avoid_ = folded; }
  // The caller has made the file's data durable (makeDurable of several
  // files at once).
  void markDurable() noexcept { durable_ = true; }
  // The folder the file is made in.
  const OpenFolder& folder() const noexcept { return *folder_; }
  // Closes the file and gives it its final name, replacing a file of that
  // name when made with `replace`. Without it, false when the name is taken
  // (by a file made meanwhile): the file is then dropped, and the one there
  // is left as it is. A name the file system refuses (refusesName) is
  // tried again under its fallbackNames.
  bool commit();

 private:
  // finalPath_ with the next of the fallback names of the name asked for
  // (numbered clear of the names to avoid); false when none is left.
  bool takeSafeName();
  // Names the part file without replacing: 0, or the errno (EEXIST: taken).
  int namePartFile();
  void syncUnlessDurable();

  File file_;
  File reader_;  // readable()'s own descriptor, where it needs one
  std::string finalPath_;
  std::string partName_;  // in the folder; empty while the file has no name
  std::size_t fallbacksTried_ = 0;
  std::string askedName_;
  bool committed_ = false;
  bool durable_ = false;
  std::set<std::string>* avoid_ = nullptr;
  // The open folder the file is made and named in: the caller's, or
  // ownFolder_, finalPath_'s folder opened here.
  const OpenFolder* folder_ = nullptr;
  std::unique_ptr<OpenFolder> ownFolder_;
  int folderFd_ = -1;
  bool replace_ = true;
};

// Writes `text` as `finalPath`, replacing a file of that name (an
// instrument's text file) unless `replace` is false: a file under the name
// then fails it ("a file of that name is in the way"). The file gets its
// name only when complete; `tap`, when given, sees its bytes; `folder`,
// when given, is the open folder of finalPath. Returns the path it was
// given (OutputFile::finalPath).
std::string writeTextFile(const std::string& text, const std::string& finalPath, WriteTap* tap = nullptr,
                          const OpenFolder* folder = nullptr, bool replace = true);

// The part file name of `finalPath` for this process.
std::string partPathFor(const std::string& finalPath);

// Removes the part files in `folder` whose processes no longer run.
void removeStalePartFiles(const std::string& folder) noexcept;
// The same in the open folder `folderFd`.
void removeStalePartFiles(int folderFd) noexcept;

}  // namespace vantrel
