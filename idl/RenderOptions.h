#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "idl/WellKnownNames.h"
#include "platform/Status.h"

// A user's POV-Ray render options, as `povray` takes them: INI files
// ("Key=Value" lines, ';' comments, [section] labels), INI options given
// alone ("Antialias=on") and switches ("+W320", "-A", "+Linc"). The
// controller reads what its user gives and writes what the farm accepts
// into the farm options file of the package; the engine on every node
// reads that file back through the same rules, so one allow-list decides on
// both sides and a node never renders an option the farm refuses.
//
// Refused, with a reason naming the option: an option this farm does not
// know; a shell-out command that is not empty (Pre_Scene_Command and the
// others); a stream, histogram, INI or radiosity file switched on; rows or
// columns other than the whole picture (the farm cuts the bands); alpha,
// more than 8 bits per colour or HDR output (the rows carry none of it);
// a size of 0. Animation options (Initial_Frame, Final_Frame, the clock,
// Cyclic_Animation) go to every node, which is told its frame with each
// band; the subset and Continue_Trace stay with the controller.
// Options that only concern povray's own screen and files (Display,
// Verbose, Output_To_File, ...) are accepted and dropped.
//
// Plain data and pure functions; LoadIni reads the file system. Any thread.
namespace farm {

// The farm options file (kFarmOptionsFile in idl/WellKnownNames.h) holds
// the accepted options, with Input_File_Name and Library_Path relative to
// the package folder.

// POV-Ray's own folders on every machine of the farm: never packed, never
// sent; each node's renderer finds its include files and fonts there.
inline constexpr char kPovrayShareFolder[] = "/usr/share/povray-3.7";

struct RenderOptions {
  std::string inputFile;   // Input_File_Name / +I / a bare scene name
  std::string outputFile;  // Output_File_Name / +O (the controller's picture)
  int width = 0;           // 0: not given
  int height = 0;
  std::vector<std::string> libraryPaths;  // Library_Path / +L, in order, as given
  // Subset_Start_Frame / +SF and Subset_End_Frame / +EF: which frames of an
  // animation the controller renders (each node gets its own frame).
  std::optional<std::string> subsetStart, subsetEnd;
  bool continueTrace = false;  // Continue_Trace / +C: frames with a file are not rendered again
  // What the renderer gets, in canonical spelling: a key given again
  // replaces its value, except Declare, which adds one.
  std::vector<std::pair<std::string, std::string>> settings;

  // The value of `key` (canonical spelling), if set.
  std::optional<std::string> Setting(std::string_view key) const;
};

// Applies one INI option. `key` in any letter case; quotes around the value
// are taken off for file names. An empty key or value of a refused kind
// fails, naming the option.
platform::Status ApplyOption(std::string_view key, std::string_view value, RenderOptions* options);

// Applies one switch, "+W320" or "-UA" (the leading sign included).
platform::Status ApplySwitch(std::string_view text, RenderOptions* options);

// Applies the text of an INI file: the lines before its first [label], or
// with `section` those of that section only (case-insensitive). Lines hold
// an option, a switch or several switches; ';' starts a comment. A line
// naming another INI file fails (INI files are given on the command line).
platform::Status ApplyIniText(std::string_view text, std::string_view section, RenderOptions* options);

// Reads `file` ("name.ini" or "name.ini[section]") and applies it.
platform::Status LoadIni(const std::string& file, RenderOptions* options);

// One argument of a command line: a switch, an INI option, an INI file
// (ending in .ini, optionally with [section]), or else the scene's file
// name. Relative file names are taken from the current folder.
platform::Status ApplyArgument(const std::string& argument, RenderOptions* options);

// The defaults `povray` itself would use on this machine: the first of
// $POVINI, ~/.povray/3.7/povray.ini and /etc/povray/3.7/povray.ini that
// exists, else 800 x 600 (and nothing, without an error, when none does).
platform::Status LoadPovrayDefaults(RenderOptions* options);

// povray's defaults (LoadPovrayDefaults), then every argument in turn
// (ApplyArgument); fails with the first reason.
platform::StatusOr<RenderOptions> ReadRenderArguments(const std::vector<std::string>& args);

// True for a folder at or under one of POV-Ray's own folders
// (kPovrayShareFolder and /usr/local/share/povray-3.7, /etc/povray).
bool IsStandardFolder(const std::filesystem::path& folder);

// The farm options file's text for `options`, whose inputFile and
// libraryPaths already name places in the package.
std::string FormatFarmOptions(const RenderOptions& options);

// Reads a farm options file back as a node must: every rule above, and
// Input_File_Name and Library_Path relative to the package folder without
// "..". Fails with the reason the band fails with.
platform::StatusOr<RenderOptions> ParseFarmOptions(std::string_view text);

// The frames of an animation: Initial_Frame..Final_Frame (1..1 when not
// given), first..last within the subset.
struct FrameRange {
  int32_t initial = 1;
  int32_t final = 1;
  int32_t first = 1;
  int32_t last = 1;
  bool animation() const { return final > initial; }
};
// Fails for a frame number that is not whole, or a subset with no frame.
platform::StatusOr<FrameRange> AnimationFrames(const RenderOptions& options);

// The renderer's options for `options.settings`, as "Key=Value" arguments.
std::vector<std::string> RendererArguments(const RenderOptions& options);

}  // namespace farm
