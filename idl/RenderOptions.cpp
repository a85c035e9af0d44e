#include "idl/RenderOptions.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace farm {
namespace {

using platform::Status;

// What the farm does with an option.
enum class Rule {
  kPass,        // sent to every node's renderer
  kDrop,        // accepted; only povray's own screen or files would see it
  kController,  // the scene, the picture's size and file, library paths
  kCommand,     // a shell-out: refused unless empty
  kFile,        // writes a file: refused unless empty or off
  kOff,         // refused when on
  kStart,       // a start row or column: only the top or left edge
  kEnd,         // an end row or column: only the bottom or right edge
  kBits,        // Bits_Per_Color: at most 8
  kFileType,    // Output_File_Type: no HDR, no more than 8 bits
};

struct OptionRule {
  const char* key;
  Rule rule;
};

// The one allow-list. Keys in POV-Ray's canonical spelling.
constexpr OptionRule kRules[] = {
    {"Input_File_Name", Rule::kController},
    {"Output_File_Name", Rule::kController},
    {"Width", Rule::kController},
    {"Height", Rule::kController},
    {"Library_Path", Rule::kController},
    {"Antialias", Rule::kPass},
    {"Antialias_Threshold", Rule::kPass},
    {"Antialias_Depth", Rule::kPass},
    {"Antialias_Gamma", Rule::kPass},
    {"Antialias_Confidence", Rule::kPass},
    {"Sampling_Method", Rule::kPass},
    {"Jitter", Rule::kPass},
    {"Jitter_Amount", Rule::kPass},
    {"Quality", Rule::kPass},
    {"Display_Gamma", Rule::kPass},
    {"File_Gamma", Rule::kPass},
    {"Declare", Rule::kPass},
    {"Clock", Rule::kPass},
    {"Initial_Clock", Rule::kPass},
    {"Final_Clock", Rule::kPass},
    {"Bounding", Rule::kPass},
    {"Bounding_Threshold", Rule::kPass},
    {"Bounding_Method", Rule::kPass},
    {"Remove_Bounds", Rule::kPass},
    {"Split_Unions", Rule::kPass},
    {"Light_Buffer", Rule::kPass},
    {"Vista_Buffer", Rule::kPass},
    {"Version", Rule::kPass},
    {"High_Reproducibility", Rule::kPass},
    {"Include_Header", Rule::kPass},
    {"Radiosity_Vain_Pretrace", Rule::kPass},
    {"Dither", Rule::kPass},
    {"Dither_Method", Rule::kPass},
    {"Display", Rule::kDrop},
    {"Verbose", Rule::kDrop},
    {"Pause_When_Done", Rule::kDrop},
    {"Output_To_File", Rule::kDrop},
    {"Test_Abort", Rule::kDrop},
    {"Test_Abort_Count", Rule::kDrop},
    {"Work_Threads", Rule::kDrop},
    {"Preview_Start_Size", Rule::kDrop},
    {"Preview_End_Size", Rule::kDrop},
    {"Draw_Vistas", Rule::kDrop},
    {"Video_Mode", Rule::kDrop},
    {"Palette", Rule::kDrop},
    {"Render_Block_Size", Rule::kDrop},
    {"Render_Block_Step", Rule::kDrop},
    {"Render_Pattern", Rule::kDrop},
    {"Warning_Level", Rule::kDrop},
    {"All_Console", Rule::kDrop},
    {"Debug_Console", Rule::kDrop},
    {"Fatal_Console", Rule::kDrop},
    {"Render_Console", Rule::kDrop},
    {"Statistic_Console", Rule::kDrop},
    {"Warning_Console", Rule::kDrop},
    {"Pre_Scene_Return", Rule::kDrop},
    {"Pre_Frame_Return", Rule::kDrop},
    {"Post_Scene_Return", Rule::kDrop},
    {"Post_Frame_Return", Rule::kDrop},
    {"User_Abort_Return", Rule::kDrop},
    {"Fatal_Error_Return", Rule::kDrop},
    {"Initial_Frame", Rule::kPass},
    {"Final_Frame", Rule::kPass},
    {"Cyclic_Animation", Rule::kPass},
    {"Subset_Start_Frame", Rule::kController},
    {"Subset_End_Frame", Rule::kController},
    {"Continue_Trace", Rule::kController},
    {"Frame_Step", Rule::kDrop},
    {"Max_Image_Buffer_Memory", Rule::kDrop},
    {"Buffer_Output", Rule::kDrop},
    {"Buffer_Size", Rule::kDrop},
    {"Histogram_Type", Rule::kDrop},
    {"Histogram_Grid_Size", Rule::kDrop},
    {"Pre_Scene_Command", Rule::kCommand},
    {"Pre_Frame_Command", Rule::kCommand},
    {"Post_Scene_Command", Rule::kCommand},
    {"Post_Frame_Command", Rule::kCommand},
    {"User_Abort_Command", Rule::kCommand},
    {"Fatal_Error_Command", Rule::kCommand},
    {"All_File", Rule::kFile},
    {"Debug_File", Rule::kFile},
    {"Fatal_File", Rule::kFile},
    {"Render_File", Rule::kFile},
    {"Statistic_File", Rule::kFile},
    {"Warning_File", Rule::kFile},
    {"Create_Ini", Rule::kFile},
    {"Histogram_Name", Rule::kFile},
    {"Radiosity_File_Name", Rule::kFile},
    {"Output_Alpha", Rule::kOff},
    {"Radiosity_From_File", Rule::kOff},
    {"Radiosity_To_File", Rule::kOff},
    {"Field_Render", Rule::kOff},
    {"Odd_Field", Rule::kOff},
    {"Real_Time_Raytracing", Rule::kOff},
    {"Clockless_Animation", Rule::kOff},
    {"Grayscale_Output", Rule::kOff},
    {"Start_Row", Rule::kStart},
    {"Start_Column", Rule::kStart},
    {"End_Row", Rule::kEnd},
    {"End_Column", Rule::kEnd},
    {"Bits_Per_Color", Rule::kBits},
    {"Output_File_Type", Rule::kFileType},
};

// How a switch's text maps to options.
enum class Form {
  kValue,     // +Xvalue: key=value (the sign does not matter)
  kFlag,      // +X / -X: key=on/off, and a value after it goes to `second`
  kFileOrOn,  // +Xfile: key=file; +X or -X alone: only povray's console, dropped
};

struct SwitchRule {
  const char* name;  // after the sign, upper case
  const char* key;
  Form form;
  const char* second = nullptr;
};

constexpr SwitchRule kSwitches[] = {
    {"WT", "Work_Threads", Form::kValue},
    {"WL", "Warning_Level", Form::kValue},
    {"W", "Width", Form::kValue},
    {"HI", "Include_Header", Form::kValue},
    {"HR", "High_Reproducibility", Form::kFlag},
    {"HT", "Histogram_Type", Form::kValue},
    {"HN", "Histogram_Name", Form::kValue},
    {"HS", "Histogram_Grid_Size", Form::kValue},
    {"H", "Height", Form::kValue},
    {"AM", "Sampling_Method", Form::kValue},
    {"AG", "Antialias_Gamma", Form::kValue},
    {"AC", "Antialias_Confidence", Form::kValue},
    {"A", "Antialias", Form::kFlag, "Antialias_Threshold"},
    {"RVP", "Radiosity_Vain_Pretrace", Form::kFlag},
    {"R", "Antialias_Depth", Form::kValue},
    {"J", "Jitter", Form::kFlag, "Jitter_Amount"},
    {"Q", "Quality", Form::kValue},
    {"KFI", "Initial_Frame", Form::kValue},
    {"KFF", "Final_Frame", Form::kValue},
    {"KI", "Initial_Clock", Form::kValue},
    {"KF", "Final_Clock", Form::kValue},
    {"KC", "Cyclic_Animation", Form::kFlag},
    {"K", "Clock", Form::kValue},
    {"L", "Library_Path", Form::kValue},
    {"MB", "Bounding", Form::kFlag, "Bounding_Threshold"},
    {"MV", "Version", Form::kValue},
    {"BM", "Bounding_Method", Form::kValue},
    {"BS", "Render_Block_Size", Form::kValue},
    {"UR", "Remove_Bounds", Form::kFlag},
    {"UO", "Split_Unions", Form::kFlag},
    {"UL", "Light_Buffer", Form::kFlag},
    {"UV", "Vista_Buffer", Form::kFlag},
    {"UA", "Output_Alpha", Form::kFlag},
    {"UD", "Draw_Vistas", Form::kFlag},
    {"UF", "Field_Render", Form::kFlag},
    {"UE", "Odd_Field", Form::kFlag},
    {"O", "Output_File_Name", Form::kValue},
    {"I", "Input_File_Name", Form::kValue},
    {"F", "Output_To_File", Form::kFlag, "Output_File_Type"},
    {"D", "Display", Form::kFlag, "Video_Mode"},
    {"V", "Verbose", Form::kFlag},
    {"P", "Pause_When_Done", Form::kFlag},
    {"X", "Test_Abort", Form::kFlag, "Test_Abort_Count"},
    {"C", "Continue_Trace", Form::kFlag},
    {"SR", "Start_Row", Form::kValue},
    {"ER", "End_Row", Form::kValue},
    {"SC", "Start_Column", Form::kValue},
    {"EC", "End_Column", Form::kValue},
    {"SF", "Subset_Start_Frame", Form::kValue},
    {"EF", "Subset_End_Frame", Form::kValue},
    {"SP", "Preview_Start_Size", Form::kValue},
    {"EP", "Preview_End_Size", Form::kValue},
    {"GA", "All_File", Form::kFileOrOn},
    {"GD", "Debug_File", Form::kFileOrOn},
    {"GF", "Fatal_File", Form::kFileOrOn},
    {"GR", "Render_File", Form::kFileOrOn},
    {"GS", "Statistic_File", Form::kFileOrOn},
    {"GW", "Warning_File", Form::kFileOrOn},
    {"GI", "Create_Ini", Form::kFileOrOn},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Unquoted(std::string_view s) {
  s = Trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return std::string(s);
}

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

const OptionRule* FindRule(std::string_view key) {
  for (const OptionRule& r : kRules) {
    if (SameKey(key, r.key)) return &r;
  }
  return nullptr;
}

std::optional<bool> Boolean(std::string_view value) {
  const std::string_view v = Trim(value);
  for (const char* on : {"on", "true", "yes", "1"}) {
    if (SameKey(v, on)) return true;
  }
  for (const char* off : {"off", "false", "no", "0"}) {
    if (SameKey(v, off)) return false;
  }
  return std::nullopt;
}

std::optional<double> Number(std::string_view value) {
  const std::string text(Trim(value));
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(v == v)) return std::nullopt;
  return v;
}

Status Refused(std::string_view key, std::string_view value, const std::string& why) {
  return Status::Error("option " + std::string(key) + "=" + std::string(value) + " refused: " + why);
}

Status SetSize(const char* key, std::string_view value, int* side) {
  const std::optional<double> v = Number(value);
  // The range first: a double past int's range must not be converted.
  if (!v || *v < 1 || *v > 65535 || *v != std::floor(*v)) {
    return Refused(key, value, "the picture's size must be a whole number of pixels from 1 to 65535");
  }
  *side = static_cast<int>(*v);
  return Status::Ok();
}

Status ApplyController(const char* key, std::string_view value, RenderOptions* options) {
  const std::string text = Unquoted(value);
  if (SameKey(key, "Width")) return SetSize(key, value, &options->width);
  if (SameKey(key, "Height")) return SetSize(key, value, &options->height);
  if (SameKey(key, "Input_File_Name")) {
    options->inputFile = text;
  } else if (SameKey(key, "Output_File_Name")) {
    options->outputFile = text;
  } else if (SameKey(key, "Subset_Start_Frame")) {
    options->subsetStart = text;
  } else if (SameKey(key, "Subset_End_Frame")) {
    options->subsetEnd = text;
  } else if (SameKey(key, "Continue_Trace")) {
    options->continueTrace = Boolean(text).value_or(false);
  } else if (!text.empty() && std::find(options->libraryPaths.begin(), options->libraryPaths.end(), text) ==
                                  options->libraryPaths.end()) {
    options->libraryPaths.push_back(text);
  }
  return Status::Ok();
}

void Set(const char* key, std::string_view value, RenderOptions* options) {
  const std::string text(Trim(value));
  if (!SameKey(key, "Declare")) {
    for (auto& [k, v] : options->settings) {
      if (k == key) {
        v = text;
        return;
      }
    }
  }
  options->settings.emplace_back(key, text);
}

// Whether a start or end row/column value leaves the whole picture: a
// fraction 0 (or row 1) at the start, the fraction 1.0 at the end.
bool WholeEdge(std::string_view value, bool isEnd) {
  const std::optional<double> v = Number(value);
  if (!v) return false;
  // Below 1 a value is a fraction of the picture, from 1 up a pixel number:
  // the first edge is 0 or pixel 1, the last one the fraction 1.
  return isEnd ? *v == 1.0 : *v == 0.0 || *v == 1.0;
}

Status Check(const OptionRule& r, std::string_view value) {
  const std::string text = Unquoted(value);
  const std::optional<bool> flag = Boolean(text);
  switch (r.rule) {
    case Rule::kCommand:
      if (!text.empty()) return Refused(r.key, value, "the farm runs no command");
      break;
    case Rule::kFile:
      if (!text.empty() && flag != false) return Refused(r.key, value, "the farm writes no stream or output file");
      break;
    case Rule::kOff:
      if (flag != false) {
        const bool alpha = SameKey(r.key, "Output_Alpha");
        return Refused(r.key, value,
                       alpha ? "the farm's rows carry no alpha channel" : "the farm renders one plain picture");
      }
      break;
    case Rule::kStart:
    case Rule::kEnd:
      if (!WholeEdge(text, r.rule == Rule::kEnd)) {
        return Refused(r.key, value, "the farm renders the whole picture and cuts the bands itself");
      }
      break;
    case Rule::kBits: {
      const std::optional<double> bits = Number(text);
      if (!bits || *bits > 8) return Refused(r.key, value, "the farm's rows carry 8 bits per colour");
      break;
    }
    case Rule::kFileType: {
      const std::string t = text;
      if (!t.empty() && (std::toupper(static_cast<unsigned char>(t[0])) == 'E' ||
                         std::toupper(static_cast<unsigned char>(t[0])) == 'H')) {
        return Refused(r.key, value, "the farm's rows carry no HDR output");
      }
      if (t.size() > 1 && std::atoi(t.c_str() + 1) > 8) {
        return Refused(r.key, value, "the farm's rows carry 8 bits per colour");
      }
      break;
    }
    default: break;
  }
  return Status::Ok();
}

}  // namespace

