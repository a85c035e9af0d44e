// boss.ini and Farmer.ini as an engine or a node may find them: any bytes.
// An accepted record encodes back to the bytes it was read from.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "idl/ConfigRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string reference = "unchanged";
  if (farm::DecodeBossRecord(bytes, &reference)) {
    if (reference.size() >= static_cast<size_t>(farm::kBossReferenceLimit)) std::abort();
    if (farm::EncodeBossRecord(reference) != bytes.substr(0, 4 + reference.size())) std::abort();
  } else if (reference != "unchanged") {
    std::abort();
  }
  farm::FarmerRecord band{7, 8, 9};
  if (farm::DecodeFarmerRecord(bytes, &band)) {
    if (farm::EncodeFarmerRecord(band) != bytes.substr(0, farm::kFarmerRecordSize)) std::abort();
  } else if (band.firstRow != 7 || band.lastRow != 8 || band.height != 9) {
    std::abort();
  }
  return 0;
}
