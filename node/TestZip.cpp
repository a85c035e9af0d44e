#include "node/TestZip.h"

#include <zip.h>

namespace nodetest {

bool WriteZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries) {
  zipFile zip = zipOpen64(file.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return false;
  bool ok = true;
  for (const ZipEntry& e : entries) {
    zip_fileinfo info{};
    info.tmz_date.tm_year = static_cast<uInt>(e.year);
    info.tmz_date.tm_mon = static_cast<uInt>(e.month - 1);
    info.tmz_date.tm_mday = static_cast<uInt>(e.day);
    info.tmz_date.tm_hour = static_cast<uInt>(e.hour);
    info.tmz_date.tm_min = static_cast<uInt>(e.minute);
    info.tmz_date.tm_sec = static_cast<uInt>(e.second);
    if (zipOpenNewFileInZip(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION) != ZIP_OK) {
      ok = false;
      break;
    }
    if (!e.data.empty() && zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())) != ZIP_OK) {
      ok = false;
    }
    if (zipCloseFileInZip(zip) != ZIP_OK) ok = false;
    if (!ok) break;
  }
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok;
}

}  // namespace nodetest
