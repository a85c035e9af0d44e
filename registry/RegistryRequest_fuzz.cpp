// Datagrams from anyone on the network, one input a sequence of them: the
// service must never crash, and the store file it rewrites must always read
// back, whole, as the table that wrote it.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "idl/RegistryDatagram.h"
#include "registry/RegistryService.h"
#include "registry/StoreFile.h"

namespace {

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    // Beside the run's other scratch files ($TMPDIR).
    std::string pattern = (std::filesystem::temp_directory_path() / "registry-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::filesystem::path store = Folder() / "~BS.bak";
  std::error_code ec;
  std::filesystem::remove(store, ec);
  registry::RegistryService service(store, {});
  service.LoadStore();
  static const char* const kHosts[] = {"alpha", "", "beta;gamma", "h\xff"};
  for (int i = 0; i < 16 && in.remaining_bytes() > 0; ++i) {
    const std::string datagram = in.ConsumeRandomLengthString(1200);
    const std::string_view host = kHosts[in.ConsumeIntegralInRange<size_t>(0, 3)];
    farm::ParseRequest(datagram, host);
    service.Handle(datagram, host);
    std::vector<registry::RegistryEntry> stored;
    std::string error;
    if (registry::store_file::Read(store, &stored, &error) == registry::store_file::ReadResult::kDamaged) std::abort();
    if (service.stopped()) break;
  }
  // What was stored comes back in a fresh service.
  registry::RegistryService again(store, {});
  again.LoadStore();
  std::vector<registry::RegistryEntry> stored;
  std::string error;
  if (registry::store_file::Read(store, &stored, &error) == registry::store_file::ReadResult::kLoaded &&
      again.table().entries().size() != stored.size()) {
    std::abort();
  }
  return 0;
}
