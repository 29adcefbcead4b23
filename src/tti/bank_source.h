// SPDX-License-Identifier: MIT
#pragma once
// Where banks come from: a bank reference names one bank as the user sees
// it and opens its bytes; a catalogue lists the banks of a folder or below
// a root. Jobs, listings and checks open and list banks only through
// these, so a bank that does not lie in a folder of its own is one more
// kind of reference.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "tti/byte_source.h"

namespace vantrel {

class BankRef {
 public:
  using Opener = std::function<std::unique_ptr<ByteSource>(const std::string& path)>;

  BankRef() = default;
  // A bank file at `path`.
  static BankRef file(std::string path) { return BankRef(std::move(path), {}); }
  // A bank whose bytes `opener` gives; `path` is how it is shown and named.
  // `apart`, when given, opens them as openApart does; `size` is the
  // bank's size in bytes when known.
  BankRef(std::string path, Opener opener, Opener apart = {}, std::uint64_t size = 0)
      : path_(std::move(path)), opener_(std::move(opener)), apart_(std::move(apart)), size_(size) {}

  // The path shown to the user and in errors; output names derive from
  // its last component.
  const std::string& path() const noexcept { return path_; }
  bool empty() const noexcept { return path_.empty(); }
  // The bank's bytes from the first; errors as ByteSource's ("File not
  // found", ...), naming path().
  std::unique_ptr<ByteSource> open() const;
  // Whether openApart costs no more than opening the banks in order: not
  // for a bank in an archive compressed as a whole, which would be
  // unpacked again from its start.
  bool opensApart() const noexcept { return !opener_ || apart_; }
  // As open(), but sharing nothing with the other banks of its catalogue
  // (an image's reader moving forward through it): for a bank read out of
  // the catalogue's order on a thread of its own.
  std::unique_ptr<ByteSource> openApart() const;
  // The bank's size in bytes: as its catalogue listed it, else as the file
  // system tells now; 0 when unknown.
  std::uint64_t size() const;

 private:
  std::string path_;
  Opener opener_;
  Opener apart_;
  std::uint64_t size_ = 0;
};

class BankCatalogue {
 public:
  // Told of a folder that cannot be read (the error names it); the
  // listing goes on without it.
  using Unreadable = std::function<void(const RunError& error)>;

  virtual ~BankCatalogue() = default;
  // The banks directly inside `folder` ("*.tti", any letter case), in the
  // catalogue's order; none for a folder that cannot be read.
  virtual std::vector<BankRef> banksIn(const std::string& folder, const Unreadable& unreadable = {}) const = 0;
  // Every bank below `root`: depth-first, a folder's own banks before its
  // subfolders'. Hidden folders are skipped, links to folders not
  // followed, and the walk stays on one volume.
  virtual std::vector<BankRef> banksBelow(const std::string& root, const Unreadable& unreadable = {}) const = 0;
  // The bank a user names by `path`: a file, or a bank inside an image
  // or archive ("IMAGE//path/inside/BANK.TTI", see archive_banks.h).
  virtual BankRef bankAt(const std::string& path) const;
  // `source` (a folder or root given to banksIn and banksBelow) as its
  // banks' paths begin: the folder with a separator at its end.
  virtual std::string rootOf(const std::string& source) const;
  // Whether the catalogue is an image's or archive's: a folder run of it
  // mirrors the tree below the folder as a drive run does, since an image
  // stands for a whole medium.
  virtual bool isImage() const { return false; }
  // The folders directly inside `folder`, by name, in the catalogue's
  // order (the file system's catalogue lists none: its folders are listed
  // where they are shown).
  virtual std::vector<std::string> foldersIn(const std::string& folder) const;
};

// The banks of the file system, in its own order.
const BankCatalogue& fileSystemBanks();

// The catalogue that lists `source`: an image's or archive's own when
// `source` names one or a folder inside one, else the file system's.
std::shared_ptr<const BankCatalogue> catalogueFor(const std::string& source);

}  // namespace vantrel
