#include "idl/Abilities.h"

#include <algorithm>

namespace farm {

Abilities::Abilities(std::vector<std::string> words) {
  for (const std::string& w : words) Add(w);
}

Abilities Abilities::OfThisNode() { return Abilities({kAbilityScene, kAbilityStatus, kAbilityCache, kAbilityFrames}); }

bool Abilities::Has(std::string_view word) const {
  return std::find(words_.begin(), words_.end(), word) != words_.end();
}

bool Abilities::Covers(const Abilities& needed) const {
  return std::all_of(needed.words_.begin(), needed.words_.end(), [this](const std::string& w) { return Has(w); });
}

void Abilities::Add(std::string_view word) {
  if (word.empty() || Has(word)) return;
  words_.emplace_back(word);
}

std::string Abilities::Describe() const {
  if (words_.empty()) return "none";
  std::string text;
  for (const std::string& w : words_) text += (text.empty() ? "" : ", ") + w;
  return text;
}

}  // namespace farm
