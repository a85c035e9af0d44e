#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace farm {

// The identity of a job package by what it unpacks to: SHA-256 over its
// entries sorted by name, each as its name (separators as "/"), a NUL, its
// unpacked size (8 bytes, little-endian) and its bytes. Dates and the
// order of the entries in the archive do not count: the scene maker
// rewrites its files for every job, and a package written again from the
// same files must be known as the same one.
//
// Plain functions over their arguments: any thread.

// Lower-case hex, 64 characters. Answers nothing, with a one-line reason in
// *error, when `zip` cannot be read as an archive, an entry is damaged, or
// the entries unpack to more than `maxBytes` (reading stops there).
std::optional<std::string> PackageDigestOf(const std::filesystem::path& zip, std::string* error,
                                           std::uint64_t maxBytes = std::uint64_t{16} << 30);

// The file name under which a boss offers a package by its digest
// ("Render-<digest>.zip"), and the digest back from such a name (nothing for
// any other name).
std::string OfferedPackageName(std::string_view digest);
std::optional<std::string> DigestOfOfferedName(std::string_view name);

}  // namespace farm
