// SPDX-License-Identifier: MIT
#pragma once
// Where banks come from: a bank reference names one bank as the user sees
// it and opens its bytes; a catalogue lists the banks of a folder or below
// a root. Jobs, listings and checks open and list banks only through
// these, so a bank that does not lie in a folder of its own is one more
// kind of reference.

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
  BankRef(std::string path, Opener opener) : path_(std::move(path)), opener_(std::move(opener)) {}

  // The path shown to the user and in errors; output names derive from
  // its last component.
  const std::string& path() const noexcept { return path_; }
  bool empty() const noexcept { return path_.empty(); }
  // The bank's bytes from the first; errors as ByteSource's ("File not
  // found", ...), naming path().
  std::unique_ptr<ByteSource> open() const;

 private:
  std::string path_;
  Opener opener_;
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
  // The bank a user names by `path`.
  virtual BankRef bankAt(const std::string& path) const { return BankRef::file(path); }
};

// The banks of the file system, in its own order.
const BankCatalogue& fileSystemBanks();

}  // namespace vantrel
