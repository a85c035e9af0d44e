#pragma once
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryEntry.h"

namespace registry {

// The registry's copy of its table on disk. Integers are 32-bit
// little-endian; a text is its byte count then its bytes, no NUL. Layout:
// entry count, then per entry: reference, uses, reserved text, reserved
// number, name, key. Hosts are not stored.
namespace store_file {

// Longest text field a stored file may hold.
inline constexpr size_t kMaxFieldBytes = 800;

std::string Encode(const std::vector<RegistryEntry>& entries);

// Decodes a whole file. False, with the reason in *error, when the bytes do
// not hold exactly such a list: a field over kMaxFieldBytes, a count that
// does not fit the bytes left, a negative count, or bytes after the last
// entry. *entries is only changed on success.
bool Decode(std::string_view bytes, std::vector<RegistryEntry>* entries, std::string* error);

enum class ReadResult { kMissing, kLoaded, kDamaged };

// Reads and decodes `path`.
ReadResult Read(const std::filesystem::path& path, std::vector<RegistryEntry>* entries, std::string* error);

// Writes `entries` to `path` through a temporary file renamed over it, so a
// crash while writing leaves the previous copy whole.
bool Write(const std::filesystem::path& path, const std::vector<RegistryEntry>& entries);

}  // namespace store_file
}  // namespace registry
