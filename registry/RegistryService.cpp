#include "registry/RegistryService.h"

#include <system_error>

#include "idl/RegistryDatagram.h"
#include "platform/Texts.h"
#include "registry/StoreFile.h"

namespace registry {

RegistryService::RegistryService(std::filesystem::path storeFile, Hooks hooks)
    : storeFile_(std::move(storeFile)), hooks_(std::move(hooks)) {}

void RegistryService::Log(const std::string& line) const {
  if (hooks_.log) hooks_.log(line);
}

void RegistryService::LoadStore() {
  std::vector<RegistryEntry> entries;
  std::string error;
  switch (registry::store_file::Read(storeFile_, &entries, &error)) {
    case registry::store_file::ReadResult::kMissing: break;
    case registry::store_file::ReadResult::kLoaded: table_.Assign(std::move(entries)); break;
    case registry::store_file::ReadResult::kDamaged:
      table_.Assign({});
      Log(platform::Text("备份文件损坏,已忽略:") + storeFile_.string() + " (" + error + ")");
      break;
  }
}

void RegistryService::DeleteStore() {
  std::error_code ec;
  std::filesystem::remove(storeFile_, ec);
}

std::optional<std::string> RegistryService::Handle(std::string_view datagram, std::string_view host,
                                                   std::optional<std::uint32_t> address) {
  const std::optional<farm::RegistryRequest> request = farm::ParseRegistryRequest(datagram, host);
  if (!request) return std::nullopt;
  if (allow_ && request->command != farm::RegistryRequest::Command::kGet && !(address && allow_->Allows(*address))) {
    Log(platform::Text("已忽略来自") + std::string(host) + platform::Text("的更改请求(不在 LEDGO_ALLOW 中)"));
    return std::nullopt;
  }
  switch (request->command) {
    case farm::RegistryRequest::Command::kPut:
      // A field the store file could not hold back would make the whole copy
      // unreadable after a crash; such a registration is refused unanswered.
      for (const std::string* field : {&request->name, &request->reference, &request->key}) {
        if (field->size() > registry::store_file::kMaxFieldBytes) return std::nullopt;
      }
      return Put(*request);
    case farm::RegistryRequest::Command::kGet: return Get(request->name);
    case farm::RegistryRequest::Command::kBadService: RemoveReference(request->reference); return registrationAnswer_;
    case farm::RegistryRequest::Command::kStop: stopped_ = true; return registrationAnswer_;
  }
  return std::nullopt;
}

std::string RegistryService::Put(const farm::RegistryRequest& request) {
  RegistryEntry entry;
  entry.name = request.name;
  entry.reference = request.reference;
  entry.key = request.key;
  entry.host = request.host;
  Log(platform::Text("来自") + entry.host + platform::Text("注册服务:") + entry.name);
  registrationAnswer_ = entry.key;
  if (table_.Put(std::move(entry))) {
    if (!registry::store_file::Write(storeFile_, table_.entries())) {
      Log(platform::Text("备份文件写入失败:") + storeFile_.string());
    }
  }
  return registrationAnswer_;
}

std::string RegistryService::Get(const std::string& name) {
  auto choice = table_.Resolve(name);
  if (!choice) return farm::FormatGetAnswer(std::nullopt);
  for (int i = 0; i < choice->sameReference; ++i) {
    if (hooks_.sameReference) hooks_.sameReference();
  }
  Log(platform::Text("来自") + choice->entry.host + platform::Text("解析服务:") + choice->entry.name);
  return choice->entry.reference;
}

void RegistryService::RemoveReference(const std::string& reference) {
  for (const auto& e : table_.RemoveReference(reference)) {
    Log(platform::Text("来自") + e.host + platform::Text("卸载服务:") + e.name);
  }
}

}  // namespace registry
