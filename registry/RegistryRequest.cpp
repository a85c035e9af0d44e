#include "registry/RegistryRequest.h"

namespace farm {

std::vector<std::string> SplitRequestFields(std::string_view text) {
  std::vector<std::string> fields;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(';', pos);
    if (end == std::string_view::npos) end = text.size();
    if (end > pos) fields.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return fields;
}

std::optional<std::vector<std::string>> ParseRequest(std::string_view datagram, std::string_view host) {
  if (datagram.size() > kMaxRequestBytes) return std::nullopt;
  size_t nul = datagram.find('\0');
  if (nul == std::string_view::npos) return std::nullopt;
  std::string text(datagram.substr(0, nul));
  text += ';';
  text += host;
  if (text.size() + 1 > kMaxRequestBytes) return std::nullopt;
  return SplitRequestFields(text);
}

}  // namespace farm
