#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace farm {

// Largest request datagram, and largest request text with the sender's host
// appended, terminating NUL included.
inline constexpr size_t kMaxRequestBytes = 1024;

// Splits at every ";"; a run of separators counts as one, so no field is
// empty.
std::vector<std::string> SplitRequestFields(std::string_view text);

// The fields of one request datagram from `host`: the text up to the first
// NUL, with ";" + host appended, split as above. The first field is the
// command. Nothing when the datagram is malformed: longer than
// kMaxRequestBytes, without a NUL, or too long once the host is appended.
std::optional<std::vector<std::string>> ParseRequest(std::string_view datagram, std::string_view host);

}  // namespace farm
