#include "idl/PackageDigest.h"

#include <openssl/evp.h>
#include <unzip.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace farm {

namespace {

constexpr std::size_t kPiece = 1 << 16;
constexpr char kOfferPrefix[] = "Render-";
constexpr char kOfferSuffix[] = ".zip";
constexpr std::size_t kDigestChars = 64;

struct Entry {
  std::string name;  // separators as "/"
  unz64_file_pos position{};
  std::uint64_t size = 0;  // as declared
};

std::string Hex(const unsigned char* bytes, unsigned length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// Hashes one entry: its declared unpacked size, then its bytes, which must
// come to that size; counted against *budget.
bool HashEntry(unzFile zip, std::uint64_t declared, EVP_MD_CTX* context, std::uint64_t* budget, std::string* error) {
  if (declared > *budget) {
    *error = "the package unpacks to more than its limit";
    return false;
  }
  if (unzOpenCurrentFile(zip) != UNZ_OK) {
    *error = "an entry of the package cannot be opened";
    return false;
  }
  unsigned char length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<unsigned char>(declared >> (8 * i));
  EVP_DigestUpdate(context, length, sizeof length);
  std::vector<char> piece(kPiece);
  std::uint64_t size = 0;
  int n = 0;
  while ((n = unzReadCurrentFile(zip, piece.data(), static_cast<unsigned>(piece.size()))) > 0) {
    size += static_cast<std::uint64_t>(n);
    if (size > declared) break;
    EVP_DigestUpdate(context, piece.data(), static_cast<std::size_t>(n));
  }
  const bool crcOk = unzCloseCurrentFile(zip) == UNZ_OK;
  if (n < 0 || !crcOk || size != declared) {
    *error = "an entry of the package is damaged";
    return false;
  }
  *budget -= size;
  return true;
}

}  // namespace

std::optional<std::string> PackageDigestOf(const std::filesystem::path& path, std::string* error,
                                           std::uint64_t maxBytes) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  std::unique_ptr<void, int (*)(unzFile)> zip(unzOpen64(path.c_str()), unzClose);
  if (!zip) {
    *error = "the package is not a zip archive";
    return std::nullopt;
  }
  std::vector<Entry> entries;
  for (int at = unzGoToFirstFile(zip.get()); at == UNZ_OK; at = unzGoToNextFile(zip.get())) {
    char name[4096];
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    Entry entry{name, {}, info.uncompressed_size};
    std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
    unzGetFilePos64(zip.get(), &entry.position);
    entries.push_back(std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    *error = "no SHA-256 here";
    return std::nullopt;
  }
  std::uint64_t budget = maxBytes;
  for (Entry& entry : entries) {
    EVP_DigestUpdate(context.get(), entry.name.data(), entry.name.size());
    EVP_DigestUpdate(context.get(), "", 1);
    if (unzGoToFilePos64(zip.get(), &entry.position) != UNZ_OK) {
      *error = "an entry of the package cannot be found again";
      return std::nullopt;
    }
    if (!HashEntry(zip.get(), entry.size, context.get(), &budget, error)) return std::nullopt;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  EVP_DigestFinal_ex(context.get(), digest, &length);
  return Hex(digest, length);
}

std::string OfferedPackageName(std::string_view digest) { return kOfferPrefix + std::string(digest) + kOfferSuffix; }

std::optional<std::string> DigestOfOfferedName(std::string_view name) {
  const std::string_view prefix(kOfferPrefix);
  const std::string_view suffix(kOfferSuffix);
  if (name.size() != prefix.size() + kDigestChars + suffix.size()) return std::nullopt;
  if (name.substr(0, prefix.size()) != prefix || name.substr(name.size() - suffix.size()) != suffix) {
    return std::nullopt;
  }
  const std::string_view digest = name.substr(prefix.size(), kDigestChars);
  for (char c : digest) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  return std::string(digest);
}

}  // namespace farm
