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
    connect(this, &frmSplash::changeNewVersionMenu, &window, &MainWindow::changeNewVersionMenu);
}
