#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineOptions.h"
#include "idl/WorkUnit.h"

namespace engine {

// Where pvengine finds what it runs. Plain data.
struct EngineSetup {
  std::filesystem::path folder;  // pvengine's own folder: libferrix.so and libpvpreview.so
  std::string renderer;          // the povray program
  bool exactRows = false;        // it is povray-rows (see RendererRun)
};

// The picture's size and the band's rows a command line asks for: the
// command line's rows where it names them, else the job record's (when
// `haveRecord`), else the whole picture. False for a row option that is
// not a number. Plain data.
struct Band {
  int width = 0;
  int height = 0;
  farm::WorkUnit rows;
};
bool ResolveBand(const EngineOptions& options, bool haveRecord, int recFirst, int recLast, int recHeight, Band* band);

// The renderer's own message when its log `log` says the scene does not
// parse ("File 'a.pov' line 4: Parse Error: ..." as one line); nothing when
// the run failed for another reason.
std::optional<std::string> SceneError(const std::string& log);

// The whole of pvengine: reads the node's command line (`args`, without the
// program name), loads the row transfer library, renders the band in the
// scene's folder with one renderer run, hands every row to the library and
// writes the +O picture beside the scene. A scene argument naming the farm
// options file (kFarmOptionsFile) renders a user's scene: its options are
// checked again against the farm's rules (a refused one fails the band,
// saying which) and given to the renderer, its library folders on +L; a
// scene that does not parse fails the band marked as a wrong scene. Returns the exit status: the
// renderer's, or 2 for a command line it cannot use.
int RunEngine(const std::vector<std::string>& args, const EngineSetup& setup);

}  // namespace engine
