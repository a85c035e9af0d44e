#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "idl/JobParameters.h"

namespace node {

using farm::JobParameters;

// How the node starts its engine for one band. `text` is the command line
// as the engine expects it (doubled blanks and all), kept for the log;
// `argv` is what is actually started, built directly so that a node folder
// holding blanks stays one argument. Both carry the same arguments.
//
// Plain data: copy it freely, from any thread.
struct EngineCommand {
  std::string text;
  std::vector<std::string> argv;
};

// The engine program, inside the node folder beside the unpacked package.
inline constexpr char kEngineProgram[] = "pvengine";

// No length limit: the line is never copied into a fixed buffer. For a
// `userScene` the engine is given the farm options file in place of the
// scene, and no alpha: a user's picture has the background povray shows.
// A band of an animation frame adds +SF<n> +EF<n>: the renderer reads the
// animation from the options file and renders that frame alone, so clock,
// frame_number, clock_delta and the cyclic rule are its own.
EngineCommand BuildEngineCommand(const std::filesystem::path& nodeFolder, const JobParameters& job,
                                 bool userScene = false);

}  // namespace node
