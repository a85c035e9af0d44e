#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/Confinement.h"
#include "platform/Status.h"

namespace engine {

// The limits a node's operator sets for every band, from the node's
// environment. Plain data.
struct RenderLimits {
  // LUMORA_RENDER_MEMORY_MB: the renderer's address space; by default half
  // the machine's memory.
  std::uint64_t memoryMb = 0;
  // LUMORA_RENDER_SECONDS: wall time of one renderer run; none by default.
  std::optional<std::chrono::seconds> wallTime;
  // LUMORA_RENDER_FILE_MB: the largest file the renderer may write; 1024 by
  // default.
  std::uint64_t fileMb = 1024;
};

// Reads the limits; fails, naming the variable, for a value that is not a
// positive whole number.
platform::StatusOr<RenderLimits> RenderLimitsFromEnvironment();

// What the renderer may reach: the job folder (read and write), its
// program and that program's loader (run), and for reading its libraries,
// the dynamic loader's cache, locale and time zone data, povray's include,
// INI and font folders and system configuration, the farm's renderer home
// `home`, the processor list, and `extraReads` (the preview tap's library).
platform::ConfinementRules RendererRules(const std::filesystem::path& program, const std::filesystem::path& jobFolder,
                                         const std::filesystem::path& home,
                                         const std::filesystem::path& extraReads = {});

// The program interpreter an ELF executable names (its dynamic loader);
// empty when it names none or cannot be read.
std::filesystem::path ProgramInterpreter(const std::filesystem::path& program);

// Writes the farm's own renderer configuration under `home` (a folder the
// renderer may read but not write): povray's user configuration, which
// forbids shell-outs and lets the scene's own file I/O (#fopen, #include,
// image maps, output) reach only povray's folders, `home` and, for reading
// and writing, `jobFolder`; and the INI every run reads instead of any
// povray.ini beside the scene. Answers the variables to set in the
// renderer's environment (HOME, POVINI). The kernel's confinement holds
// whatever this says; this makes povray refuse with its own message first.
platform::StatusOr<std::map<std::string, std::string>> WriteRendererConfiguration(
    const std::filesystem::path& home, const std::filesystem::path& jobFolder);

}  // namespace engine
