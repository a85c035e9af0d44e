#include "engine/RendererPolicy.h"

#include <elf.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace engine {
namespace {

namespace fs = std::filesystem;

// A positive whole number from variable `name`, nothing when it is unset;
// fails for anything else.
platform::StatusOr<std::optional<std::uint64_t>> PositiveNumber(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return std::optional<std::uint64_t>();
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || value == 0 || text[0] == '-' || value > (1ull << 40)) {
    return platform::Status::Error(std::string(name) + "=" + text + " is not a positive whole number");
  }
  return std::optional<std::uint64_t>(value);
}

// Writes `text` to `file`, replacing it whole: an engine of another node
// reading it meanwhile sees the old file or the new one.
platform::Status WriteText(const fs::path& file, const std::string& text) {
  const fs::path part = file.string() + "." + std::to_string(getpid());
  std::ofstream out(part, std::ios::trunc);
  out << text;
  out.close();
  std::error_code ec;
  if (out) fs::rename(part, file, ec);
  if (!out || ec) {
    fs::remove(part, ec);
    return platform::Status::Error("cannot write " + file.string());
  }
  return platform::Status::Ok();
}

// povray's own folders, as Debian installs them.
constexpr char kPovrayShare[] = "/usr/share/povray-3.7";
constexpr char kPovrayFonts[] = "/usr/share/fonts/truetype/povray";
constexpr char kPovraySystemConfig[] = "/etc/povray";

}  // namespace

platform::StatusOr<RenderLimits> RenderLimitsFromEnvironment() {
  RenderLimits limits;
  const auto memory = PositiveNumber("LUMORA_RENDER_MEMORY_MB");
  const auto seconds = PositiveNumber("LUMORA_RENDER_SECONDS");
  const auto file = PositiveNumber("LUMORA_RENDER_FILE_MB");
  for (const auto* read : {&memory, &seconds, &file}) {
    if (!read->ok()) return read->status();
  }
  const std::uint64_t machineMb =
      static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) >> 20;
  limits.memoryMb = memory->value_or(machineMb / 2);
  if (*seconds) limits.wallTime = std::chrono::seconds(**seconds);
  limits.fileMb = file->value_or(1024);
  return limits;
}

fs::path ProgramInterpreter(const fs::path& program) {
  std::ifstream in(program, std::ios::binary);
  Elf64_Ehdr header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
    return {};
  }
  for (int i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr segment{};
    in.seekg(static_cast<std::streamoff>(header.e_phoff + i * sizeof segment));
    if (!in.read(reinterpret_cast<char*>(&segment), sizeof segment)) return {};
    if (segment.p_type != PT_INTERP || segment.p_filesz == 0 || segment.p_filesz > 4096) continue;
    std::string path(segment.p_filesz, '\0');
    in.seekg(static_cast<std::streamoff>(segment.p_offset));
    if (!in.read(path.data(), static_cast<std::streamsize>(path.size()))) return {};
    return fs::path(path.c_str());
  }
  return {};
}

platform::ConfinementRules RendererRules(const fs::path& program, const fs::path& jobFolder, const fs::path& home,
                                         const fs::path& extraReads) {
  platform::ConfinementRules rules;
  rules.write = {jobFolder};
  rules.execute = {program};
  if (const fs::path loader = ProgramInterpreter(program); !loader.empty()) rules.execute.push_back(loader);
  rules.read = {"/usr/lib",
                "/lib",
                "/lib64",
                "/etc/ld.so.cache",
                "/etc/localtime",
                "/usr/share/zoneinfo",
                "/usr/share/locale",
                kPovrayShare,
                kPovrayFonts,
                kPovraySystemConfig,
                "/sys/devices/system/cpu",
                "/dev/null",
                "/dev/urandom",
                home};
  if (!extraReads.empty()) rules.read.push_back(extraReads);
  return rules;
}

namespace {

// povray compares its permitted folders by name, with the working folder
// as getcwd() gives it: both spellings of a folder reached by a link.
std::string PermittedFolder(const std::string& access, const fs::path& folder) {
  std::string lines = access + "* = \"" + folder.string() + "\"\n";
  std::error_code ec;
  const fs::path real = fs::weakly_canonical(folder, ec);
  if (!ec && real != folder) lines += access + "* = \"" + real.string() + "\"\n";
  return lines;
}

}  // namespace

platform::StatusOr<std::map<std::string, std::string>> WriteRendererConfiguration(const fs::path& home,
                                                                                  const fs::path& jobFolder) {
  const fs::path folder = home / ".povray" / "3.7";
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return platform::Status::Error("cannot make " + folder.string() + ": " + ec.message());
  std::string conf = "[File I/O Security]\nrestricted\n[Shellout Security]\nforbidden\n[Permitted Paths]\n";
  for (const fs::path readable :
       {fs::path(kPovrayShare), fs::path(kPovrayFonts), fs::path(kPovraySystemConfig), home}) {
    conf += PermittedFolder("read", readable);
  }
  conf += PermittedFolder("read+write", jobFolder);
  // What Debian's own povray.ini sets, so that pictures stay as they were.
  const std::string ini = std::string("Width = 800\nHeight = 600\nBounding_Threshold = 3\nDisplay=On\nVerbose=On\n") +
                          "Library_Path=\"" + kPovrayShare + "\"\nLibrary_Path=\"" + kPovrayShare +
                          "/ini\"\nLibrary_Path=\"" + kPovrayShare +
                          "/include\"\nOutput_to_File=true\nOutput_File_Type=N8\n";
  // The INI lies beside the configuration's folder, which povray keeps
  // scenes out of, and where the configuration lets it read.
  for (const auto& [file, text] : {std::pair{folder / "povray.conf", conf}, std::pair{home / "povray.ini", ini}}) {
    if (platform::Status written = WriteText(file, text); !written) return written;
  }
  return std::map<std::string, std::string>{{"HOME", home.string()}, {"POVINI", (home / "povray.ini").string()}};
}

}  // namespace engine
