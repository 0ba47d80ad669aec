#include "app/translations.h"

#include "i18n/translate.h"
#include "widgets/message_box_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace nemora::app {

namespace {

constexpr const char* kLanguageKey = "Settings/Language";
// Marks the translators installed here, so that a second call replaces them.
constexpr const char* kTranslatorName = "nemora-translator";

std::string TranslateCoreText(const char* context, const char* source)
{
    return QCoreApplication::translate(context, source).toStdString();
}

} // namespace

QString CatalogueFor(const QString& choice, const QLocale& system)
{
    if (choice == QLatin1String(kLanguageEnglish) || choice == QLatin1String(kLanguageChinese))
        return choice;
    const bool simplified = system.script() == QLocale::SimplifiedHanScript ||
                            (system.script() == QLocale::AnyScript && system.territory() != QLocale::Taiwan &&
                             system.territory() != QLocale::HongKong && system.territory() != QLocale::Macau);
    return system.language() == QLocale::Chinese && simplified ? QString(kLanguageChinese) : QString(kLanguageEnglish);
}

QString ChosenLanguage()
{
    return QSettings(kSettingsOrganization, kSettingsApplication).value(kLanguageKey).toString();
}

void KeepLanguage(const QString& choice)
{
    QSettings(kSettingsOrganization, kSettingsApplication).setValue(kLanguageKey, choice);
}

QStringList TranslationFolders()
{
    const QString here = QCoreApplication::applicationDirPath();
    // NEMORA_BINDIR_TO_DATA: the install's bin folder to its share/nemora, e.g. "../share/nemora".
    return {here + "/translations",
            QDir::cleanPath(here + "/" + QStringLiteral(NEMORA_BINDIR_TO_DATA) + "/translations")};
}

bool InstallTranslations(QCoreApplication& app, const QString& catalogue, const QStringList& folders)
{
    for (QTranslator* old : app.findChildren<QTranslator*>(kTranslatorName, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    auto install = [&app](const QString& name, const QString& folder) {
        auto* translator = new QTranslator(&app);
        translator->setObjectName(kTranslatorName);
        if (!translator->load(name, folder)) {
            delete translator;
            return false;
        }
        QCoreApplication::installTranslator(translator);
        return true;
    };
    // Qt's own texts: the file and font dialogs, the message boxes' standard buttons.
    if (catalogue != QLatin1String(kLanguageEnglish))
        install("qtbase_" + catalogue, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    bool found = false;
    for (const QString& folder : folders) {
        if (install("nemora_" + catalogue, folder)) {
            found = true;
            break;
        }
    }
    i18n::SetTranslator(found ? &TranslateCoreText : nullptr);
    return found;
}

} // namespace nemora::app
