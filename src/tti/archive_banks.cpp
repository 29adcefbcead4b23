// SPDX-License-Identifier: MIT
#include "tti/archive_banks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#include "platform/archive.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "tti/tti_reader.h"

namespace vantrel {
namespace {

constexpr std::size_t kNone = ~std::size_t{0};

// Bounds of one listing. An image whose directory leads back into itself
// makes libarchive give the same entries again and again; one of hundreds
// of thousands of entries or of very long names is not a medium of banks
// either. The catalogue keeps each path listed once, so its memory stays
// within the names' bound and about 150 bytes an entry.
constexpr std::size_t kMaxEntries = 250'000;
constexpr std::size_t kMaxRepeats = 1000;
constexpr std::uint64_t kMaxNameBytes = 64 << 20;

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// An entry's path as a path below the image's root: no "." and no empty
// components. Empty for a path with ".." in it, which would leave the
// root, and for the root itself.
std::string normalised(std::string_view path) {
  std::string out;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(at, end - at);
    if (part == "..") return {};
    if (!part.empty() && part != ".") {
      if (!out.empty()) out += '/';
      out += part;
    }
    at = end + 1;
  }
  return out;
}

// Whether an entry's path leads out of the image's root: a ".." anywhere
// in it, as an unpacking tool refuses it.
bool leavesRoot(std::string_view path) {
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(at, end - at) == "..") return true;
    at = end + 1;
  }
  return false;
}

std::string parentOf(const std::string& inside) {
  const std::size_t slash = inside.rfind('/');
  return slash == std::string::npos ? std::string() : inside.substr(0, slash);
}

std::string lastPart(const std::string& inside) {
  const std::size_t slash = inside.rfind('/');
  return slash == std::string::npos ? inside : inside.substr(slash + 1);
}

