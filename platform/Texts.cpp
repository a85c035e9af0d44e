#include "platform/Texts.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform {
namespace {

std::function<std::string(const std::string&)>& Translation() {
  static std::function<std::string(const std::string&)> translate;
  return translate;
}

}  // namespace

std::string Text(const std::string& text) {
  const auto& translate = Translation();
  return translate ? translate(text) : text;
}

void SetTextTranslation(std::function<std::string(const std::string&)> translate) {
  Translation() = std::move(translate);
}

bool EnglishLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::strncmp(value, "en", 2) == 0;
  }
  return false;
}

}  // namespace platform
