#include "platform/ClassRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/Com.h"

namespace platform::com {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(s[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Reads a quoted string at line[*pos]; moves *pos past it.
bool Unquote(const std::string& line, std::size_t* pos, std::string* out) {
  std::size_t i = *pos;
  if (i >= line.size() || line[i] != '"') return false;
  out->clear();
  for (++i; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (++i >= line.size()) return false;
      c = line[i];
      if (c == 'n') {
        c = '\n';
      } else if (c != '\\' && c != '"') {
        return false;
      }
    }
    *out += c;
  }
  return false;
}

bool ValidKeyPath(const std::string& key) {
  if (key.empty() || key.front() == '\\' || key.back() == '\\') return false;
  if (key.find("\\\\") != std::string::npos) return false;
  return std::none_of(key.begin(), key.end(), [](char c) { return c == '\n' || c == '\r'; });
}

// Holds an exclusive lock on a file for its life.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes `text` beside `path` and renames it over `path`.
bool ReplaceFile(const std::filesystem::path& path, const std::string& text, std::string* error) {
  std::string temp = path.string() + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    *error = path.string() + ": cannot write a temporary file: " + std::strerror(errno);
    return false;
  }
  const bool ok = WriteAll(fd, text) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    *error = path.string() + ": cannot write: " + std::strerror(ok ? errno : err);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool NoCase::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

std::filesystem::path ClassRegistry::SystemPath() { return "/etc/renderfarm/classes.reg"; }

std::filesystem::path ClassRegistry::DefaultPath() {
  std::filesystem::path config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg == '/') {
    config = xdg;
  } else {
    const char* home = std::getenv("HOME");
    config = std::filesystem::path(home != nullptr && *home != '\0' ? home : "/") / ".config";
  }
  return config / "renderfarm" / "classes.reg";
}

HRESULT ClassRegistry::Load(const std::filesystem::path& path, ClassRegistry* out, std::string* error) {
  *out = ClassRegistry();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) return S_OK;
    *error = path.string() + ": cannot read: " + std::strerror(errno);
    return kE_REGISTRY_IO;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    *error = path.string() + ": cannot read";
    return kE_REGISTRY_IO;
  }
  if (!out->Parse(text.str(), path.string(), error)) {
    *out = ClassRegistry();
    return kE_REGISTRY_CORRUPT;
  }
  return S_OK;
}

HRESULT ClassRegistry::Edit(const std::filesystem::path& path, const std::function<HRESULT(ClassRegistry&)>& change,
                            std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) {
    *error = path.parent_path().string() + ": cannot create the folder: " + ec.message();
    return kE_REGISTRY_IO;
  }
  FileLock lock(path.string() + ".lock");
  if (!lock.held()) {
    *error = path.string() + ".lock: cannot lock: " + std::strerror(errno);
    return kE_REGISTRY_IO;
  }
  ClassRegistry registry;
  HRESULT hr = Load(path, &registry, error);
  if (Failed(hr)) return hr;
  const std::string before = registry.Serialize();
  hr = change(registry);
  const std::string after = registry.Serialize();
  if (after != before && !ReplaceFile(path, after, error)) return kE_REGISTRY_IO;
  return hr;
}

bool ClassRegistry::Parse(const std::string& text, const std::string& name, std::string* error) {
  keys_.clear();
  std::istringstream in(text);
  std::string line;
  std::string key;  // the section being read; empty before the first
  int number = 0;
  auto fail = [&](const std::string& problem) {
    *error = name + ":" + std::to_string(number) + ": " + problem;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == ';') continue;
    std::size_t end = line.find_last_not_of(" \t");
    const std::string body = line.substr(start, end - start + 1);
    if (body.front() == '[') {
      if (body.back() != ']') return fail("a key line must end with ']'");
      key = body.substr(1, body.size() - 2);
      if (!ValidKeyPath(key)) return fail("bad key path '" + key + "'");
      CreateKey(key);
      continue;
    }
    if (key.empty()) return fail("a value before the first [key] line");
    std::string valueName;
    std::size_t pos = 0;
    if (body.front() == '@') {
      pos = 1;
    } else if (!Unquote(body, &pos, &valueName)) {
      return fail("expected @ or a quoted value name");
    } else if (valueName.empty()) {
      return fail("empty value name (the default value is written @)");
    }
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    if (pos >= body.size() || body[pos] != '=') return fail("expected '=' after the value name");
    ++pos;
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    std::string value;
    if (!Unquote(body, &pos, &value)) return fail("expected a quoted value");
    if (pos != body.size()) return fail("text after the value");
    keys_[key][valueName] = value;
  }
  return true;
}

std::string ClassRegistry::Serialize() const {
  std::string out =
      "; Class registry of the render farm's component libraries (one user).\n"
      "; Written by their registration (farmreg LIBRARY); farmreg -u LIBRARY removes a library's classes.\n";
  for (const auto& [key, values] : keys_) {
    out += "\n[" + key + "]\n";
    for (const auto& [name, value] : values) {
      out += (name.empty() ? std::string("@") : Quote(name)) + "=" + Quote(value) + "\n";
    }
  }
  return out;
}

bool ClassRegistry::HasKey(const std::string& key) const { return keys_.count(key) != 0; }

std::optional<std::string> ClassRegistry::Value(const std::string& key, const std::string& name) const {
  auto k = keys_.find(key);
  if (k == keys_.end()) return std::nullopt;
  auto v = k->second.find(name);
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

void ClassRegistry::CreateKey(const std::string& key) {
  for (std::size_t slash = key.find('\\'); slash != std::string::npos; slash = key.find('\\', slash + 1)) {
    keys_.try_emplace(key.substr(0, slash));
  }
  keys_.try_emplace(key);
}

void ClassRegistry::SetValue(const std::string& key, const std::string& name, const std::string& value) {
  CreateKey(key);
  keys_[key][name] = value;
}

void ClassRegistry::DeleteValue(const std::string& key, const std::string& name) {
  auto k = keys_.find(key);
  if (k != keys_.end()) k->second.erase(name);
}

void ClassRegistry::DeleteTree(const std::string& key) {
  const std::string below = key + "\\";
  for (auto k = keys_.begin(); k != keys_.end();) {
    if (!NoCase()(k->first, key) && !NoCase()(key, k->first)) {
      k = keys_.erase(k);
    } else if (StartsWithNoCase(k->first, below)) {
      k = keys_.erase(k);
    } else {
      ++k;
    }
  }
}

bool ClassRegistry::HasSubkeys(const std::string& key) const {
  const std::string below = key + "\\";
  return std::any_of(keys_.begin(), keys_.end(), [&](const auto& k) { return StartsWithNoCase(k.first, below); });
}

}  // namespace platform::com
