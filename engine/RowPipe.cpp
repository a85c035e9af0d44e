#include "engine/RowPipe.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace engine {
namespace {

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteRowRecord(int fd, std::int32_t row, const std::uint32_t* colorref, std::int32_t count) {
  // One write per record where the pipe takes it whole, so records of
  // rows written from two threads cannot interleave below PIPE_BUF.
  std::vector<char> record(8 + static_cast<std::size_t>(count) * 4);
  std::memcpy(record.data(), &row, 4);
  std::memcpy(record.data() + 4, &count, 4);
  if (count > 0) std::memcpy(record.data() + 8, colorref, static_cast<std::size_t>(count) * 4);
  return WriteAll(fd, record.data(), record.size());
}

void RowRecordReader::Feed(const char* data, std::size_t size) {
  if (offset_ > 0 && offset_ == buffer_.size()) {
    buffer_.clear();
    offset_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

bool RowRecordReader::Next(std::int32_t* row, std::vector<std::int32_t>* pixels) {
  if (broken_ || pending() < 8) return false;
  std::int32_t count = 0;
  std::memcpy(row, buffer_.data() + offset_, 4);
  std::memcpy(&count, buffer_.data() + offset_ + 4, 4);
  if (count < 0 || count > maxPixels_) {
    broken_ = true;
    return false;
  }
  const std::size_t bytes = 8 + static_cast<std::size_t>(count) * 4;
  if (pending() < bytes) return false;
  pixels->resize(static_cast<std::size_t>(count));
  if (count > 0) std::memcpy(pixels->data(), buffer_.data() + offset_ + 8, static_cast<std::size_t>(count) * 4);
  offset_ += bytes;
  // Keep the buffer from growing with the band.
  if (offset_ > (1u << 20)) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(offset_));
    offset_ = 0;
  }
  return true;
}

}  // namespace engine
