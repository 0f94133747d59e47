#ifndef FRMGEOID_H
#define FRMGEOID_H

#include <QDialog>

class QLabel;
class QLineEdit;

// Has the engine turn a geoid grid into a geoid file of its own (extension .geo).
class frmGeoid : public QDialog
{
    Q_OBJECT

public:
    explicit frmGeoid(QWidget *parent = nullptr);

private slots:
    void selectInput();
    void selectOutput();
    void convertir();
    void quitte();

private:
    // Shows `text` in the status label, the window growing when it takes more lines.
    void showStatus(const QString &text);

    QLineEdit *m_input = nullptr;
    QLineEdit *m_output = nullptr;
    QLabel *m_status = nullptr;
};

#endif // FRMGEOID_H
