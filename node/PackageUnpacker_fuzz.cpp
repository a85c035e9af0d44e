// Job packages as they may arrive: any bytes, truncated archives, hostile
// entry names, huge declared sizes. Unpacking must never crash, never write
// outside the node folder, and stay within its limits.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "node/PackageUnpacker.h"

namespace {
namespace fs = std::filesystem;

constexpr std::uint64_t kLimit = 1 << 20;

const fs::path& Outer() {
  static const fs::path folder = [] {
    // Beside the run's other scratch files ($TMPDIR).
    std::string pattern = (std::filesystem::temp_directory_path() / "package-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return fs::path(pattern);
  }();
  return folder;
}

std::uint64_t BytesUnder(const fs::path& folder) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) total += it->file_size(ec);
  }
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path package = Outer() / "Render.zip";
  const fs::path node = Outer() / "node";
  {
    std::ofstream out(package, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  node::UnpackLimits limits;
  limits.maxBytes = kLimit;
  limits.maxEntries = 64;
  std::string error;
  const bool ok = node::UnpackPackage(package, node, &error, limits);
  if (!ok && error.empty()) std::abort();
  if (BytesUnder(node) > kLimit) std::abort();
  for (const auto& e : fs::directory_iterator(Outer())) {
    if (e.path() != package && e.path() != node) std::abort();  // something escaped
  }
  fs::remove_all(node);
  return 0;
}
