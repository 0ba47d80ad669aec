#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;
class QLocale;

// The console's language: which catalogue a choice of View → "Language" means, where the catalogues
// are, and loading them with Qt's own.
namespace nemora::app {

// The choices, as kept under "Settings/Language": the system's locale, English, Simplified Chinese.
inline constexpr const char* kLanguageSystem = "";
inline constexpr const char* kLanguageEnglish = "en";
inline constexpr const char* kLanguageChinese = "zh_CN";

// The catalogue a choice means: "zh_CN" or "en". The system's choice is Simplified Chinese for a Chinese
// locale written in simplified characters (zh_CN, zh_SG, zh_Hans_...), English for every other; an
// unknown choice is the system's.
QString CatalogueFor(const QString& choice, const QLocale& system);

// The choice kept in the settings, and keeping one.
QString ChosenLanguage();
void KeepLanguage(const QString& choice);

// Where the catalogues are looked for: translations/ beside the executable (the build), then the
// installation's share/nemora/translations.
QStringList TranslationFolders();

// Installs the console's catalogue `catalogue` (from the first folder that has it), Qt's own for its
// dialogs and buttons, and the core's translator, in place of any installed before. Returns false when
// the console's catalogue was found nowhere: its texts then stay as written.
bool InstallTranslations(QCoreApplication& app, const QString& catalogue, const QStringList& folders);

} // namespace nemora::app
