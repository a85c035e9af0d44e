#pragma once
#include <string>
#include <vector>

#include "cli/RenderCommand.h"
#include "idl/RenderOptions.h"

namespace cli {

// Renders the frames `frames` of the animation `options` describe on the
// farm's nodes that announce frames, each frame saved as povray names it
// from `out` (FrameFileName) once it is whole; with Continue_Trace, frames
// whose file exists are not rendered again. `orbArgs` is the program's
// command line, for the ORB. Shows progress by frame unless quiet, and at
// the end the frames per node and the package's journeys. Returns the exit
// code: 0 when every frame was saved, 3 when a frame failed (each named,
// with why) or the farm could not render, 2 for a scene that cannot be
// planned, 5 after the time limit.
//
// Main thread; the ORB serves the frames' bosses on its own threads.
int RunAnimation(const farm::RenderOptions& options, const farm::FrameRange& frames, const std::string& out,
                 const RenderCommand& command, const std::vector<std::string>& orbArgs);

}  // namespace cli
