#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace engine {

// What a band's renderer run needs.
struct BandJob {
  std::string renderer;                   // the povray program
  std::filesystem::path previewTap;       // libpvpreview.so, loaded into the renderer
  std::string sceneFile;                  // relative to the current folder
  int width = 0;
  int height = 0;
  int first = 1;                          // band rows, 1 at the top, both included
  int last = 0;
  std::vector<std::string> extraOptions;  // columns, alpha, pass-through options
  int logFd = -1;                         // renderer console output goes here
};

// Called for every row handed on: its number (1 at the top) and `width`
// COLORREF pixels. A row may come twice; the later one is the exact one.
using RowSink = std::function<void(int row, const std::int32_t* colorref)>;

struct BandCounts {
  int previewRows = 0;    // rows handed on while the renderer ran
  int correctedRows = 0;  // rows handed on again (or first) from its picture
};

// One renderer run for the whole band. Rows go to the sink as the renderer
// finishes them, from its preview display (libpvpreview.so): the preview is
// dithered, so its colours may be one level off. Once the renderer has
// written its picture, every row whose exact colours differ from what was
// handed on (or that never came) is handed on again from the picture.
//
// The renderer runs in the caller's process group (so ending that group
// ends it) and dies with the caller. Returns its exit status, 128 + signal
// when a signal ended it, 127 when it could not be started, and 1 when it
// ended well without a usable picture; *error says why when not 0.
int RenderBand(const BandJob& job, const RowSink& sink, std::string* error, BandCounts* counts = nullptr);

// The renderer's argument vector for a band, writing its picture to
// `pictureName` (PPM) in the current folder.
std::vector<std::string> BandRendererArguments(const BandJob& job, const std::string& pictureName);

}  // namespace engine