// Where the link at `link` (a path below the image's root) leads, below
// the root: "" for a target that leads out of the image (an absolute one,
// or one whose ".." climb above the root).
std::string linkTargetOf(const std::string& link, std::string_view target) {
  if (target.empty() || target.front() == '/') return {};
  std::vector<std::string_view> parts;
  const std::string folder = parentOf(link);
  std::string joined = folder.empty() ? std::string(target) : folder + "/" + std::string(target);
  const std::string_view path = joined;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(at, end - at);
    if (part == "..") {
      if (parts.empty()) return {};
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string_view part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

// Where temporary files of banks go: $TMPDIR, or /tmp.
std::string spillFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// A folder for a bank larger than kInMemoryLimit: unnamed, gone when the
// last descriptor of it closes; a hidden file removed at once where the
// file system has no unnamed files.
File temporaryFile() {
  const std::string folder = spillFolder();
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string name = joinPath(folder, ".vantrel-bank-XXXXXX");
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) throwErrno(errno, folder, true);
  return File(fd, folder);
}

// The first bytes of a bank about to be written into a temporary file: the
// directory and parameter walks run over them as over the whole bank, with
// the size its entry gives (or without end, where it gives none). A walk
// that fails on them fails on the whole bank with the same error, and the
// bank is refused before a byte of it is written; one that needs bytes
// beyond them tells nothing.
class HeadSource final : public ByteSource {
 public:
  struct NeedsMore {};
  HeadSource(const std::vector<std::uint8_t>& head, std::uint64_t size, const std::string& path)
      : head_(head), size_(size), path_(path) {}
  void read(void* buffer, std::size_t n) override {
    if (n > left()) throwEnd();
    if (pos_ + n > head_.size()) throw NeedsMore{};
    std::memcpy(buffer, head_.data() + pos_, n);
    pos_ += n;
  }
  void skip(std::uint64_t n) override {
    if (n > left()) throwEnd();
    pos_ += n;
  }
  std::uint64_t position() const override { return pos_; }
  std::uint64_t size() const override { return size_; }
  const std::string& path() const override { return path_; }
  void rewind() override { pos_ = 0; }
  PcmArea takePcm(std::uint32_t) override { throw NeedsMore{}; }

 private:
  const std::vector<std::uint8_t>& head_;
  std::uint64_t size_;
  std::uint64_t pos_ = 0;
  const std::string& path_;
};

void refuseUnlessBank(const std::vector<std::uint8_t>& head, std::uint64_t size, const std::string& shown) {
  HeadSource source(head, size, shown);
  const auto bank = std::make_unique<SampleBank>();
  try {
    readDirectory(source, *bank);
    source.rewind();
    readValues(source, *bank, {});
  } catch (const HeadSource::NeedsMore&) {
    // Not to be told from its first bytes.
  }
}

// The space the temporary files of banks from images take at once, in the
// whole process: what each file holds is counted until the last source
// read from it is gone.
std::atomic<std::uint64_t> spillUsed{0};
std::atomic<std::uint64_t> spillLimit{kDefaultSpillLimit};

struct SpillCharge {
  std::uint64_t bytes = 0;
  SpillCharge() = default;
  SpillCharge(const SpillCharge&) = delete;
  SpillCharge& operator=(const SpillCharge&) = delete;
  ~SpillCharge() { spillUsed.fetch_sub(bytes); }
  void add(std::uint64_t n, const std::string& folder) {
    const std::uint64_t limit = spillLimit.load();
    std::uint64_t used = spillUsed.load();
    do {
      if (used + n > limit) {
        throw RunError(kDiskFull, folder,
                       "the space for banks unpacked from images, " + std::to_string(limit >> 20) +
                           " MiB, is used up");
      }
    } while (!spillUsed.compare_exchange_weak(used, used + n));
    bytes += n;
  }
};

// The bytes of an entry once read: in memory, or `size` bytes of `file`
// from `start` on (a temporary file, or the archive file itself).
struct EntryBytes {
  std::shared_ptr<const std::vector<std::uint8_t>> memory;
  File file;
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  std::shared_ptr<SpillCharge> charge;  // for a temporary file
};

// An entry's bytes written into a temporary file, its first kHeadBytes
// held in memory until they show that the bank can be one
// (refuseUnlessBank); counted against the bound of the process's spill
// space. A file system that fills up fails the bank naming the folder.
class Spill {
 public:
  static constexpr std::size_t kHeadBytes = 1 << 20;
  Spill(const ArchiveEntry& entry, const std::string& shown)
      : size_(entry.sizeKnown ? entry.size : ~std::uint64_t{0}), shown_(shown) {}

  std::uint64_t end() const noexcept { return end_; }

  // n bytes at `offset` of the entry, at or after the end so far; the
  // bytes between are zeros.
  void put(std::uint64_t offset, const std::uint8_t* data, std::size_t n) {
    if (offset < end_) throw RunError(kDamagedArchive, shown_, "Encountered out-of-order sparse blocks");
    while (!open_ && (offset > end_ || n > 0)) {
      if (end_ == kHeadBytes) {
        open();
        break;
      }
      if (offset > end_) {
        const std::size_t zeros = static_cast<std::size_t>(std::min<std::uint64_t>(offset - end_, kHeadBytes - end_));
        head_.resize(head_.size() + zeros, 0);
        end_ += zeros;
        continue;
      }
      const std::size_t take = std::min<std::size_t>(n, kHeadBytes - static_cast<std::size_t>(end_));
      head_.insert(head_.end(), data, data + take);
      data += take;
      n -= take;
      end_ += take;
      offset = end_;
    }
    if (!open_) return;
    guarded([&] {
      if (offset > end_) {
        charge_->add(offset - end_, folder_);
        out_.file.resize(offset);
        out_.file.seek(offset);
        end_ = offset;
      }
      if (n > 0) {
        charge_->add(n, folder_);
        out_.file.writeAll(data, n);
        end_ += n;
      }
    });
  }

  EntryBytes finish() {
    if (!open_) open();
    out_.size = end_;
    return std::move(out_);
  }

 private:
  void open() {
    refuseUnlessBank(head_, size_, shown_);
    folder_ = spillFolder();
    out_.charge = std::make_shared<SpillCharge>();
    charge_ = out_.charge.get();
    guarded([&] {
      out_.file = temporaryFile();
      charge_->add(head_.size(), folder_);
      out_.file.writeAll(head_.data(), head_.size());
    });
    head_ = {};
    open_ = true;
  }

  // A full file system says where.
  template <typename Write>
  void guarded(const Write& write) {
    try {
      write();
    } catch (const RunError& e) {
      if (e.code() != kDiskFull || e.path() != folder_) throw;
      throw RunError(kDiskFull, folder_, "no space left for a bank unpacked from an image: " + shown_);
    }
  }

  std::uint64_t size_;
  const std::string& shown_;
  std::vector<std::uint8_t> head_;
  std::uint64_t end_ = 0;
  bool open_ = false;
  std::string folder_;
  SpillCharge* charge_ = nullptr;
  EntryBytes out_;
};

void checkLength(const ArchiveEntry& entry, std::uint64_t total, const std::string& shown) {
  if (entry.sizeKnown && total != entry.size) {
    throw RunError(kDamagedArchive, shown,
                   "the entry ends after " + std::to_string(total) + " of its " + std::to_string(entry.size) + " bytes");
  }
}

// A large entry of known size. One stored as it is (in an ISO 9660 image,
// a plain tar archive, a stored zip entry) is read where it lies: when
// every block libarchive gives of it is the archive file's own bytes, each
// right after the one before, the bank is those bytes of the archive file
// and nothing is copied. Any other goes into a temporary file, the bytes
// found in place until then copied there from the archive first. Holes
// between the blocks of a sparse entry are zeros.
EntryBytes readLargeEntry(ArchiveReader& reader, const ArchiveEntry& entry, const std::string& shown) {
  std::uint64_t start = 0;
  std::uint64_t total = 0;
  bool inPlace = true;
  std::optional<Spill> spill;
  ArchiveReader::Block block;
  // Once the first block is found in place, the rest is followed through
  // mapped pages (no copy); whatever turns up, the blocks are checked.
  struct Unmapped {
    ArchiveReader& reader;
    ~Unmapped() { reader.mapUntil(0); }
  } unmapped{reader};
  while (reader.nextBlock(block, shown)) {
    if (block.size == 0 && block.offset == total) continue;
    if (inPlace) {
      if (block.inFile && block.offset == total && (total == 0 || *block.inFile == start + total)) {
        if (total == 0) {
          start = *block.inFile;
          reader.mapUntil(start + entry.size);
        }
        total += block.size;
        continue;
      }
      reader.mapUntil(0);
      inPlace = false;
      spill.emplace(entry, shown);
      // The bytes found in place until then, a chunk at a time.
      constexpr std::size_t kChunk = 256 * 1024;
      std::unique_ptr<std::uint8_t[]> chunk(new std::uint8_t[kChunk]);
      const File archive = reader.reopen(shown);
      for (std::uint64_t at = 0; at < total;) {
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(total - at, kChunk));
        archive.readAt(start + at, chunk.get(), take);
        spill->put(at, chunk.get(), take);
        at += take;
      }
    }
    spill->put(block.offset, block.bytes, block.size);
    total = spill->end();
  }
  checkLength(entry, total, shown);
  if (inPlace) {
    EntryBytes out;
    out.file = reader.reopen(shown);
    out.start = start;
    out.size = total;
    return out;
  }
  return spill->finish();
}

