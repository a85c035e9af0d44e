// An options file or INI text as anyone may write it: any bytes. Whatever
// is accepted, written back as a farm options file, reads back the same, and
// a refused effect never comes through.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "idl/RenderOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  farm::RenderOptions options;
  if (!farm::ApplyIniText(text, "", &options)) return 0;
  for (const auto& [key, value] : options.settings) {
    // Only options the renderer may see; no value breaks a line.
    if (value.find('\n') != std::string::npos || key.find("Command") != std::string::npos || key == "Output_Alpha" ||
        key.find("_File") != std::string::npos) {
      std::abort();
    }
  }
  options.outputFile.clear();
  if (options.inputFile.find('\n') != std::string::npos) std::abort();
  const platform::StatusOr<farm::RenderOptions> again = farm::ParseFarmOptions(farm::FormatFarmOptions(options));
  if (again && again->settings != options.settings) std::abort();
  return 0;
}
