#include "frmsplash.h"

#include "mainwindow.h"
#include "productinfo.h"

#include <QFont>

frmSplash::frmSplash()
    : QSplashScreen(QPixmap(QStringLiteral(":/images/tavlo.png")))
{
    QFont font(QStringLiteral("Arial"));
    font.setWeight(QFont::Bold);
    font.setPixelSize(12);
    font.setStretch(125);
    setFont(font);
    showMessage(productTitleLines().join(QStringLiteral("\r\n")), Qt::AlignBottom | Qt::AlignRight,
                Qt::darkRed);
}

void frmSplash::connectToMainWindow(MainWindow &window)
{
    m_window = &window;
    connect(this, &frmSplash::changeNewVersionMenu, &window, &MainWindow::changeNewVersionMenu);
}

void frmSplash::mousePressEvent(QMouseEvent *event)
{
    QSplashScreen::mousePressEvent(event); // hides the splash screen
    // The click went to the splash screen: without this the main window would stay without
    // the keyboard, its shortcuts dead, until it is clicked too.
    if (m_window && isHidden()) {
        m_window->raise();
        m_window->activateWindow();
    }
}
