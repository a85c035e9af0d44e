#include "registry/StoreFile.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <system_error>

namespace registry {
namespace store_file {
namespace {

void PutInt(std::string* out, std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((u >> (8 * i)) & 0xff));
}

void PutText(std::string* out, const std::string& text) {
  PutInt(out, static_cast<std::int32_t>(text.size()));
  out->append(text);
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  size_t left() const { return bytes_.size() - pos_; }

  bool Int(std::int32_t* v) {
    if (left() < 4) return false;
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
      u |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[pos_ + i])) << (8 * i);
    pos_ += 4;
    *v = static_cast<std::int32_t>(u);
    return true;
  }

  // A counted text of at most kMaxFieldBytes.
  bool Text(std::string* out, std::string* error, const char* what) {
    std::int32_t n;
    if (!Int(&n)) return Fail(error, std::string("file ends in the length of ") + what);
    if (n < 0 || static_cast<size_t>(n) > kMaxFieldBytes) {
      return Fail(error, std::string(what) + " length " + std::to_string(n) + " out of range");
    }
    if (static_cast<size_t>(n) > left()) return Fail(error, std::string("file ends inside ") + what);
    out->assign(bytes_.substr(pos_, static_cast<size_t>(n)));
    pos_ += static_cast<size_t>(n);
    return true;
  }

  static bool Fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

// Smallest stored entry: four empty texts and two integers.
constexpr size_t kMinEntryBytes = 6 * 4;

}  // namespace

std::string Encode(const std::vector<RegistryEntry>& entries) {
  std::string out;
  PutInt(&out, static_cast<std::int32_t>(entries.size()));
  for (const auto& e : entries) {
    PutText(&out, e.reference);
    PutInt(&out, e.uses);
    PutText(&out, e.reservedText);
    PutInt(&out, e.reservedNumber);
    PutText(&out, e.name);
    PutText(&out, e.key);
  }
  return out;
}

bool Decode(std::string_view bytes, std::vector<RegistryEntry>* entries, std::string* error) {
  if (error) error->clear();
  Reader in(bytes);
  std::int32_t count;
  if (!in.Int(&count)) return Reader::Fail(error, "file too short for the entry count");
  if (count < 0 || static_cast<size_t>(count) > in.left() / kMinEntryBytes) {
    return Reader::Fail(error, "entry count " + std::to_string(count) + " does not fit the file");
  }
  std::vector<RegistryEntry> out(static_cast<size_t>(count));
  for (auto& e : out) {
    if (!in.Text(&e.reference, error, "reference") || !in.Int(&e.uses) ||
        !in.Text(&e.reservedText, error, "reserved text") || !in.Int(&e.reservedNumber) ||
        !in.Text(&e.name, error, "name") || !in.Text(&e.key, error, "key")) {
      if (error && error->empty()) *error = "file ends inside an entry";
      return false;
    }
  }
  if (in.left() != 0) return Reader::Fail(error, std::to_string(in.left()) + " bytes after the last entry");
  *entries = std::move(out);
  return true;
}

ReadResult Read(const std::filesystem::path& path, std::vector<RegistryEntry>* entries, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return ReadResult::kMissing;
    if (error) *error = "cannot open the file";
    return ReadResult::kDamaged;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return Decode(bytes.str(), entries, error) ? ReadResult::kLoaded : ReadResult::kDamaged;
}

bool Write(const std::filesystem::path& path, const std::vector<RegistryEntry>& entries) {
  const std::string bytes = Encode(entries);
  std::filesystem::path temp = path;
  temp += ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace store_file
}  // namespace registry
