#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryEntry.h"

namespace registry {

// The name registry's list of registrations, in order of registration, with
// its selection rule. Plain data: one thread at a time.
class RegistryTable {
 public:
  // What a look-up chose.
  struct Choice {
    RegistryEntry entry;  // as it stands after the look-up (uses counted)
    // How many times a candidate holding the same reference as the first
    // candidate became the choice: a sign of a server registered twice.
    int sameReference = 0;
  };

  // Appends `entry` unless an entry with the same key is already there, in
  // which case the table is unchanged and the answer is false.
  bool Put(RegistryEntry entry);

  // The entry to hand out for `name`, or nothing when no entry has that name
  // (compared byte for byte). Candidates c0..cn-1 are the entries of that
  // name in list order; the choice is the last ci (i >= 1) whose uses do not
  // exceed those of c0, else c0 -- always compared with c0, so equal counts
  // rotate from the last candidate towards the first. The chosen entry's
  // uses grow by one.
  std::optional<Choice> Resolve(std::string_view name);

  // Removes every entry whose reference equals `reference`, and answers the
  // removed entries in list order.
  std::vector<RegistryEntry> RemoveReference(std::string_view reference);

  // Replaces the whole list (a reload); a later entry whose key repeats an
  // earlier one is dropped, so keys stay unique.
  void Assign(std::vector<RegistryEntry> entries);

  const std::vector<RegistryEntry>& entries() const { return entries_; }

 private:
  std::vector<RegistryEntry> entries_;
};

}  // namespace registry
