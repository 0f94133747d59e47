#include "qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

bool installQtTranslations(QCoreApplication &app)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_fr"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        return false;
    // The application owns the translator, so it outlives every window.
    translator->setParent(&app);
    return QCoreApplication::installTranslator(translator.release());
}
