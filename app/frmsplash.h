#ifndef FRMSPLASH_H
#define FRMSPLASH_H

#include <QPointer>
#include <QSplashScreen>

class MainWindow;

// The start-up picture with the product's full title. It also carries the notice of a newer
// version to the main window: the workbench makes no network request of its own, so nothing
// emits changeNewVersionMenu yet.
class frmSplash : public QSplashScreen
{
    Q_OBJECT

public:
    frmSplash();

    // Lets the version notice show or hide the main window's "Nouvelle version disponible !",
    // and gives the main window the keyboard when the splash screen is clicked away.
    void connectToMainWindow(MainWindow &window);

signals:
    void changeNewVersionMenu(bool b);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QPointer<MainWindow> m_window;
};

#endif // FRMSPLASH_H