std::optional<std::string> RenderOptions::Setting(std::string_view key) const {
  for (const auto& [k, v] : settings) {
    if (k == key) return v;
  }
  return std::nullopt;
}

namespace {
std::string_view WithoutComment(std::string_view line);
}  // namespace

Status ApplyOption(std::string_view key, std::string_view value, RenderOptions* options) {
  key = Trim(key);
  // A ';' outside quotes starts a comment in the options file: such a value
  // (from a switch like +AM;) would not read back as given.
  if (WithoutComment(value).size() != value.size()) {
    return Status::Error("option " + std::string(key) + "=" + std::string(value) + " refused: ';' starts a comment");
  }
  // One option is one line of the options file.
  if (key.find_first_of("\r\n") != std::string_view::npos || value.find_first_of("\r\n") != std::string_view::npos) {
    return Status::Error("option " + std::string(key) + " refused: it holds a line break");
  }
  const OptionRule* r = FindRule(key);
  if (r == nullptr) return Status::Error("unknown option " + std::string(key) + " refused");
  if (Status checked = Check(*r, value); !checked) return checked;
  if (r->rule == Rule::kController) return ApplyController(r->key, value, options);
  if (r->rule == Rule::kPass && !(SameKey(r->key, "Include_Header") && Unquoted(value).empty())) {
    Set(r->key, value, options);
  }
  return Status::Ok();
}