// Reads the current entry of `reader` whole: into memory while it fits
// kInMemoryLimit, else as readLargeEntry does.
EntryBytes readEntry(ArchiveReader& reader, const ArchiveEntry& entry, const std::string& shown) {
  if (entry.sizeKnown && entry.size > kInMemoryLimit) return readLargeEntry(reader, entry, shown);
  constexpr std::size_t kChunk = 256 * 1024;
  auto memory = std::make_shared<std::vector<std::uint8_t>>();
  std::optional<Spill> spill;
  if (entry.sizeKnown) memory->reserve(static_cast<std::size_t>(entry.size));
  std::unique_ptr<std::uint8_t[]> chunk(new std::uint8_t[kChunk]);
  std::uint64_t total = 0;
  for (;;) {
    const std::size_t n = reader.read(chunk.get(), kChunk, shown);
    if (n == 0) break;
    if (!spill && memory->size() + n > kInMemoryLimit) {
      // Larger than its header said, or a size it did not say.
      spill.emplace(entry, shown);
      spill->put(0, memory->data(), memory->size());
      memory = std::make_shared<std::vector<std::uint8_t>>();
    }
    if (spill) spill->put(total, chunk.get(), n);
    else memory->insert(memory->end(), chunk.get(), chunk.get() + n);
    total += n;
  }
  checkLength(entry, total, shown);
  if (spill) return spill->finish();
  EntryBytes out;
  out.memory = std::move(memory);
  out.size = total;
  return out;
}

}  // namespace

