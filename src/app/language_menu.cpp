#include "app/language_menu.h"

#include "app/translations.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

namespace nemora::app {

void AddLanguageMenu(QMenu* view, QWidget* window)
{
    QMenu* menu = view->addMenu(QCoreApplication::translate("LanguageMenu", "&Language"));
    auto* group = new QActionGroup(menu);
    const QString chosen = ChosenLanguage();
    const QString shownCatalogue = CatalogueFor(chosen, QLocale::system());
    struct Choice {
        const char* value;
        QString label;
    };
    // The languages by their own names, as every desktop lists them.
    const Choice choices[] = {
        {kLanguageSystem, QCoreApplication::translate("LanguageMenu", "System Language")},
        {kLanguageEnglish, QStringLiteral("English")},
        {kLanguageChinese, QStringLiteral("简体中文")},
    };
    for (const Choice& choice : choices) {
        QAction* action = menu->addAction(choice.label);
        action->setCheckable(true);
        action->setActionGroup(group);
        const QString value = choice.value;
        action->setChecked(value == chosen || (choice.value == kLanguageSystem && chosen != kLanguageEnglish &&
                                               chosen != kLanguageChinese));
        QObject::connect(action, &QAction::triggered, window, [value, shownCatalogue, window] {
            KeepLanguage(value);
            if (CatalogueFor(value, QLocale::system()) == shownCatalogue)
                return;
            QMessageBox::information(
                window, window->windowTitle(),
                QCoreApplication::translate("LanguageMenu",
                                            "The console shows the language you chose at its next start."));
        });
    }
}

} // namespace nemora::app
