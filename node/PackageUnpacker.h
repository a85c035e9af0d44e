#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace node {

// Empties a work folder of files before a job: the folder is created when
// missing; every entry that is not a folder is deleted (one that cannot be
// is skipped); subfolders and what they hold stay.
void CleanWorkFolder(const std::filesystem::path& folder);

// Where a zip entry lands under `root`, or nothing when it must not be
// written: an empty name, an absolute one ("/x", "\\x", "C:x"), or one with a
// ".." part. Entries use "\" or "/" as separators.
std::optional<std::filesystem::path> EntryTarget(const std::filesystem::path& root, std::string_view entryName);

// Unpacks every entry of the zip archive `package` under `root`, keeping the
// folders named in the entries. Folder entries (names ending in a separator)
// are skipped; missing folders are made; an existing file is replaced; a file
// gets its entry's date as last-write time. Answers false, with the reason in
// *error, when the archive cannot be opened, holds no entries, or an entry
// cannot be written (or is refused by EntryTarget); unpacking stops at the
// first entry that fails. The archive itself is left in place.
bool UnpackPackage(const std::filesystem::path& package, const std::filesystem::path& root, std::string* error);

}  // namespace node