bool isImageName(std::string_view name) {
  const std::string lower = lowered(name);
  for (std::string_view ext : {".iso", ".zip", ".7z", ".tar", ".tar.gz", ".tgz", ".tar.bz2", ".tbz2", ".tbz",
                               ".tar.xz", ".txz"}) {
    if (lower.size() > ext.size() && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0) return true;
  }
  return false;
}

std::optional<InsidePath> splitInsidePath(const std::string& path) {
  for (std::size_t at = path.find(kInsideSeparator); at != std::string::npos;
       at = path.find(kInsideSeparator, at + 1)) {
    const std::string archive = path.substr(0, at);
    if (!archive.empty() && archive.back() != '/' && isImageName(fileNamePart(archive)) && !folderExists(archive)) {
      return InsidePath{archive, normalised(std::string_view(path).substr(at + kInsideSeparator.size()))};
    }
  }
  return std::nullopt;
}

std::optional<InsidePath> imageSource(const std::string& source) {
  if (auto split = splitInsidePath(source)) return split;
  std::string archive = source;
  while (archive.size() > 1 && archive.back() == '/') archive.pop_back();
  if (isImageName(fileNamePart(archive)) && !folderExists(archive)) return InsidePath{archive, {}};
  return std::nullopt;
}

namespace {

// A temporary file's bytes, counted as spill space while read.
class ChargedSource final : public ByteSource {
 public:
  ChargedSource(std::unique_ptr<ByteSource> source, std::shared_ptr<SpillCharge> charge)
      : source_(std::move(source)), charge_(std::move(charge)) {}
  void read(void* buffer, std::size_t n) override { source_->read(buffer, n); }
  void skip(std::uint64_t n) override { source_->skip(n); }
  std::uint64_t position() const override { return source_->position(); }
  std::uint64_t size() const override { return source_->size(); }
  const std::string& path() const override { return source_->path(); }
  void rewind() override { source_->rewind(); }
  PcmArea takePcm(std::uint32_t n) override { return source_->takePcm(n); }

 private:
  std::unique_ptr<ByteSource> source_;
  std::shared_ptr<SpillCharge> charge_;
};

}  // namespace

void setSpillLimit(std::uint64_t bytes) noexcept { spillLimit.store(bytes); }

// What a catalogue and the references it gives out share: the listing,
// the reader moving forward through the image, and the last bank read.
struct ArchiveCatalogue::State {
  explicit State(std::string path) : archive(std::move(path)) {}

  struct Listed {
    std::string inside;
    std::size_t dataIndex;  // the entry that holds its bytes (itself, or a hard link's target)
    std::uint64_t size = 0;  // 0 when the entry does not tell
  };

  struct PathSeen {
    std::size_t index = kNone;  // the entry of a file with bytes of its own
    std::uint64_t size = 0;
  };
  using Paths = std::unordered_map<std::string, PathSeen>;

  std::string archive;
  std::mutex mutex;
  bool listed = false;
  std::vector<Listed> banks;
  std::vector<std::string> folders;  // every folder, in the order first seen
  std::optional<RunError> damage;    // why the listing ended early
  // Entries the listing passed over or followed, each named once, with the
  // folder below which it lies ("" for one whose path leaves the image).
  struct PassedOver {
    std::string inside;
    RunError note;
  };
  std::vector<PassedOver> passedOver;
  bool seeks = false;                // passing over an entry is a seek (ArchiveReader::skipsBySeeking)
  std::unique_ptr<ArchiveReader> reader;
  std::size_t nextIndex = 0;  // the entry number reader->next() gives
  std::size_t cachedIndex = kNone;
  EntryBytes cached;

