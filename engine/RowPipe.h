#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

// Finished rows travel from the renderer's process to the engine through a
// pipe, one record per row in host byte order: row number (1 at the top),
// pixel count, then that many COLORREF values (red in the low byte).
// A record for row 0 with no pixels says the renderer has written and closed
// its picture file: the exact rows can be read from it at once, although
// the renderer may take a while yet to end.
constexpr std::int32_t kPictureWrittenRow = 0;

// Writes one record whole to `fd`, retrying short writes. False when the
// pipe is gone.
bool WriteRowRecord(int fd, std::int32_t row, const std::uint32_t* colorref, std::int32_t count);

// Splits a byte stream into records; bytes may arrive cut anywhere. One
// thread at a time.
class RowRecordReader {
 public:
  // Widest row accepted; a larger count marks the stream as broken.
  explicit RowRecordReader(std::int32_t maxPixels) : maxPixels_(maxPixels) {}

  void Feed(const char* data, std::size_t size);

  // The next whole record, if one has arrived.
  bool Next(std::int32_t* row, std::vector<std::int32_t>* pixels);

  // True after a record header that no row can have.
  bool broken() const { return broken_; }
  // Bytes held that do not yet make a record.
  std::size_t pending() const { return buffer_.size() - offset_; }

 private:
  std::int32_t maxPixels_;
  std::vector<char> buffer_;
  std::size_t offset_ = 0;
  bool broken_ = false;
};

}  // namespace engine