Status ApplySwitch(std::string_view text, RenderOptions* options) {
  if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) {
    return Status::Error("unknown option " + std::string(text) + " refused");
  }
  const bool plus = text[0] == '+';
  const std::string_view body = text.substr(1);
  const SwitchRule* best = nullptr;
  for (const SwitchRule& s : kSwitches) {
    const std::size_t n = std::char_traits<char>::length(s.name);
    if (body.size() >= n && strncasecmp(body.data(), s.name, n) == 0 &&
        (best == nullptr || n > std::char_traits<char>::length(best->name))) {
      best = &s;
    }
  }
  if (best == nullptr) return Status::Error("unknown option " + std::string(text) + " refused");
  const std::string_view rest = body.substr(std::char_traits<char>::length(best->name));
  switch (best->form) {
    case Form::kValue:
      if (rest.empty()) return Status::Error("option " + std::string(text) + " needs a value");
      return ApplyOption(best->key, rest, options);
    case Form::kFlag:
      if (Status flag = ApplyOption(best->key, plus ? "on" : "off", options); !flag) {
        return Status::Error(flag.reason() + " (" + std::string(text) + ")");
      }
      if (!rest.empty()) {
        if (best->second == nullptr) return Status::Error("unknown option " + std::string(text) + " refused");
        return ApplyOption(best->second, rest, options);
      }
      return Status::Ok();
    case Form::kFileOrOn:
      if (rest.empty()) return Status::Ok();
      return ApplyOption(best->key, rest, options);
  }
  return Status::Ok();
}