  std::string shown(const std::string& inside) const { return archive + std::string(kInsideSeparator) + inside; }

  void restart() {
    reader.reset();
    reader = std::make_unique<ArchiveReader>(archive);
    nextIndex = 0;
  }

  // Walks every header once; called with the mutex held.
  void list() {
    if (listed) return;
    listed = true;
    // Every path listed, to tell an entry seen again; for a file with
    // bytes of its own, its entry number and size.
    Paths seen;
    std::set<std::string> seenFolders;
    std::map<std::string, std::string> symlinks;  // each link's path and its target, as stored
    std::map<std::string, std::size_t> bankOf;    // each bank's place in `banks`
    std::set<std::string> noted;
    std::uint64_t nameBytes = 0;
    std::size_t repeats = 0;
    auto addFolder = [&](const std::string& folder) {
      if (!folder.empty() && seenFolders.insert(folder).second) folders.push_back(folder);
    };
    // Each entry is named once, by the first reason found.
    auto passOver = [&](int code, const std::string& inside, const std::string& named, std::string detail) {
      if (noted.insert(named).second) passedOver.push_back({inside, RunError(code, shown(named), std::move(detail))});
    };
    try {
      restart();
      ArchiveEntry entry;
      while (reader->next(entry)) {
        const std::size_t index = nextIndex++;
        if (index == 0) seeks = reader->skipsBySeeking();
        if (index >= kMaxEntries) {
          throw RunError(kDamagedArchive, archive, "more than " + std::to_string(kMaxEntries) + " entries");
        }
        nameBytes += entry.path.size() + entry.hardlink.size() + entry.linkTarget.size();
        if (nameBytes > kMaxNameBytes) {
          throw RunError(kDamagedArchive, archive,
                         "its names take more than " + std::to_string(kMaxNameBytes >> 20) + " MiB");
        }
        if (leavesRoot(entry.path)) {
          passOver(kLeavesImage, {}, entry.path, {});
          continue;
        }
        const std::string inside = normalised(entry.path);
        if (inside.empty()) continue;
        const auto [place, first] = seen.try_emplace(inside);
        const bool again = !first;
        if (again && ++repeats > kMaxRepeats) {
          throw RunError(kDamagedArchive, archive,
                         "more than " + std::to_string(kMaxRepeats) +
                             " entries repeat a path listed before (its directory leads back into itself)");
        }
        for (std::size_t slash = inside.find('/'); slash != std::string::npos; slash = inside.find('/', slash + 1))
          addFolder(inside.substr(0, slash));
        if (entry.type == ArchiveEntry::Type::Folder) {
          addFolder(inside);
          continue;
        }
        const bool bankName = matchesTtiPattern(lastPart(inside));
        if (entry.type == ArchiveEntry::Type::Link) {
          symlinks[inside] = entry.linkTarget;
          if (bankName && !again) {
            bankOf[inside] = banks.size();
            banks.push_back({inside, kNone, 0});
          }
          continue;
        }
        if (entry.type != ArchiveEntry::Type::File) {
          if (bankName) passOver(kEntryNotUsed, inside, inside, "not a regular file");
          continue;
        }
        std::size_t data = index;
        std::uint64_t size = entry.sizeKnown ? entry.size : 0;
        if (!entry.hardlink.empty() && entry.size == 0) {
          const auto target = leavesRoot(entry.hardlink) ? seen.end() : seen.find(normalised(entry.hardlink));
          if (target == seen.end() || target->second.index == kNone) {
            if (bankName) {
              passOver(kEntryNotUsed, inside, inside, "a hard link to " + entry.hardlink + ", no file before it in the image");
            }
            continue;
          }
          data = target->second.index;
          size = target->second.size;
        }
        // A hard link to this path shares the same bytes.
        place->second = {data, size};
        if (!bankName) continue;
        if (const auto earlier = bankOf.find(inside); earlier != bankOf.end()) {
          // As unpacking the image leaves it: the last entry of a path is
          // the file.
          banks[earlier->second].dataIndex = data;
          banks[earlier->second].size = size;
          passOver(kEntryNotUsed, inside, inside, "a later entry of the same path takes its place");
          continue;
        }
        bankOf[inside] = banks.size();
        banks.push_back({inside, data, size});
      }
    } catch (const RunError& e) {
      damage = e;
      reader.reset();
    }
    resolveLinks(symlinks, seen, seenFolders, passOver);
  }

