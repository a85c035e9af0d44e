#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a node tells the operator's view about itself, without the ORB (the
// wire carries the same fields as Lumora::NodeStatus).
namespace farm {

// Plain data: copy it freely, from any thread.
struct NodeState {
  bool busy = false;
  std::string controller;  // host of the boss holding the node; empty when none
  std::int32_t width = 0;  // the job's picture; 0 while idle
  std::int32_t height = 0;
  std::int32_t band = 0;  // 0 while idle
  std::int32_t bandCount = 0;
  std::int32_t firstRow = 0;
  std::int32_t lastRow = 0;
  std::int32_t frame = 0;     // the animation frame; 0 for a still picture
  std::int32_t rowsDone = 0;  // rows the engine sent of those asked
  std::int32_t rowsAsked = 0;
  double cpuSeconds = 0;  // the engine's process group
  double memoryMb = 0;    // its resident memory
  double busySince = 0;   // seconds since 1970; 0 while idle
  std::string folder;
  std::string host;
  std::string version;
  std::string renderer;

  bool operator==(const NodeState&) const = default;
};

// The file the engine writes in the node folder while it renders a band, so
// that its node knows how far it is: "rows DONE ASKED\n". Replaced whole
// (written aside, then renamed), so a reader never sees half of it.
inline constexpr char kBandProgressFile[] = "band-progress";

std::string EncodeBandProgress(std::int32_t done, std::int32_t asked);
// False for anything but one well-formed line with 0 <= done <= asked.
bool DecodeBandProgress(std::string_view text, std::int32_t* done, std::int32_t* asked);

// The host named by the first internet profile of a stringified reference
// ("IOR:..."), e.g. "10.0.0.3"; nothing when the text is no such reference.
std::optional<std::string> HostOfReference(std::string_view ior);

}  // namespace farm
