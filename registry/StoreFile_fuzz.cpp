// The store file as found on disk, in any state: a decode that succeeds
// must encode back to exactly the same bytes (nothing dropped, nothing
// invented); one that fails must leave the caller's entries alone.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "registry/StoreFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<registry::RegistryEntry> entries(1);
  entries[0].name = "kept";
  std::string error;
  if (registry::store_file::Decode(bytes, &entries, &error)) {
    if (registry::store_file::Encode(entries) != bytes) std::abort();
  } else if (entries.size() != 1 || entries[0].name != "kept" || error.empty()) {
    std::abort();
  }
  return 0;
}