  // Banks listed as symbolic links are taken as the files they lead to
  // inside the image, followed through further links, as a walk over the
  // image unpacked takes them; any other is named and dropped.
  template <typename PassOver>
  void resolveLinks(const std::map<std::string, std::string>& symlinks,
                    const Paths& files,
                    const std::set<std::string>& seenFolders, PassOver& passOver) {
    constexpr int kMaxHops = 16;
    std::vector<Listed> kept;
    kept.reserve(banks.size());
    for (Listed& bank : banks) {
      if (bank.dataIndex != kNone) {
        kept.push_back(std::move(bank));
        continue;
      }
      std::string at = bank.inside;
      std::string why;
      for (int hop = 0;; ++hop) {
        const auto link = symlinks.find(at);
        if (link == symlinks.end()) break;
        const std::string target = linkTargetOf(at, link->second);
        if (target.empty()) {
          why = "a link to " + link->second + ", outside the image";
          break;
        }
        if (hop == kMaxHops) {
          why = "a link that leads through more than " + std::to_string(kMaxHops) + " links";
          break;
        }
        at = target;
      }
      if (why.empty()) {
        if (const auto file = files.find(at); file != files.end() && file->second.index != kNone) {
          passOver(kLinkFollowed, bank.inside, bank.inside, shown(at));
          bank.dataIndex = file->second.index;
          bank.size = file->second.size;
          kept.push_back(std::move(bank));
          continue;
        }
        why = seenFolders.count(at) ? "a link to the folder " + at : "a link to " + at + ", not a file in the image";
      }
      passOver(kEntryNotUsed, bank.inside, bank.inside, why);
    }
    banks = std::move(kept);
  }

  std::unique_ptr<ByteSource> sourceOfCache(const std::string& shownPath) const {
    if (cached.memory) return std::make_unique<SharedMemorySource>(cached.memory, shownPath);
    const int fd = ::fcntl(cached.file.descriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) throwErrno(errno, shownPath);
    auto source = std::make_unique<FileSource>(File(fd, shownPath), shownPath, cached.start, cached.size);
    if (!cached.charge) return source;
    return std::make_unique<ChargedSource>(std::move(source), cached.charge);
  }

  // The bytes of entry `dataIndex`, named `shownPath`; called with the
  // mutex held. The reader goes on from where it is when the entry lies
  // ahead.
  std::unique_ptr<ByteSource> openEntry(std::size_t dataIndex, const std::string& shownPath) {
    if (cachedIndex != dataIndex) {
      cachedIndex = kNone;
      cached = EntryBytes();
      if (!reader || !reader->usable() || nextIndex > dataIndex) restart();
      ArchiveEntry entry;
      for (;;) {
        if (!reader->next(entry, &shownPath)) throw RunError(kFileNotFound, shownPath);
        if (nextIndex++ == dataIndex) break;
      }
      if (entry.type != ArchiveEntry::Type::File) throw RunError(kNotRegularFile, shownPath);
      cached = readEntry(*reader, entry, shownPath);
      cachedIndex = dataIndex;
    }
    return sourceOfCache(shownPath);
  }

  // The bank at `inside`, found by its name.
  std::unique_ptr<ByteSource> openNamed(const std::string& inside) {
    const std::string shownPath = shown(inside);
    list();
    for (const Listed& bank : banks) {
      if (bank.inside == inside) return openEntry(bank.dataIndex, shownPath);
    }
    // A bank the listing did not reach is as damaged as the image.
    if (damage) throw *damage;
    throw RunError(kFileNotFound, shownPath);
  }
};

