#ifndef FRMCONVERT_H
#define FRMCONVERT_H

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

// The import dialog: has the engine turn Covadis, Leica SKI, RTKLib or Leica GSI field data into
// one observation file, one engine call per input file.
class frmConvert : public QDialog
{
    Q_OBJECT

public:
    explicit frmConvert(QWidget *parent = nullptr);

    // The options string of one engine call: one "O" (box checked) or "N" per option of the kind
    // (`kindIndex` in the order of the kind selector), then "N" when the call creates the output
    // (`createsOutput`: the first file of the run, or a later one while none has been converted)
    // and "O" when it appends to it.
    static QString optionsString(int kindIndex, bool firstOption, bool secondOption,
                                 bool createsOutput);

private slots:
    void changeOptions(int index);
    void selectInput();
    void selectOutput();
    void convertir();
    void quitte();

private:
    // Shows `text` in the status label, the window growing when it takes more lines.
    void showStatus(const QString &text);

    QComboBox *m_kind = nullptr;
    QListWidget *m_inputList = nullptr;
    QStringList m_inputs;
    QLineEdit *m_output = nullptr;
    QCheckBox *m_firstOption = nullptr;
    QCheckBox *m_secondOption = nullptr;
    QLabel *m_status = nullptr;
};

#endif // FRMCONVERT_H