namespace {

bool IsIniName(std::string_view name) {
  const std::size_t bracket = name.find('[');
  const std::string_view file = name.substr(0, bracket);
  return file.size() > 4 && SameKey(file.substr(file.size() - 4), ".ini");
}

// Drops a ';' comment outside quotes.
std::string_view WithoutComment(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ';' && !quoted) return line.substr(0, i);
  }
  return line;
}

Status ApplyIniLine(std::string_view line, RenderOptions* options) {
  if (line.front() == '+' || line.front() == '-') {
    while (!line.empty()) {
      const std::size_t end = line.find_first_of(" \t");
      if (Status s = ApplySwitch(line.substr(0, end), options); !s) return s;
      if (end == std::string_view::npos) break;
      line = Trim(line.substr(end));
    }
    return Status::Ok();
  }
  const std::size_t eq = line.find('=');
  if (eq != std::string_view::npos) return ApplyOption(line.substr(0, eq), line.substr(eq + 1), options);
  if (IsIniName(line)) return Status::Error("INI file " + std::string(line) + " named inside an INI file refused");
  options->inputFile = Unquoted(line);
  return Status::Ok();
}

}  // namespace

Status ApplyIniText(std::string_view text, std::string_view section, RenderOptions* options) {
  bool reading = section.empty();
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    line = Trim(WithoutComment(line));
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view label = line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1);
      if (section.empty()) break;  // without a section, only the lines before the first label
      reading = SameKey(Trim(label), Trim(section));
      continue;
    }
    if (!reading) continue;
    if (Status s = ApplyIniLine(line, options); !s) {
      return Status::Error("line " + std::to_string(lineNumber) + ": " + s.reason());
    }
  }
  return Status::Ok();
}

