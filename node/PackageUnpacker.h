#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace node {

// Empties a work folder before a job: the folder is created when missing;
// everything in it goes, subfolders and all (an entry that cannot be
// removed is skipped). Leftovers of an earlier job would otherwise stand in
// for files the next package lacks, and reach another user's job. Links are
// removed, never followed.
void CleanWorkFolder(const std::filesystem::path& folder);

// Where a zip entry lands under `root`, or nothing when it must not be
// written: an empty name, an absolute one ("/x", "\\x", "C:x"), or one with a
// ".." part. Entries use "\" or "/" as separators.
std::optional<std::filesystem::path> EntryTarget(const std::filesystem::path& root, std::string_view entryName);

// What one package may unpack to. A package arrives from anyone on the
// network, so its declared sizes are checked against these before anything
// is written, and the bytes actually inflated are counted as well.
//
// Plain data; the functions here touch only their arguments, so any thread.
struct UnpackLimits {
  // Largest total of the entries' unpacked sizes.
  std::uint64_t maxBytes = std::uint64_t{16} << 30;
  // Most entries, folder entries included.
  std::uint64_t maxEntries = 100000;
  // Refuse a package whose entries need more than the free space under root.
  bool checkFreeDisk = true;
  // When not empty, a folder under root that every file entry must land in:
  // a package for the work folder must not replace the programs and records
  // beside it.
  std::filesystem::path confineTo;
};

// Unpacks every entry of the zip archive `package` under `root`, keeping the
// folders named in the entries. Folder entries (names ending in a separator)
// are skipped; missing folders are made; an existing file is replaced; a file
// gets its entry's date as last-write time. Answers false, with a one-line
// reason in *error, when the archive cannot be opened, holds no entries, is
// over `limits` (nothing is written then), or an entry cannot be written (or
// is refused by EntryTarget); unpacking stops at the first entry that fails,
// and that entry's partial file is removed. The archive itself is left in
// place.
bool UnpackPackage(const std::filesystem::path& package, const std::filesystem::path& root, std::string* error,
                   const UnpackLimits& limits = {});

}  // namespace node
