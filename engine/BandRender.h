#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/RendererPolicy.h"
#include "idl/WorkUnit.h"

namespace engine {

// The settings of one renderer run for a band. Plain data.
struct RendererRun {
  std::string renderer;  // the povray program
  // True for povray-rows, our build of povray that hands on every finished
  // row itself, exact; false for Debian's povray, whose rows are taken from
  // its preview display by `previewTap`.
  bool exactRows = false;
  std::filesystem::path previewTap;  // libpvpreview.so, loaded into the renderer
  std::string sceneFile;             // relative to the current folder
  int width = 0;
  int height = 0;
  farm::WorkUnit rows;                    // the band's rows
  std::vector<std::string> extraOptions;  // columns, alpha, pass-through options
  // When set, the renderer runs in povray's own blocks (kPovrayBlockSize),
  // from the block boundary at or above the band's first row to the block
  // boundary at or below its last: povray seeds its jitter and decides
  // antialiasing per block, so only blocks where a single run of the whole
  // picture has them give its pixels to the bit. The rows outside the band
  // are traced but not handed on.
  bool wholePictureBlocks = false;
  int logFd = -1;                          // renderer console output goes here
  std::map<std::string, std::string> env;  // set in the renderer's environment
  // When set: the renderer's address space and file sizes are limited, and
  // a run past its wall time is ended.
  std::optional<RenderLimits> limits;
  // When set, the renderer runs confined (it must outlive the run).
  const platform::Confinement* confinement = nullptr;
};

// Called for every row handed on: its number (1 at the top) and `width`
// COLORREF pixels. A row may come twice; the later one is the exact one.
using RowSink = std::function<void(int row, const std::int32_t* colorref)>;

// What a band run handed on. Plain data.
struct BandCounts {
  int previewRows = 0;             // rows handed on while the renderer ran
  int correctedRows = 0;           // rows handed on again (or first) from its picture
  bool pictureBeforeExit = false;  // the picture was read while the renderer was still ending
};

// One renderer run for the whole band. Rows go to the sink as the renderer
// finishes them.
//
// With `exactRows` the renderer writes them down a pipe itself, each once
// and exact, and writes no picture file; a band with rows missing when the
// renderer has ended well fails.
//
// Else they come from Debian's povray's preview display (libpvpreview.so):
// povray dithers the preview (a 4x4 ordered pattern added before it rounds
// to 8 bits), and the picture file is not dithered, so a preview pixel may be one level off
// and cannot be told apart from an exact one. As soon as the renderer has
// written its picture (the tap says so when the file is closed; else when
// the renderer ends), every row whose exact colours differ from what was
// handed on (or that never came) is handed on again from the picture.
//
// The renderer runs in the caller's process group (so ending that group
// ends it) and dies with the caller. Returns its exit status, 128 + signal
// when a signal ended it, 127 when it could not be started, and 1 when it
// ended well without a usable picture; *error says why when not 0, naming
// the limit a renderer ended by one passed.
//
// Runs in the caller's current folder, which it must not change meanwhile;
// calls `sink` on the calling thread.
int RenderBand(const RendererRun& run, const RowSink& sink, std::string* error, BandCounts* counts = nullptr);

// povray's block size for a picture `width` pixels wide: a row leaves only
// once the whole row of blocks across it is done, so narrow blocks keep rows
// flowing, while every block costs povray a fixed amount of handing over
// between its threads (for a cheap scene some 15 % more CPU at 8 pixels than
// at 32, 8 % at 16). The largest of 32, 16, 8 whose row of blocks stays
// within 20480 pixels (the costliest rows of the demonstration scenes then
// take some 0.2 s of one core per row of blocks) and that still cuts a band
// of `rows` rows into 8 steps or more.
int BlockSize(int width, int rows);

// povray's own block size, where no Render_Block_Size is given.
constexpr int kPovrayBlockSize = 32;

// The renderer's argument vector for a band: without display or picture
// file for `exactRows`, else with the preview display and its picture
// written to `pictureName` (PPM) in the current folder.
std::vector<std::string> BandRendererArguments(const RendererRun& run, const std::string& pictureName);

// The start and end rows to ask the renderer for, for rows of a picture
// `height` rows high. The renderer reads an end row of 1 as "the whole
// height", so row 1 alone asks for rows 1 to 2 (the extra row is not sent).
farm::WorkUnit RendererRows(const farm::WorkUnit& rows, int height);

}  // namespace engine
