// MrcFile: opening the file, the page count and sizes, and the page table filled on demand.
#include "mrc_file.h"

#include "mrc_page.h"

namespace ctl {

MrcFile::MrcFile(const char *path) {
  pages_.resize(2);
  if (path == nullptr) return;
  stream_ = fopen(path, "rb");
  if (stream_ == nullptr) return;
  io_ = std::make_unique<MrcIo>(stream_);
  if (!io_->HasDocument()) io_.reset();
}

MrcFile::~MrcFile() {
  ReleaseAllPages();
  io_.reset();
  if (stream_ != nullptr) fclose(stream_);
}

int32_t MrcFile::GetPageCount() {
  return io_ ? static_cast<int32_t>(io_->GetPageCount()) : 0;
}

TfxPage *MrcFile::GetPage(int32_t index) {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  if (entry(index) == nullptr) LoadPage(index);
  return entry(index);
}

void MrcFile::LoadPage(int32_t index) {
  if (index < 0 || index >= GetPageCount()) return;
  if (pages_.size() < static_cast<size_t>(index) + 1) pages_.resize(static_cast<size_t>(index) + 1);
  if (io_) pages_[static_cast<size_t>(index)] = BuildPage(index);
}

LongPair MrcFile::GetPageSize(int32_t index) {
  if (!io_ || index < 0) return kUnknownPair;
  const auto page = static_cast<uint32_t>(index);
  const uint32_t layers = io_->GetLayerCount(page);
  if (layers == 1) return io_->GetLayerSize(page, 1);
  if (layers > 1) return io_->GetLayerSize(page, 2);
  return kUnknownPair;
}

std::unique_ptr<TfxPage> MrcFile::BuildPage(int32_t index) {
  return std::make_unique<MrcPage>(this, static_cast<uint32_t>(index));
}

}  // namespace ctl
