#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "node/JobParameters.h"

namespace node {

// How the node starts its engine for one band. `text` is the command line
// as the engine expects it (doubled blanks and all), kept for the log;
// `argv` is what is actually started, built directly so that a node folder
// holding blanks stays one argument. Both carry the same arguments.
struct EngineCommand {
  std::string text;
  std::vector<std::string> argv;
};

// The engine program and the scene, both inside the node folder.
inline constexpr char kEngineProgram[] = "pvengine";
inline constexpr char kWorkFolderName[] = "Render";
inline constexpr char kSceneName[] = "Tessel.pov";
inline constexpr char kPackageName[] = "Render.zip";

// No length limit: the line is never copied into a fixed buffer.
EngineCommand BuildEngineCommand(const std::filesystem::path& nodeFolder, const JobParameters& job);

}  // namespace node
