#pragma once
#include <QString>

// Qt's translation of the programs' texts (platform/renderfarm_en.ts,
// built into this library).
namespace platform {

// With an English locale (EnglishLocale()), loads the English translation
// and makes Text() and QtText() use it; otherwise leaves the built-in texts.
// Call once at start, before other threads, with or without a
// QCoreApplication.
void InstallTranslation();

// The text to show for the built-in text `text` (UTF-8), as a QString.
QString QtText(const char* text);

}  // namespace platform
