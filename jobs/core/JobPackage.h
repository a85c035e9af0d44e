#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace jobs {

// The job package as it travels: read once, sent whole to every farmer.
using PackageBytes = std::shared_ptr<const std::vector<unsigned char>>;

// Writes the job package: a zip archive (minizip, no archive comment) of the
// folder `source`, whose entries are named after the folder's own name with
// backslash separators, e.g. for source ".../Render":
//
//   "Render\"            the folder itself (always present, no data)
//   "Render\a.pov"       every item in the order the file system lists it,
//   "Render\sub\"        skipping names that begin with "."; a subfolder's
//   "Render\sub\b.png"   entry is followed by its own items, recursively
//
// Every entry is deflated at the default level, dated with the item's
// last-write time in local time, and carries the item's mode as Unix
// external attributes (plus the DOS folder bit for folders). A file that
// cannot be opened is left out, and so is a symbolic link to a folder; a
// missing `source` yields the folder entry only. `zipPath` is replaced. Returns false when the archive itself
// cannot be written (a partial file may then remain).
bool WriteJobPackage(const std::filesystem::path& source, const std::filesystem::path& zipPath);

// A folder packed under the package folder as `name`, and a file given by
// its text.
struct PackedFolder {
  std::filesystem::path source;
  std::string name;
};
struct PackedFile {
  std::string name;
  std::string text;
};

// A package made up of several folders: the folder entry `root` + "\",
// then every folder as root\name\ with its items as above (POV-Ray's own
// folders met on the way are left out: IsStandardFolder), then every file.
// Returns false when the archive cannot be written.
bool WriteFoldersPackage(const std::string& root, const std::vector<PackedFolder>& folders,
                         const std::vector<PackedFile>& files, const std::filesystem::path& zipPath);

}  // namespace jobs
