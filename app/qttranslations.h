#ifndef QTTRANSLATIONS_H
#define QTTRANSLATIONS_H

class QCoreApplication;

// Puts Qt's own texts (standard buttons, file dialogs, context menus) in French, like the rest of
// the interface, from Qt's translation catalogue "qtbase_fr" in Qt's translations folder. False,
// and the texts stay English, when that catalogue is not installed.
bool installQtTranslations(QCoreApplication &app);

#endif // QTTRANSLATIONS_H
