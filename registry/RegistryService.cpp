#include "registry/RegistryService.h"

#include <system_error>

#include "registry/RegistryRequest.h"
#include "registry/StoreFile.h"

namespace farm {

RegistryService::RegistryService(std::filesystem::path storeFile, Hooks hooks)
    : storeFile_(std::move(storeFile)), hooks_(std::move(hooks)) {}

void RegistryService::Log(const std::string& line) const {
  if (hooks_.log) hooks_.log(line);
}

void RegistryService::LoadStore() {
  std::vector<RegistryEntry> entries;
  std::string error;
  switch (store_file::Read(storeFile_, &entries, &error)) {
    case store_file::ReadResult::kMissing:
      break;
    case store_file::ReadResult::kLoaded:
      table_.Assign(std::move(entries));
      break;
    case store_file::ReadResult::kDamaged:
      table_.Assign({});
      Log("备份文件损坏,已忽略:" + storeFile_.string() + " (" + error + ")");
      break;
  }
}

void RegistryService::DeleteStore() {
  std::error_code ec;
  std::filesystem::remove(storeFile_, ec);
}

std::optional<std::string> RegistryService::Handle(std::string_view datagram, std::string_view host) {
  auto parsed = ParseRequest(datagram, host);
  if (!parsed || parsed->empty()) return std::nullopt;
  const std::vector<std::string>& fields = *parsed;
  const std::string& command = fields[0];
  if (command == "PUT") {
    // name, reference, key, then the appended host.
    if (fields.size() < 5) return std::nullopt;
    // A field the store file could not hold back would make the whole copy
    // unreadable after a crash; such a registration is refused unanswered.
    for (size_t i = 1; i <= 3; ++i) {
      if (fields[i].size() > store_file::kMaxFieldBytes) return std::nullopt;
    }
    return Put(fields);
  }
  // Every other command reads its second field; with the host appended it
  // is always there unless the host itself was empty.
  if (fields.size() < 2) return std::nullopt;
  if (command == "Get") return Get(fields[1]);
  if (command == "BADSERVICE") {
    RemoveReference(fields[1]);
    return registrationAnswer_;
  }
  if (command == "STOP") {
    stopped_ = true;
    return registrationAnswer_;
  }
  return std::nullopt;
}

std::string RegistryService::Put(const std::vector<std::string>& fields) {
  RegistryEntry entry;
  entry.name = fields[1];
  entry.reference = fields[2];
  entry.key = fields[3];
  entry.host = fields.back();
  Log("来自" + entry.host + "注册服务:" + entry.name);
  registrationAnswer_ = entry.key;
  if (table_.Put(std::move(entry))) {
    if (!store_file::Write(storeFile_, table_.entries())) {
      Log("备份文件写入失败:" + storeFile_.string());
    }
  }
  return registrationAnswer_;
}

std::string RegistryService::Get(const std::string& name) {
  auto choice = table_.Resolve(name);
  if (!choice) return "noneior";
  for (int i = 0; i < choice->sameReference; ++i) {
    if (hooks_.sameReference) hooks_.sameReference();
  }
  Log("来自" + choice->entry.host + "解析服务:" + choice->entry.name);
  return choice->entry.reference;
}

void RegistryService::RemoveReference(const std::string& reference) {
  for (const auto& e : table_.RemoveReference(reference)) {
    Log("来自" + e.host + "卸载服务:" + e.name);
  }
}

}  // namespace farm
