// SPDX-License-Identifier: MIT
#include "tti/bank_source.h"

#include <sys/stat.h>

#include "platform/file.h"
#include "platform/folders.h"
#include "tti/archive_banks.h"

namespace vantrel {

std::unique_ptr<ByteSource> BankRef::open() const {
  if (opener_) return opener_(path_);
  return std::make_unique<FileSource>(path_);
}

std::unique_ptr<ByteSource> BankRef::openApart() const {
  if (apart_) return apart_(path_);
  return open();
}

std::uint64_t BankRef::size() const {
  if (size_ != 0 || opener_) return size_;
  struct stat st {};
  return ::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
}

BankRef BankCatalogue::bankAt(const std::string& path) const {
  if (auto inside = splitInsidePath(path)) return archiveBankAt(*inside);
  return BankRef::file(path);
}

std::string BankCatalogue::rootOf(const std::string& source) const { return withSeparator(source); }

std::vector<std::string> BankCatalogue::foldersIn(const std::string&) const { return {}; }

namespace {

UnreadableFolder tellUnreadable(const BankCatalogue::Unreadable& unreadable) {
  if (!unreadable) return {};
  // The folder as the user would name it: no separator at its end.
  return [&unreadable](std::string folder, int err) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    unreadable(errnoError(err, folder));
  };
}

class FileSystemBanks final : public BankCatalogue {
 public:
  std::vector<BankRef> banksIn(const std::string& folder, const Unreadable& unreadable) const override {
    std::vector<BankRef> banks;
    for (std::string& name : listTtiFiles(folder, tellUnreadable(unreadable))) {
      banks.push_back(BankRef::file(joinPath(folder, name)));
    }
    return banks;
  }
  std::vector<BankRef> banksBelow(const std::string& root, const Unreadable& unreadable) const override {
    std::vector<std::string> paths;
    listTtiFilesBelow(root, paths, tellUnreadable(unreadable));
    std::vector<BankRef> banks;
    banks.reserve(paths.size());
    for (std::string& path : paths) banks.push_back(BankRef::file(std::move(path)));
    return banks;
  }
};

}  // namespace

const BankCatalogue& fileSystemBanks() {
  static const FileSystemBanks banks;
  return banks;
}

std::shared_ptr<const BankCatalogue> catalogueFor(const std::string& source) {
  if (auto image = imageSource(source)) return std::make_shared<ArchiveCatalogue>(image->archive);
  return std::shared_ptr<const BankCatalogue>(&fileSystemBanks(), [](const BankCatalogue*) {});
}

}  // namespace vantrel
