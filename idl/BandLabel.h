#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The label a node puts in its end message to name the band it rendered:
// "Render<k>.zip" (see kBandLabelPrefix in idl/WellKnownNames.h).
namespace farm {

// Any k, as std::to_string writes it: a node echoes the band number its boss
// sent, even one no boss would accept back.
std::string FormatBandLabel(std::int32_t band);

// The band a label names: k written in decimal digits only (no sign, no
// blanks, at most nine of them) and at least 1. Nothing otherwise, with the
// reason in *reason when reason is not null.
std::optional<std::int32_t> ParseBandLabel(std::string_view label, std::string* reason = nullptr);

}  // namespace farm
