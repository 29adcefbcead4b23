// SPDX-License-Identifier: MIT
#include "tti/bank_source.h"

#include "platform/file.h"
#include "platform/folders.h"

namespace vantrel {

std::unique_ptr<ByteSource> BankRef::open() const {
  if (opener_) return opener_(path_);
  return std::make_unique<FileSource>(path_);
}

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

}  // namespace vantrel
