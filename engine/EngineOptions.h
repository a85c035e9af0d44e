#pragma once
#include <optional>
#include <string>
#include <vector>

namespace engine {

// What the node asks of the engine, read from its command line, e.g.
//   pvengine /Exit /Render <scene> +sc0 +sr0 +ec1.0 +er250 +ORender1.bmp +W640 +H480 +UA
// Switches are case-insensitive, as the renderer's own are. Row and column
// values are kept as given; ResolveRow turns rows into picture rows. Plain
// data.
struct EngineOptions {
  bool exitWhenDone = false;  // /Exit
  bool render = false;        // /Render
  std::string scene;
  std::optional<std::string> startRow, endRow;        // +SR, +ER
  std::optional<std::string> startColumn, endColumn;  // +SC, +EC
  std::optional<int> width, height;                   // +W, +H
  std::string output;                                 // +O
  bool alpha = false;                                 // +UA / -UA
  std::vector<std::string> passThrough;               // any other renderer option
};

// `args` without the program name. False, with a reason, for a command line
// that names no scene or more than one, or gives a malformed size.
bool ParseEngineCommandLine(const std::vector<std::string>& args, EngineOptions* out, std::string* error);

// A row option as a picture row, 1 at the top, for a picture `height` rows
// high. Whole numbers are rows (0 and below mean the top row); a value with
// a decimal point from 0.0 to 1.0 is a fraction of the height, as the
// renderer reads it. `isEnd` picks the end-row reading of a fraction.
// Nothing for text that is not a number.
std::optional<int> ResolveRow(const std::string& value, int height, bool isEnd);

}  // namespace engine
