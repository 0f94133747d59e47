#ifndef FRMEDITORIOB_H
#define FRMEDITORIOB_H

#include "recordcatalogue.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QVector>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The field editor: one line of an observation file shown as a form of labelled inputs, one per
// field of the line's record type, and turned back into a correctly laid-out line on request.
// It never touches a document itself: the main window hands it lines and acts on its signals.
class frmEditorIOB : public QDialog
{
    Q_OBJECT

public:
    explicit frmEditorIOB(QWidget *parent = nullptr);

    // Shows `line` with the entry its first columns select: the include entry for "#", the
    // record type whose code is in columns 2 to 5, the comment entry otherwise.
    void setLine(const QString &line);

    // Entries of the selector after the record types.
    int includeEntry() const { return m_records.size(); }
    int commentEntry() const { return m_records.size() + 1; }

signals:
    void ajoutLigne(const QString &line);
    void remplaceLigne(const QString &line);
    void suivanteLigne();
    void precedenteLigne();

public slots:
    void quiteditor();
    void addline();
    void replace();
    void previous();
    void next();
    // Fills the form for selector entry `index` from the current line.
    void reDrawEditor(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void populateRecords();

private:
    static constexpr int kRowCount = 12; // the largest record has 10 fields

    void showTextRow(const QString &caption, const QString &tooltip, const QString &text,
                     int minimumWidth);
    void hideRowsFrom(int first);
    // The line the form describes, or nothing when a value does not fit its field (the user has
    // then been told which one).
    std::optional<QString> buildLine();
    // Shows the columns and unit of the field of `row` of the form, or nothing.
    void showFieldInfo(int row);

    QVector<RecordType> m_records;
    QList<QLabel *> m_labels;
    QList<QLineEdit *> m_edits;
    QList<QComboBox *> m_choices;
    QString m_currentLine;
    QPushButton *m_quitButton = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_replaceButton = nullptr;
    QPushButton *m_previousButton = nullptr;
    QPushButton *m_nextButton = nullptr;
    QComboBox *m_entrySelector = nullptr;
    // Says when the engine cannot read the selected record type yet.
    QLabel *m_engineNote = nullptr;
    // The columns and unit of the field that has the focus.
    QLabel *m_fieldInfo = nullptr;
};

#endif // FRMEDITORIOB_H