BankRef archiveBankAt(const InsidePath& at) {
  auto state = std::make_shared<ArchiveCatalogue::State>(at.archive);
  const std::string inside = at.inside;
  return BankRef(state->shown(inside), [state, inside](const std::string&) {
    const std::lock_guard<std::mutex> lock(state->mutex);
    return state->openNamed(inside);
  });
}

ArchiveCatalogue::ArchiveCatalogue(std::string archive) : state_(std::make_shared<State>(std::move(archive))) {}

ArchiveCatalogue::~ArchiveCatalogue() = default;

namespace {

// The folder inside the image that `folder` names.
std::string insideOf(const std::string& folder) {
  const auto source = imageSource(folder);
  return source ? source->inside : std::string();
}

// Whether `inside` lies below `root`, and its folders below it are not
// hidden (with `hiddenSkipped`).
bool below(const std::string& inside, const std::string& root, bool hiddenSkipped) {
  std::size_t from = 0;
  if (!root.empty()) {
    if (inside.size() <= root.size() + 1 || inside.compare(0, root.size(), root) != 0 || inside[root.size()] != '/')
      return false;
    from = root.size() + 1;
  }
  if (!hiddenSkipped) return true;
  for (std::size_t at = from; at < inside.size();) {
    const std::size_t slash = inside.find('/', at);
    if (slash == std::string::npos) break;
    if (inside[at] == '.') return false;
    at = slash + 1;
  }
  return true;
}

}  // namespace

std::vector<BankRef> ArchiveCatalogue::banksIn(const std::string& folder, const Unreadable& unreadable) const {
  return banksBelowOrIn(folder, unreadable, false);
}

std::vector<BankRef> ArchiveCatalogue::banksBelow(const std::string& root, const Unreadable& unreadable) const {
  return banksBelowOrIn(root, unreadable, true);
}

std::vector<BankRef> ArchiveCatalogue::banksBelowOrIn(const std::string& folder, const Unreadable& unreadable,
                                                      bool wholeTree) const {
  const std::string root = insideOf(folder);
  std::vector<State::Listed> listed;
  std::vector<State::PassedOver> passedOver;
  std::optional<RunError> damage;
  bool seeks = false;
  {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->list();
    listed = state_->banks;
    passedOver = state_->passedOver;
    damage = state_->damage;
    seeks = state_->seeks;
  }
  if (unreadable) {
    // The entries passed over where the banks are looked for; those whose
    // path leaves the image, by a walk of the whole image.
    for (const State::PassedOver& entry : passedOver) {
      const bool here = entry.inside.empty()
                            ? root.empty() && wholeTree
                            : wholeTree ? below(entry.inside, root, true) : parentOf(entry.inside) == root;
      if (here) unreadable(entry.note);
    }
    if (damage) unreadable(*damage);
  }
  std::vector<BankRef> banks;
  for (const State::Listed& bank : listed) {
    if (wholeTree ? !below(bank.inside, root, true) : parentOf(bank.inside) != root) continue;
    const std::string shown = state_->shown(bank.inside);
    BankRef::Opener apart;
    if (seeks) {
      // A reader of its own, walked from the image's start to the entry:
      // only where passing over the entries before it costs no unpacking.
      apart = [archive = state_->archive, index = bank.dataIndex](const std::string& path) {
        State own(archive);
        return own.openEntry(index, path);
      };
    }
    banks.emplace_back(
        shown,
        [state = state_, index = bank.dataIndex](const std::string& path) {
          const std::lock_guard<std::mutex> lock(state->mutex);
          return state->openEntry(index, path);
        },
        std::move(apart), bank.size);
  }
  return banks;
}

std::string ArchiveCatalogue::rootOf(const std::string& source) const {
  const std::string root = insideOf(source);
  return state_->shown(root.empty() ? root : root + "/");
}

std::vector<std::string> ArchiveCatalogue::foldersIn(const std::string& folder) const {
  const std::string root = insideOf(folder);
  const std::lock_guard<std::mutex> lock(state_->mutex);
  state_->list();
  std::vector<std::string> names;
  for (const std::string& f : state_->folders) {
    if (parentOf(f) == root) names.push_back(lastPart(f));
  }
  return names;
}

}  // namespace vantrel
