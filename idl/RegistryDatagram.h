#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The name registry's UDP datagrams. A request is text up to a NUL: fields
// separated by ";", the first the command (the kRegistry... words of
// idl/WellKnownNames.h). The registry appends ";" and the sender's host
// before splitting. The answer is text without its NUL: the reference
// looked up or kRegistryNoReference for a look-up, the key of the latest
// registration for every other command the registry answers.
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

// Plain data: copy it freely, from any thread.
struct RegistryRequest {
  enum class Command { kPut, kGet, kBadService, kStop };
  Command command = Command::kGet;
  std::string name;       // kPut, kGet
  std::string reference;  // kPut, kBadService
  std::string key;        // kPut
  std::string host;       // the last field: the sender's host as appended

  bool operator==(const RegistryRequest& o) const {
    return command == o.command && name == o.name && reference == o.reference && key == o.key && host == o.host;
  }
};

// Reads the fields ParseRequest makes. A PUT takes fields 1..3 (fields
// between the key and the host are ignored); every other command takes
// field 1, so a look-up without a name looks up the host. Nothing, with the
// reason in *reason when not null, for a malformed datagram, an unknown
// command, a PUT of fewer than five fields or any other of fewer than two.
std::optional<RegistryRequest> ParseRegistryRequest(std::string_view datagram, std::string_view host,
                                                    std::string* reason = nullptr);

// Request texts, without the NUL the sender appends. Fields holding ";"
// would not come back as they went; callers refuse such names.
std::string FormatPutRequest(std::string_view name, std::string_view reference, std::string_view key);
std::string FormatGetRequest(std::string_view name);
std::string FormatBadServiceRequest(std::string_view reference);
std::string FormatStopRequest();

// The answer to a look-up: the reference, or kRegistryNoReference when the
// name has no registration.
std::string FormatGetAnswer(const std::optional<std::string>& reference);
std::optional<std::string> ParseGetAnswer(std::string_view answer);

}  // namespace farm