Status LoadIni(const std::string& file, RenderOptions* options) {
  std::string name = file;
  std::string section;
  if (const std::size_t bracket = file.find('['); bracket != std::string::npos && file.back() == ']') {
    name = file.substr(0, bracket);
    section = file.substr(bracket + 1, file.size() - bracket - 2);
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) return Status::Error("cannot read the INI file " + name);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string before = options->inputFile;
  if (Status s = ApplyIniText(text, section, options); !s) return Status::Error(name + ", " + s.reason());
  // A scene named in an INI file lies beside it, as povray reads it from
  // there only when run in that folder; the farm takes the INI's folder.
  if (options->inputFile != before && !options->inputFile.empty() &&
      std::filesystem::path(options->inputFile).is_relative()) {
    const std::filesystem::path besideIni = std::filesystem::path(name).parent_path() / options->inputFile;
    std::error_code ec;
    if (!std::filesystem::exists(options->inputFile, ec)) options->inputFile = besideIni.string();
  }
  return Status::Ok();
}

Status ApplyArgument(const std::string& argument, RenderOptions* options) {
  if (argument.empty()) return Status::Error("an empty argument");
  if (argument[0] == '+' || argument[0] == '-') return ApplySwitch(argument, options);
  if (IsIniName(argument)) return LoadIni(argument, options);
  if (const std::size_t eq = argument.find('='); eq != std::string::npos) {
    return ApplyOption(std::string_view(argument).substr(0, eq), std::string_view(argument).substr(eq + 1), options);
  }
  if (argument.find_first_of("\r\n") != std::string::npos) return Status::Error("a scene name with a line break");
  options->inputFile = argument;
  return Status::Ok();
}

Status LoadPovrayDefaults(RenderOptions* options) {
  options->width = 800;
  options->height = 600;
  std::vector<std::string> candidates;
  if (const char* povini = std::getenv("POVINI"); povini != nullptr && *povini != '\0') candidates.push_back(povini);
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    candidates.push_back(std::string(home) + "/.povray/3.7/povray.ini");
  }
  candidates.push_back("/etc/povray/3.7/povray.ini");
  for (const std::string& file : candidates) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) continue;
    return LoadIni(file, options);
  }
  return Status::Ok();
}

bool IsStandardFolder(const std::filesystem::path& folder) {
  const std::string text = folder.lexically_normal().string();
  for (const std::string& root :
       {std::string(kPovrayShareFolder), std::string("/usr/local/share/povray-3.7"), std::string("/etc/povray")}) {
    if (text == root || text == root + "/") return true;
    // The scenes of povray-examples lie below the share folder too; only
    // its include, INI and script folders are the renderer's own.
    for (const char* own : {"/include", "/ini", "/scripts", "/icons"}) {
      const std::string sub = root + own;
      if (text == sub || text.rfind(sub + "/", 0) == 0) return true;
    }
    if (root == "/etc/povray" && text.rfind(root + "/", 0) == 0) return true;
  }
  return false;
}

