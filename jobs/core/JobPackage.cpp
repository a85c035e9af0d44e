#include "jobs/core/JobPackage.h"

#include <minizip/zip.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <system_error>

#include "idl/RenderOptions.h"

namespace jobs {

namespace {

constexpr std::size_t kPieceBytes = 2048;
// "Made by" Unix (3), zip version 2.0, so readers take the high 16 bits of the
// external attributes as a file mode.
constexpr uLong kVersionMadeBy = (3u << 8) | 20u;
constexpr uLong kDosFolderBit = 0x10;

zip_fileinfo InfoFor(const std::filesystem::path& item) {
  zip_fileinfo info{};
  struct stat st {};
  std::time_t when = std::time(nullptr);
  uLong external = 0;
  if (::stat(item.c_str(), &st) == 0) {
    when = st.st_mtime;
    external = (static_cast<uLong>(st.st_mode) & 0xFFFFu) << 16;
    if (S_ISDIR(st.st_mode)) external |= kDosFolderBit;
  }
  std::tm local{};
  localtime_r(&when, &local);
  info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
  info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
  info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
  info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
  info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
  info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
  info.dosDate = 0;
  info.internal_fa = 0;
  info.external_fa = external;
  return info;
}

bool OpenEntry(zipFile zip, const std::string& name, const zip_fileinfo& info) {
  return zipOpenNewFileInZip4(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                              kVersionMadeBy, 0) == ZIP_OK;
}

bool AddFolderEntry(zipFile zip, const std::string& name, const std::filesystem::path& folder) {
  if (!OpenEntry(zip, name, InfoFor(folder))) return false;
  return zipCloseFileInZip(zip) == ZIP_OK;
}

bool AddFileEntry(zipFile zip, const std::string& name, const std::filesystem::path& file) {
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (in == nullptr) return true;  // unreadable files are left out
  bool ok = OpenEntry(zip, name, InfoFor(file));
  char piece[kPieceBytes];
  while (ok) {
    const std::size_t got = std::fread(piece, 1, sizeof piece, in);
    if (got > 0 && zipWriteInFileInZip(zip, piece, static_cast<unsigned>(got)) != ZIP_OK) ok = false;
    if (got < sizeof piece) break;
  }
  std::fclose(in);
  if (zipCloseFileInZip(zip) != ZIP_OK) ok = false;
  return ok;
}

// Adds the items of `folder` under the entry prefix `prefix` (ending in '\'),
// leaving POV-Ray's own folders out when `skipStandard`.
bool AddItems(zipFile zip, const std::filesystem::path& folder, const std::string& prefix, bool skipStandard = false) {
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return true;
  for (const std::filesystem::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code typeEc;
    // A linked folder is left out: following it could loop back into the
    // source folder for ever.
    if (entry.is_symlink(typeEc) && entry.is_directory(typeEc)) continue;
    if (entry.is_directory(typeEc)) {
      if (skipStandard && farm::IsStandardFolder(entry.path())) continue;
      const std::string sub = prefix + name + "\\";
      if (!AddFolderEntry(zip, sub, entry.path())) return false;
      if (!AddItems(zip, entry.path(), sub, skipStandard)) return false;
    } else {
      if (!AddFileEntry(zip, prefix + name, entry.path())) return false;
    }
  }
  return true;
}

bool AddTextEntry(zipFile zip, const std::string& name, const std::string& text) {
  zip_fileinfo info = InfoFor(std::filesystem::path());
  info.external_fa = (0100644u & 0xFFFFu) << 16;
  if (!OpenEntry(zip, name, info)) return false;
  bool ok = text.empty() || zipWriteInFileInZip(zip, text.data(), static_cast<unsigned>(text.size())) == ZIP_OK;
  if (zipCloseFileInZip(zip) != ZIP_OK) ok = false;
  return ok;
}

}  // namespace

bool WriteFoldersPackage(const std::string& root, const std::vector<PackedFolder>& folders,
                         const std::vector<PackedFile>& files, const std::filesystem::path& zipPath) {
  zipFile zip = zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return false;
  const std::string prefix = root + "\\";
  bool ok = AddFolderEntry(zip, prefix, std::filesystem::path());
  for (const PackedFolder& folder : folders) {
    if (!ok) break;
    const std::string sub = prefix + folder.name + "\\";
    ok = AddFolderEntry(zip, sub, folder.source) && AddItems(zip, folder.source, sub, true);
  }
  for (const PackedFile& file : files) {
    if (ok) ok = AddTextEntry(zip, prefix + file.name, file.text);
  }
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok;
}

bool WriteJobPackage(const std::filesystem::path& source, const std::filesystem::path& zipPath) {
  zipFile zip = zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return false;
  const std::string root = source.filename().string() + "\\";
  bool ok = AddFolderEntry(zip, root, source) && AddItems(zip, source, root);
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok;
}

}  // namespace jobs
