#include "idl/RegistryDatagram.h"

#include "idl/WellKnownNames.h"

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

std::optional<RegistryRequest> ParseRegistryRequest(std::string_view datagram, std::string_view host,
                                                    std::string* reason) {
  auto refuse = [reason](std::string why) -> std::optional<RegistryRequest> {
    if (reason != nullptr) *reason = std::move(why);
    return std::nullopt;
  };
  const auto fields = ParseRequest(datagram, host);
  if (!fields) return refuse("malformed datagram");
  if (fields->empty()) return refuse("no fields");
  const std::string& command = (*fields)[0];
  RegistryRequest request;
  request.host = fields->back();
  if (command == kRegistryPut) {
    if (fields->size() < 5) return refuse("PUT needs name, reference and key");
    request.command = RegistryRequest::Command::kPut;
    request.name = (*fields)[1];
    request.reference = (*fields)[2];
    request.key = (*fields)[3];
    return request;
  }
  if (fields->size() < 2) return refuse(command + " without a field");
  if (command == kRegistryGet) {
    request.command = RegistryRequest::Command::kGet;
    request.name = (*fields)[1];
  } else if (command == kRegistryBadService) {
    request.command = RegistryRequest::Command::kBadService;
    request.reference = (*fields)[1];
  } else if (command == kRegistryStop) {
    request.command = RegistryRequest::Command::kStop;
  } else {
    return refuse("unknown command " + command);
  }
  return request;
}

std::string FormatPutRequest(std::string_view name, std::string_view reference, std::string_view key) {
  std::string text(kRegistryPut);
  text.append(";").append(name).append(";").append(reference).append(";").append(key);
  return text;
}

std::string FormatGetRequest(std::string_view name) { return std::string(kRegistryGet) + ";" + std::string(name); }

std::string FormatBadServiceRequest(std::string_view reference) {
  return std::string(kRegistryBadService) + ";" + std::string(reference);
}

std::string FormatStopRequest() { return kRegistryStop; }

std::string FormatGetAnswer(const std::optional<std::string>& reference) {
  return reference ? *reference : std::string(kRegistryNoReference);
}

std::optional<std::string> ParseGetAnswer(std::string_view answer) {
  if (answer == kRegistryNoReference) return std::nullopt;
  return std::string(answer);
}

}  // namespace farm
