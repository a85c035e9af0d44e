#pragma once
#include <string>
#include <string_view>
#include <vector>

// What a node can do beyond the base protocol. A node that can do more than
// render the scene maker's Tessel.pov serves Lumora::AbleFarmer (a
// RenderFarmer whose Abilities() lists words); a boss asks with _is_a, and a
// node that is not an AbleFarmer has no abilities at all. A job that needs an
// ability goes only to nodes that list it, so a node that would ignore what
// it does not know never renders a wrong picture in silence.
//
// The words travel on the wire: add new ones, never change one.
namespace farm {

// Renders a user's own scene folder with its options (the farm options file
// in the package; see idl/RenderOptions.h), without alpha unless asked.
inline constexpr char kAbilityScene[] = "scene";
// Keeps the packages of its last jobs and takes a package offered by its
// digest (idl/PackageDigest.h) as the file name given to CreateFile: FALSE
// means it holds that package and needs no bytes.
inline constexpr char kAbilityCache[] = "cache";
// Reserved for later abilities: animation frames, balanced bands, status.
inline constexpr char kAbilityFrames[] = "frames";
inline constexpr char kAbilityBalance[] = "balance";
inline constexpr char kAbilityStatus[] = "status";

// A set of ability words. Plain data: copy it freely, from any thread.
class Abilities {
 public:
  Abilities() = default;
  explicit Abilities(std::vector<std::string> words);

  // What this build of the node can do.
  static Abilities OfThisNode();

  // Every word of `needed` is here (an empty set is always met).
  bool Covers(const Abilities& needed) const;
  bool Has(std::string_view word) const;
  // Adds `word` once; empty words are ignored.
  void Add(std::string_view word);

  const std::vector<std::string>& words() const { return words_; }
  // "scene, frames", or "none".
  std::string Describe() const;

  bool operator==(const Abilities&) const = default;

 private:
  std::vector<std::string> words_;
};

}  // namespace farm
