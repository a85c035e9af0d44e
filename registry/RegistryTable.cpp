#include "registry/RegistryTable.h"

#include <algorithm>
#include <cstdint>

namespace registry {

bool RegistryTable::Put(RegistryEntry entry) {
  for (const auto& e : entries_) {
    if (e.key == entry.key) return false;
  }
  entries_.push_back(std::move(entry));
  return true;
}

std::optional<RegistryTable::Choice> RegistryTable::Resolve(std::string_view name) {
  std::vector<size_t> candidates;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].name == name) candidates.push_back(i);
  }
  if (candidates.empty()) return std::nullopt;
  const RegistryEntry& first = entries_[candidates[0]];
  size_t chosen = candidates[0];
  int same = 0;
  for (size_t i = 1; i < candidates.size(); ++i) {
    const RegistryEntry& c = entries_[candidates[i]];
    if (c.uses <= first.uses) {
      chosen = candidates[i];
      if (c.reference == first.reference) ++same;
    }
  }
  RegistryEntry& entry = entries_[chosen];
  if (entry.uses < INT32_MAX) ++entry.uses;
  return Choice{entry, same};
}

std::vector<RegistryEntry> RegistryTable::RemoveReference(std::string_view reference) {
  std::vector<RegistryEntry> removed;
  auto keep = std::stable_partition(entries_.begin(), entries_.end(),
                                    [&](const RegistryEntry& e) { return e.reference != reference; });
  removed.assign(std::make_move_iterator(keep), std::make_move_iterator(entries_.end()));
  entries_.erase(keep, entries_.end());
  return removed;
}

void RegistryTable::Assign(std::vector<RegistryEntry> entries) {
  entries_.clear();
  for (auto& e : entries) Put(std::move(e));
}

}  // namespace registry
