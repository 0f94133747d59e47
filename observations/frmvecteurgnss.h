#ifndef FRMVECTEURGNSS_H
#define FRMVECTEURGNSS_H

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTableWidget;

// Switches the GNSS baseline blocks of one observation file on and off and sets the covariance
// scale factor and PPM of all its COV headers; "Valider" rewrites the file on disk.
class frmVecteurGNSS : public QDialog
{
    Q_OBJECT

public:
    explicit frmVecteurGNSS(const QString &path, QWidget *parent = nullptr);

private slots:
    void doProcess();

private:
    void readFile();
    bool readField(const QLineEdit *edit, const QString &name, double &value);

    QString m_path;
    QTableWidget *m_table = nullptr;
    QLineEdit *m_factor = nullptr;
    QLineEdit *m_ppm = nullptr;
    QPushButton *m_validate = nullptr;
};

#endif // FRMVECTEURGNSS_H
