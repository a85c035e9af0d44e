#include "platform/Translation.h"

#include <QTranslator>

#include "platform/Texts.h"

// The translations are a resource of this static library; Q_INIT_RESOURCE
// must not be used inside a namespace.
static void InitTranslationResource() { Q_INIT_RESOURCE(farm_translations); }

namespace platform {
namespace {

// Every text of the farm is in this one context of the .ts file.
constexpr char kContext[] = "farm";

QTranslator*& Translator() {
  static QTranslator* translator = nullptr;  // once loaded, kept for good
  return translator;
}

}  // namespace

void InstallTranslation() {
  if (!EnglishLocale() || Translator() != nullptr) return;
  InitTranslationResource();
  auto* translator = new QTranslator;
  if (!translator->load(QStringLiteral(":/i18n/renderfarm_en.qm"))) {
    delete translator;
    return;
  }
  Translator() = translator;
  SetTextTranslation([translator](const std::string& text) {
    const QString done = translator->translate(kContext, text.c_str());
    return done.isEmpty() ? text : done.toStdString();
  });
}

QString QtText(const char* text) { return QString::fromStdString(Text(text)); }

}  // namespace platform
