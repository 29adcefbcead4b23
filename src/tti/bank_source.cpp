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

class FileSystemBanks final : public BankCatalogue {
 public:
  std::vector<BankRef> banksIn(const std::string& folder) const override {
    std::vector<BankRef> banks;
    for (std::string& name : listTtiFiles(folder)) banks.push_back(BankRef::file(joinPath(folder, name)));
    return banks;
  }
  std::vector<BankRef> banksBelow(const std::string& root) const override {
    std::vector<std::string> paths;
    listTtiFilesBelow(root, paths);
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