std::string FormatFarmOptions(const RenderOptions& options) {
  std::string text = "; the render options of a user's scene, as the farm accepted them\n";
  text += "Input_File_Name=" + options.inputFile + "\n";
  for (const std::string& path : options.libraryPaths) text += "Library_Path=" + path + "\n";
  if (options.width > 0) text += "Width=" + std::to_string(options.width) + "\n";
  if (options.height > 0) text += "Height=" + std::to_string(options.height) + "\n";
  for (const auto& [key, value] : options.settings) text += key + "=" + value + "\n";
  return text;
}

namespace {

// A place in the package: relative, within it, without "..".
bool InsidePackage(const std::string& name) {
  if (name.empty()) return false;
  const std::filesystem::path p(name);
  if (p.is_absolute()) return false;
  for (const auto& part : p) {
    if (part == "..") return false;
  }
  return true;
}

}  // namespace

platform::StatusOr<RenderOptions> ParseFarmOptions(std::string_view text) {
  RenderOptions options;
  if (Status s = ApplyIniText(text, "", &options); !s)
    return Status::Error(std::string(kFarmOptionsFile) + ", " + s.reason());
  if (!InsidePackage(options.inputFile)) {
    return Status::Error(std::string(kFarmOptionsFile) + ": Input_File_Name \"" + options.inputFile +
                         "\" names no file inside the package");
  }
  for (const std::string& path : options.libraryPaths) {
    if (!InsidePackage(path)) {
      return Status::Error(std::string(kFarmOptionsFile) + ": Library_Path \"" + path +
                           "\" names no folder inside the package");
    }
  }
  if (!options.outputFile.empty()) {
    return Status::Error(std::string(kFarmOptionsFile) + ": Output_File_Name refused: the node writes no picture file");
  }
  return options;
}

std::vector<std::string> RendererArguments(const RenderOptions& options) {
  std::vector<std::string> args;
  for (const auto& [key, value] : options.settings) args.push_back(key + "=" + value);
  return args;
}

namespace {

// A frame number as povray reads it: a whole number (a fraction of the
// frames is not taken here).
platform::StatusOr<int32_t> FrameNumber(const char* key, const std::string& text) {
  const std::optional<double> v = Number(text);
  if (!v || *v != static_cast<double>(static_cast<int32_t>(*v))) {
    return Status::Error("option " + std::string(key) + "=" + text + " refused: the farm takes a whole frame number");
  }
  return static_cast<int32_t>(*v);
}

}  // namespace

platform::StatusOr<RenderOptions> ReadRenderArguments(const std::vector<std::string>& args) {
  RenderOptions options;
  if (Status defaults = LoadPovrayDefaults(&options); !defaults) {
    return Status::Error("povray's own defaults: " + defaults.reason());
  }
  for (const std::string& arg : args) {
    if (Status applied = ApplyArgument(arg, &options); !applied) return applied;
  }
  return options;
}

platform::StatusOr<FrameRange> AnimationFrames(const RenderOptions& options) {
  FrameRange range;
  const std::pair<const char*, int32_t*> given[] = {{"Initial_Frame", &range.initial}, {"Final_Frame", &range.final}};
  for (const auto& [key, field] : given) {
    if (const std::optional<std::string> text = options.Setting(key)) {
      platform::StatusOr<int32_t> n = FrameNumber(key, *text);
      if (!n) return n.status();
      *field = *n;
    }
  }
  range.first = range.initial;
  range.last = range.final;
  if (options.subsetStart) {
    platform::StatusOr<int32_t> n = FrameNumber("Subset_Start_Frame", *options.subsetStart);
    if (!n) return n.status();
    range.first = std::max(range.first, *n);
  }
  if (options.subsetEnd) {
    platform::StatusOr<int32_t> n = FrameNumber("Subset_End_Frame", *options.subsetEnd);
    if (!n) return n.status();
    range.last = std::min(range.last, *n);
  }
  if (range.animation() && range.first > range.last) {
    return Status::Error("no frame between Subset_Start_Frame and Subset_End_Frame within Initial_Frame..Final_Frame");
  }
  return range;
}

}  // namespace farm
