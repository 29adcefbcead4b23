// SPDX-License-Identifier: MIT
#pragma once
// Banks inside ISO 9660 images and zip, 7z and tar archives (plain, gzip,
// bzip2, xz), read through the bank seam without mounting or unpacking
// anything. A bank inside one is named "IMAGE//path/inside/BANK.TTI": the
// image's path, two separators, the bank's path below the image's root.
//
// A bank is read from the image once per conversion: into memory up to
// kInMemoryLimit bytes. A larger one stored as it is (in an ISO 9660
// image, a plain tar archive, a stored zip entry) is then read where it
// lies in the image, and any other into an unnamed temporary file in
// $TMPDIR (or /tmp), so that an image of many gigabytes needs no more
// memory than its largest small bank. A catalogue keeps one reader open and moves forward
// through the image: banks opened in the image's order (the order its
// catalogue lists them) read the image once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tti/bank_source.h"

namespace vantrel {

// Between an image's path and a path inside it.
inline constexpr std::string_view kInsideSeparator = "//";
// Banks up to this size are read into memory; larger ones where they lie
// or into a temporary file.
inline constexpr std::uint64_t kInMemoryLimit = 8 << 20;

// Banks larger than that which are compressed go into temporary files, but
// only once their first bytes show they can be banks (the same walks that
// read a bank refuse them from those bytes as from the whole), and only
// while the process's temporary files of banks hold no more than the spill
// limit: beyond it, and on a full file system, the bank fails with "Disk
// full" naming the folder. The default allows one bank of the largest
// size a bank's sample offsets reach (4 GiB of sample data) and its
// directory.
inline constexpr std::uint64_t kDefaultSpillLimit = (4ull << 30) + (64ull << 20);
void setSpillLimit(std::uint64_t bytes) noexcept;

// Whether `name` is named as an image or archive that is read: ".iso",
// ".zip", ".7z", ".tar", ".tar.gz", ".tgz", ".tar.bz2", ".tbz2", ".tbz",
// ".tar.xz", ".txz", in any letter case.
bool isImageName(std::string_view name);

struct InsidePath {
  std::string archive;  // the image's path
  std::string inside;   // below its root, no separator at either end; "" for the root
};

// "IMAGE//inside": split at the first "//" whose part before is named as
// an image (isImageName) and is no folder. Nothing for any other path.
std::optional<InsidePath> splitInsidePath(const std::string& path);
// The image, or the folder inside one, that `source` names: "IMAGE",
// "IMAGE/", "IMAGE//", "IMAGE//folder". Nothing for a folder of the file
// system.
std::optional<InsidePath> imageSource(const std::string& source);

// The bank `at` names, read when opened: the image is walked to the entry
// of that name. An entry that is not there is "File not found".
BankRef archiveBankAt(const InsidePath& at);

// The banks of one image. Its entries are listed once, at the first
// listing, walking their headers; banks, folders and the order come from
// that walk. Regular files, hard links to them and symbolic links that
// lead to them inside the image are banks when named "*.tti" (any case);
// of entries of one path, the last is the bank. `unreadable` is told of
// every entry passed over (kLeavesImage: a path with ".." in it;
// kEntryNotUsed: a bank's name on a link that leads nowhere inside the
// image, on a device, on an entry a later one replaces) and of every link
// followed (kLinkFollowed), each once. An image that cannot be read whole
// (or whose listing passes its bounds: 250,000 entries, 64 MiB of names,
// a thousand repeated paths) lists the banks before the damage and tells
// `unreadable` why.
class ArchiveCatalogue final : public BankCatalogue {
 public:
  explicit ArchiveCatalogue(std::string archive);
  ~ArchiveCatalogue() override;

  // `folder` is "IMAGE", "IMAGE//" or "IMAGE//folder/inside"; banks in the
  // image's order.
  std::vector<BankRef> banksIn(const std::string& folder, const Unreadable& unreadable = {}) const override;
  // Every bank below `root` in the image's order, hidden folders skipped.
  std::vector<BankRef> banksBelow(const std::string& root, const Unreadable& unreadable = {}) const override;
  // "IMAGE//" or "IMAGE//folder/".
  std::string rootOf(const std::string& source) const override;
  bool isImage() const override { return true; }
  std::vector<std::string> foldersIn(const std::string& folder) const override;

  struct State;

 private:
  std::vector<BankRef> banksBelowOrIn(const std::string& folder, const Unreadable& unreadable, bool wholeTree) const;

  std::shared_ptr<State> state_;
};

}  // namespace vantrel
