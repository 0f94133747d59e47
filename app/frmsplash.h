#ifndef FRMSPLASH_H
#define FRMSPLASH_H

#include <QSplashScreen>

// The start-up picture with the product's full title. It also carries the notice of a newer
// version to the main window: the workbench makes no network request of its own, so nothing
// emits changeNewVersionMenu yet.
class frmSplash : public QSplashScreen
{
    Q_OBJECT

public:
    frmSplash();

signals:
    void changeNewVersionMenu(bool b);
};

#endif // FRMSPLASH_H
