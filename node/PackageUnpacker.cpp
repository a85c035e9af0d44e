#include "node/PackageUnpacker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>
#include <vector>

namespace node {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyPiece = 20480;

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

// The entry's stored date is local time; applied as the last-write time,
// leaving the access time alone. Failing to set it does not fail the entry.
void SetModificationTime(const fs::path& file, const tm_unz& date) {
  std::tm t{};
  t.tm_sec = static_cast<int>(date.tm_sec);
  t.tm_min = static_cast<int>(date.tm_min);
  t.tm_hour = static_cast<int>(date.tm_hour);
  t.tm_mday = static_cast<int>(date.tm_mday);
  t.tm_mon = static_cast<int>(date.tm_mon);
  t.tm_year = static_cast<int>(date.tm_year) - 1900;
  t.tm_isdst = -1;
  const std::time_t when = std::mktime(&t);
  if (when == static_cast<std::time_t>(-1)) return;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = when;
  times[1].tv_nsec = 0;
  utimensat(AT_FDCWD, file.c_str(), times, 0);
}

// Whether `path` (made by EntryTarget, so free of ".." parts) lies below
// `folder`.
bool Inside(const fs::path& path, const fs::path& folder) {
  const fs::path rel = path.lexically_relative(folder);
  return !rel.empty() && rel != "." && *rel.begin() != "..";
}

// Bytes an unprivileged writer may still use under `folder`; nothing when
// the file system cannot say.
std::optional<std::uint64_t> FreeBytes(const fs::path& folder) {
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(vfs.f_bavail) * static_cast<std::uint64_t>(vfs.f_frsize);
}

// Walks the central directory and refuses a package over `limits` before a
// byte is written: too many entries, more declared bytes than the limit or
// than the free disk.
bool CheckDeclaredSizes(unzFile zip, const fs::path& package, const fs::path& root, const UnpackLimits& limits,
                        std::uint64_t* total, std::string* error) {
  std::uint64_t entries = 0;
  *total = 0;
  int step = unzGoToFirstFile(zip);
  while (step == UNZ_OK) {
    unz_file_info64 entry{};
    if (unzGetCurrentFileInfo64(zip, &entry, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      SetError(error, package.string() + ": unreadable entry");
      return false;
    }
    if (++entries > limits.maxEntries) {
      SetError(error, package.string() + ": refused, more than " + std::to_string(limits.maxEntries) + " entries");
      return false;
    }
    // Summed with a cap, so a declared size near 2^64 cannot wrap around.
    *total = entry.uncompressed_size > limits.maxBytes - std::min(*total, limits.maxBytes)
                 ? limits.maxBytes + 1
                 : *total + entry.uncompressed_size;
    if (*total > limits.maxBytes) {
      SetError(error, package.string() + ": refused, it unpacks to more than the limit of " +
                          std::to_string(limits.maxBytes) + " bytes");
      return false;
    }
    step = unzGoToNextFile(zip);
  }
  if (step != UNZ_END_OF_LIST_OF_FILE) {
    SetError(error, package.string() + ": damaged directory");
    return false;
  }
  if (limits.checkFreeDisk) {
    const std::optional<std::uint64_t> free = FreeBytes(root);
    if (free && *total > *free) {
      SetError(error, package.string() + ": refused, it unpacks to " + std::to_string(*total) +
                          " bytes, more than the " + std::to_string(*free) + " bytes free in " + root.string());
      return false;
    }
  }
  return true;
}

// Copies the current entry of `zip` into a new file at `target`, at most
// `declared` bytes (the entry's size in the directory): an entry whose data
// inflates to more is damaged, whatever its header claims.
bool ExtractCurrent(unzFile zip, const fs::path& target, std::uint64_t declared, std::string* error) {
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (ec) {
    SetError(error, target.parent_path().string() + ": " + ec.message());
    return false;
  }
  // A fresh file: whatever stood at the name (a file or a link) is replaced,
  // never written through.
  if (fs::is_symlink(target, ec) || fs::is_regular_file(target, ec)) fs::remove(target, ec);
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetError(error, target.string() + ": " + std::strerror(errno));
    return false;
  }
  if (unzOpenCurrentFile(zip) != UNZ_OK) {
    ::close(fd);
    fs::remove(target, ec);
    SetError(error, target.string() + ": cannot open the entry's data");
    return false;
  }
  std::vector<char> piece(kCopyPiece);
  bool ok = true;
  std::uint64_t written = 0;
  for (;;) {
    const int n = unzReadCurrentFile(zip, piece.data(), static_cast<unsigned>(piece.size()));
    if (n < 0) {
      SetError(error, target.string() + ": read error in the package (" + std::to_string(n) + ")");
      ok = false;
      break;
    }
    if (n == 0) break;
    written += static_cast<std::uint64_t>(n);
    if (written > declared) {
      SetError(error, target.string() + ": entry holds more than its declared " + std::to_string(declared) + " bytes");
      ok = false;
      break;
    }
    if (::write(fd, piece.data(), static_cast<std::size_t>(n)) != n) {
      SetError(error, target.string() + ": short write (" + std::strerror(errno) + ")");
      ok = false;
      break;
    }
  }
  // Closing the entry checks its CRC.
  if (unzCloseCurrentFile(zip) != UNZ_OK && ok) {
    SetError(error, target.string() + ": damaged entry");
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    SetError(error, target.string() + ": " + std::strerror(errno));
    ok = false;
  }
  // A cut-off file must not pass for the entry (and gives its space back).
  if (!ok) fs::remove(target, ec);
  return ok;
}

}  // namespace

void CleanWorkFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  // Listed first: a folder is not changed under its own listing.
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  for (const fs::path& entry : entries) {
    std::error_code removeEc;
    fs::remove_all(entry, removeEc);
  }
}

std::optional<fs::path> EntryTarget(const fs::path& root, std::string_view entryName) {
  std::string name(entryName);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.empty() || name.front() == '/') return std::nullopt;
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) return std::nullopt;
  fs::path target = root;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") target /= part;
    start = end + 1;
  }
  if (target == root) return std::nullopt;
  return target;
}

bool UnpackPackage(const fs::path& package, const fs::path& root, std::string* error, const UnpackLimits& limits) {
  std::error_code ec;
  fs::create_directories(root, ec);
  if (ec || !fs::is_directory(root, ec)) {
    SetError(error, root.string() + ": not a folder");
    return false;
  }
  unzFile zip = unzOpen64(package.c_str());
  if (zip == nullptr) {
    SetError(error, package.string() + ": not a zip archive");
    return false;
  }
  bool ok = true;
  unz_global_info64 info{};
  if (unzGetGlobalInfo64(zip, &info) != UNZ_OK || info.number_entry == 0) {
    SetError(error, package.string() + ": no entries");
    ok = false;
  }
  std::uint64_t declared = 0;
  if (ok && !CheckDeclaredSizes(zip, package, root, limits, &declared, error)) ok = false;
  int step = ok ? unzGoToFirstFile(zip) : UNZ_END_OF_LIST_OF_FILE;
  while (ok && step == UNZ_OK) {
    unz_file_info64 entry{};
    char name[4096];
    if (unzGetCurrentFileInfo64(zip, &entry, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK ||
        entry.size_filename >= sizeof name) {
      SetError(error, package.string() + ": unreadable entry");
      ok = false;
      break;
    }
    const std::string_view entryName(name);
    const bool folderEntry = !entryName.empty() && (entryName.back() == '\\' || entryName.back() == '/');
    if (!folderEntry) {
      const std::optional<fs::path> target = EntryTarget(root, entryName);
      if (!target) {
        SetError(error, "refused entry \"" + std::string(entryName) + "\": it leaves the node folder");
        ok = false;
        break;
      }
      if (!limits.confineTo.empty() && !Inside(*target, root / limits.confineTo)) {
        SetError(error, "refused entry \"" + std::string(entryName) + "\": it lies outside " +
                            limits.confineTo.string() + "/");
        ok = false;
        break;
      }
      if (!ExtractCurrent(zip, *target, entry.uncompressed_size, error)) {
        ok = false;
        break;
      }
      SetModificationTime(*target, entry.tmu_date);
    }
    step = unzGoToNextFile(zip);
  }
  if (ok && step != UNZ_END_OF_LIST_OF_FILE) {
    SetError(error, package.string() + ": damaged directory");
    ok = false;
  }
  unzClose(zip);
  return ok;
}

}  // namespace node
