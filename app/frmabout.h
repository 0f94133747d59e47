#ifndef FRMABOUT_H
#define FRMABOUT_H

#include <QDialog>

// The about box: product picture, full title, authors, the engine's version and the workbench's
// version date. It has no buttons; the window's close button closes it.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);
};

#endif // FRMABOUT_H
