#include "node/PackageCache.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "idl/PackageDigest.h"

namespace node {
namespace fs = std::filesystem;

std::uint64_t PackageCache::MaxBytesFromEnvironment() {
  const char* text = std::getenv("LUMORA_PACKAGE_CACHE_MB");
  if (text == nullptr || *text == '\0') return kDefaultMaxBytes;
  char* end = nullptr;
  const unsigned long long megabytes = std::strtoull(text, &end, 10);
  if (*end != '\0' || *text == '-' || megabytes > (std::uint64_t{1} << 40)) return kDefaultMaxBytes;
  return static_cast<std::uint64_t>(megabytes) << 20;
}

PackageCache::PackageCache(fs::path folder, std::uint64_t maxBytes) : folder_(std::move(folder)), maxBytes_(maxBytes) {
  std::error_code ec;
  fs::create_directories(folder_, ec);
}

fs::path PackageCache::PathOf(const std::string& digest) const { return folder_ / (digest + ".zip"); }

bool PackageCache::Has(const std::string& digest) {
  std::lock_guard<std::mutex> lock(mutex_);
  const fs::path path = PathOf(digest);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  // The last-write time marks the last use: the trim keeps the recent ones.
  fs::last_write_time(path, fs::file_time_type::clock::now(), ec);
  return true;
}

bool PackageCache::Admit(const fs::path& received, const std::string& digest, std::uint64_t maxUnpacked,
                         std::string* error) {
  std::error_code ec;
  std::string why;
  const std::optional<std::string> actual = farm::PackageDigestOf(received, &why, maxUnpacked);
  if (!actual || *actual != digest) {
    fs::remove(received, ec);
    if (error != nullptr) *error = actual ? "the package is not the one its name claims" : why;
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const fs::path target = PathOf(digest);
  fs::create_directories(folder_, ec);
  fs::rename(received, target, ec);
  if (ec) {
    fs::remove(received, ec);
    if (error != nullptr) *error = "the package cannot be kept: " + ec.message();
    return false;
  }
  fs::last_write_time(target, fs::file_time_type::clock::now(), ec);
  TrimLocked(target);
  return true;
}

void PackageCache::TrimLocked(const fs::path& keep) {
  struct Held {
    fs::path path;
    fs::file_time_type used;
    std::uint64_t size;
  };
  std::vector<Held> held;
  std::uint64_t total = 0;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder_, ec)) {
    if (!e.is_regular_file(ec)) continue;
    const std::uint64_t size = e.file_size(ec);
    held.push_back({e.path(), e.last_write_time(ec), size});
    total += size;
  }
  std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.used < b.used; });
  for (const Held& h : held) {
    if (total <= maxBytes_) break;
    if (h.path == keep) continue;
    if (fs::remove(h.path, ec)) total -= h.size;
  }
}

}  // namespace node
