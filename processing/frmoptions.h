#ifndef FRMOPTIONS_H
#define FRMOPTIONS_H

#include "configuration.h"

#include <QDialog>
#include <QHash>
#include <QVector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QTabWidget;

// The configuration editor: one control per key of a configuration file, in seven tabs. It shows
// the file named by readConfiguration() and rewrites it whole on "Sauver". Every control's
// object name is its key ("NBMAXITER"); a check box of a Digits key or of "LOG_SOLFIN" is named
// after its key and its index ("REG1D_TYPE_0", "LOG_SOLFIN_5").
class frmoptions : public QDialog
{
    Q_OBJECT

public:
    explicit frmoptions(QWidget *parent = nullptr);

    // Shows `path` as the edited file and sets the controls from it. A file that cannot be read
    // leaves the controls as they are.
    void readConfiguration(const QString &path);
    QString filePath() const;

    void setConfiguration(const Configuration &configuration);
    Configuration configuration() const;

public slots:
    void annuler();
    // Writes the file and closes; when the file cannot be written, says why and stays open.
    void sauver();
    // Relabels the component check boxes for the coordinate type `index` (XYZ, PLU, NEU).
    void changeCoordType(int index);

private:
    QWidget *adjustmentTab();
    QWidget *statisticsTab();
    QWidget *regionsTab();
    QWidget *reportTab();
    QWidget *matricesTab();
    QWidget *epochsTab();
    QWidget *drawingTab();

    QComboBox *makeChoice(QWidget *parent, const QString &key, const QStringList &captions);
    QComboBox *makeCount(QWidget *parent, const QString &key);
    QLineEdit *makeText(QWidget *parent, const QString &key);
    QCheckBox *makeFlag(QWidget *parent, const QString &key, const QString &caption);
    QCheckBox *makeDigit(QWidget *parent, const QString &key, int index, const QString &caption);
    QComboBox *makeFixedFormat(QWidget *parent);
    void addRow(QGridLayout *grid, const QString &label, QWidget *field);

    QLabel *m_fileLabel = nullptr;
    QTabWidget *m_tabs = nullptr;
    QHash<QString, QComboBox *> m_combos; // Choice and Count keys
    QHash<QString, QLineEdit *> m_texts;
    QHash<QString, QCheckBox *> m_flags;
    QHash<QString, QVector<QCheckBox *>> m_digits; // Digits keys and "LOG_SOLFIN"
};

#endif // FRMOPTIONS_H
