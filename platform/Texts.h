#pragma once
#include <functional>
#include <string>

// The texts the programs show an operator. The built-in texts (Chinese) are
// the default; a program that installed a translation (platform_qt's
// InstallTranslation) shows them in that language instead. Code without Qt
// goes through Text(); message boxes translate their text themselves.
namespace platform {

// Answers the text to show for the built-in text `text` (UTF-8): its
// translation, or `text` itself when there is none. Any thread.
std::string Text(const std::string& text);

// Installs the function Text() uses; empty: no translation. Call it before
// other threads start.
void SetTextTranslation(std::function<std::string(const std::string&)> translate);

// True when the operator's locale asks for English: the first set one of
// LC_ALL, LC_MESSAGES and LANG begins with "en".
bool EnglishLocale();

}  // namespace platform
