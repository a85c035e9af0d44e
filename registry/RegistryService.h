#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "idl/RegistryDatagram.h"
#include "registry/AllowList.h"
#include "registry/RegistryTable.h"

namespace registry {

// The name registry's request handling, without sockets: one request in,
// at most one answer out. Keeps the table, the answer texts, the stop flag
// and the store file. One thread at a time.
class RegistryService {
 public:
  struct Hooks {
    // Receives every log line ("来自...注册服务:..." and the like).
    std::function<void(const std::string&)> log;
    // Told when a look-up chose a candidate holding the same reference as
    // the first candidate. Must not block the caller.
    std::function<void()> sameReference;
  };

  RegistryService(std::filesystem::path storeFile, Hooks hooks);

  // Loads the store file when there is one. A damaged file is left alone
  // and logged; the table then starts empty.
  void LoadStore();

  // Takes changes (PUT, BADSERVICE, STOP) only from senders in `allow`;
  // look-ups stay open to all. Without a list every sender may change.
  void SetAllowList(AllowList allow) { allow_ = std::move(allow); }

  // Handles one datagram received from `host` (whose IPv4 address, host byte
  // order, is `address` when known). Answers the text to send back (without
  // its NUL), or nothing when the request gets no answer: unknown commands,
  // malformed requests, and changes from a sender the allow list does not
  // hold (logged), which change nothing.
  std::optional<std::string> Handle(std::string_view datagram, std::string_view host,
                                    std::optional<std::uint32_t> address = std::nullopt);

  // True once a STOP was handled.
  bool stopped() const { return stopped_; }

  // Deletes the store file (orderly end of the service).
  void DeleteStore();

  const RegistryTable& table() const { return table_; }
  const std::filesystem::path& storeFile() const { return storeFile_; }

 private:
  std::string Put(const farm::RegistryRequest& request);
  std::string Get(const std::string& name);
  void RemoveReference(const std::string& reference);
  void Log(const std::string& line) const;

  std::filesystem::path storeFile_;
  Hooks hooks_;
  RegistryTable table_;
  std::optional<AllowList> allow_;
  std::string registrationAnswer_;
  bool stopped_ = false;
};

}  // namespace registry
