#include "idl/NodeState.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace farm {

std::string EncodeBandProgress(std::int32_t done, std::int32_t asked) {
  return "rows " + std::to_string(done) + " " + std::to_string(asked) + "\n";
}

namespace {

bool TakeNumber(std::string_view& text, std::int32_t* out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  if (ec != std::errc() || end == text.data()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return true;
}

// Reads CDR data of one encapsulation; alignment counts from its start.
class CdrReader {
 public:
  explicit CdrReader(std::vector<std::uint8_t> data) : data_(std::move(data)) {
    if (!data_.empty()) little_ = (data_[0] & 1) != 0;
    pos_ = 1;
  }
  bool ULong(std::uint32_t* v) { return Number(4, v); }
  bool UShort(std::uint32_t* v) { return Number(2, v); }
  bool Octet(std::uint8_t* v) {
    if (pos_ >= data_.size()) return false;
    *v = data_[pos_++];
    return true;
  }
  bool Bytes(std::uint32_t n, std::vector<std::uint8_t>* out) {
    if (data_.size() - pos_ < n) return false;
    out->assign(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                data_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
    pos_ += n;
    return true;
  }
  bool String(std::string* out) {
    std::uint32_t n = 0;
    std::vector<std::uint8_t> bytes;
    if (!ULong(&n) || n == 0 || !Bytes(n, &bytes)) return false;
    out->assign(bytes.begin(), bytes.end() - 1);  // without its NUL
    return true;
  }

 private:
  bool Number(std::size_t size, std::uint32_t* v) {
    pos_ = (pos_ + size - 1) / size * size;
    if (pos_ > data_.size() || data_.size() - pos_ < size) return false;
    *v = 0;
    for (std::size_t i = 0; i < size; ++i) {
      const std::uint32_t b = data_[pos_ + (little_ ? size - 1 - i : i)];
      *v = (*v << 8) | b;
    }
    pos_ += size;
    return true;
  }

  std::vector<std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool little_ = false;
};

}  // namespace

bool DecodeBandProgress(std::string_view text, std::int32_t* done, std::int32_t* asked) {
  constexpr std::string_view kWord = "rows ";
  if (text.substr(0, kWord.size()) != kWord) return false;
  text.remove_prefix(kWord.size());
  std::int32_t d = 0, a = 0;
  if (!TakeNumber(text, &d) || text.empty() || text.front() != ' ') return false;
  text.remove_prefix(1);
  if (!TakeNumber(text, &a) || text != "\n" || d < 0 || d > a) return false;
  *done = d;
  *asked = a;
  return true;
}

std::optional<std::string> HostOfReference(std::string_view ior) {
  constexpr std::string_view kPrefix = "IOR:";
  if (ior.substr(0, kPrefix.size()) != kPrefix || ior.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = kPrefix.size(); i + 1 < ior.size(); i += 2) {
    std::uint8_t b = 0;
    const auto [end, ec] = std::from_chars(ior.data() + i, ior.data() + i + 2, b, 16);
    if (ec != std::errc() || end != ior.data() + i + 2) return std::nullopt;
    bytes.push_back(b);
  }
  CdrReader ref(std::move(bytes));
  std::string typeId;
  std::uint32_t profiles = 0;
  if (!ref.String(&typeId) || !ref.ULong(&profiles)) return std::nullopt;
  for (std::uint32_t p = 0; p < profiles; ++p) {
    std::uint32_t tag = 0, length = 0;
    std::vector<std::uint8_t> body;
    if (!ref.ULong(&tag) || !ref.ULong(&length) || !ref.Bytes(length, &body)) return std::nullopt;
    if (tag != 0) continue;  // TAG_INTERNET_IOP
    CdrReader profile(std::move(body));
    std::uint8_t major = 0, minor = 0;
    std::string host;
    if (!profile.Octet(&major) || !profile.Octet(&minor) || !profile.String(&host)) return std::nullopt;
    return host;
  }
  return std::nullopt;
}

}  // namespace farm
