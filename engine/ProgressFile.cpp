#include "engine/ProgressFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "idl/NodeState.h"

namespace engine {

ProgressFile::ProgressFile(std::filesystem::path nodeFolder, std::int32_t firstRow, std::int32_t lastRow,
                           std::chrono::milliseconds interval)
    : file_(nodeFolder / farm::kBandProgressFile),
      first_(firstRow),
      interval_(interval),
      sent_(static_cast<std::size_t>(std::max(0, lastRow - firstRow + 1)), false) {
  Write();
}

void ProgressFile::RowSent(std::int32_t row) {
  const std::int64_t at = static_cast<std::int64_t>(row) - first_;
  if (at < 0 || at >= static_cast<std::int64_t>(sent_.size()) || sent_[static_cast<std::size_t>(at)]) return;
  sent_[static_cast<std::size_t>(at)] = true;
  ++done_;
  if (Clock::now() - lastWrite_ >= interval_) Write();
}

void ProgressFile::Finish() { Write(); }

void ProgressFile::Write() {
  lastWrite_ = Clock::now();
  const std::string text = farm::EncodeBandProgress(done_, static_cast<std::int32_t>(sent_.size()));
  const std::filesystem::path aside = file_.string() + ".new";
  const int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written || std::rename(aside.c_str(), file_.c_str()) != 0) unlink(aside.c_str());
}

}  // namespace engine
