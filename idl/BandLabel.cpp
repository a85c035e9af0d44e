#include "idl/BandLabel.h"

#include "idl/WellKnownNames.h"

namespace farm {
namespace {

std::optional<std::int32_t> Refuse(std::string* reason, const char* why) {
  if (reason != nullptr) *reason = why;
  return std::nullopt;
}

}  // namespace

std::string FormatBandLabel(std::int32_t band) { return kBandLabelPrefix + std::to_string(band) + kBandLabelSuffix; }

std::optional<std::int32_t> ParseBandLabel(std::string_view label, std::string* reason) {
  constexpr std::string_view kPrefix = kBandLabelPrefix;
  constexpr std::string_view kSuffix = kBandLabelSuffix;
  if (label.size() <= kPrefix.size() + kSuffix.size()) return Refuse(reason, "too short for a band label");
  if (label.substr(0, kPrefix.size()) != kPrefix) return Refuse(reason, "does not begin with Render");
  if (label.substr(label.size() - kSuffix.size()) != kSuffix) return Refuse(reason, "does not end with .zip");
  const std::string_view digits = label.substr(kPrefix.size(), label.size() - kPrefix.size() - kSuffix.size());
  // Nine digits keep the value inside 32 bits.
  if (digits.size() > 9) return Refuse(reason, "band number too long");
  std::int32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return Refuse(reason, "band number is not decimal digits");
    value = value * 10 + (c - '0');
  }
  if (value < 1) return Refuse(reason, "band number below 1");
  return value;
}

}  // namespace farm
