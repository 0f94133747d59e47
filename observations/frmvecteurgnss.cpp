#include "frmvecteurgnss.h"

#include "gnssvectors.h"
#include "prompts.h"
#include "textfile.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

frmVecteurGNSS::frmVecteurGNSS(const QString &path, QWidget *parent)
    : QDialog(parent)
    , m_path(path)
{
    setWindowTitle(tr("Gestion des vecteurs GNSS"));

    auto *pathLabel = new QLabel(path, this);
    pathLabel->setAlignment(Qt::AlignCenter);

    m_table = new QTableWidget(0, 2, this);
    m_table->setObjectName(QStringLiteral("baselines"));
    m_table->setHorizontalHeaderLabels({tr("Station"), tr("Point visé")});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setMinimumWidth(600);
    m_table->verticalHeader()->hide();
    auto *baselineGroup = new QGroupBox(tr("Sélection des lignes de base GNSS"), this);
    auto *baselineLayout = new QVBoxLayout(baselineGroup);
    baselineLayout->addWidget(m_table);

    auto *factorLabel = new QLabel(tr("Facteur multiplicatif (tout) :"), this);
    // The caption is wider than its 150 pixels in most fonts: it takes two lines rather than
    // being cut.
    factorLabel->setFixedWidth(150);
    factorLabel->setWordWrap(true);
    m_factor = new QLineEdit(this);
    m_factor->setObjectName(QStringLiteral("factor"));
    m_ppm = new QLineEdit(this);
    m_ppm->setObjectName(QStringLiteral("ppm"));
    auto *covarianceGroup = new QGroupBox(tr("Modification globale des covariances"), this);
    auto *covarianceLayout = new QHBoxLayout(covarianceGroup);
    covarianceLayout->addWidget(factorLabel);
    covarianceLayout->addWidget(m_factor);
    covarianceLayout->addWidget(new QLabel(tr("PPM (diagonale) :"), this));
    covarianceLayout->addWidget(m_ppm);

    m_validate = new QPushButton(tr("Valider"), this);
    auto *cancel = new QPushButton(tr("Annuler"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_validate);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pathLabel);
    layout->addWidget(baselineGroup);
    layout->addWidget(covarianceGroup);
    layout->addLayout(buttons);

    connect(m_validate, &QPushButton::clicked, this, &frmVecteurGNSS::doProcess);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    readFile();
}

void frmVecteurGNSS::readFile()
{
    TextFileContent content;
    QString error;
    if (!readTextFile(m_path, content, error)) {
        // Without the file's blocks on screen, "Valider" would rewrite a file the user never saw.
        m_validate->setEnabled(false);
        m_factor->setText(factorFieldText(1.0));
        m_ppm->setText(ppmFieldText(0.0));
        prompts::warning(this, windowTitle(),
                         tr("Impossible de lire le fichier %1 :\n%2.\nLe fichier ne sera pas "
                            "modifié.")
                             .arg(m_path, error));
        return;
    }

    const GnssVectorSummary summary = readGnssVectors(content.text);
    m_table->setRowCount(summary.baselines.size());
    for (int row = 0; row < summary.baselines.size(); ++row) {
        const GnssBaseline &baseline = summary.baselines.at(row);
        auto *station = new QTableWidgetItem(baseline.station);
        station->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        station->setCheckState(baseline.active ? Qt::Checked : Qt::Unchecked);
        auto *target = new QTableWidgetItem(baseline.target);
        target->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_table->setItem(row, 0, station);
        m_table->setItem(row, 1, target);
    }
    m_factor->setText(factorFieldText(summary.factor));
    m_ppm->setText(ppmFieldText(summary.ppm));
}

bool frmVecteurGNSS::readField(const QLineEdit *edit, const QString &name, double &value)
{
    if (parseCovarianceValue(edit->text(), value))
        return true;
    prompts::warning(this, windowTitle(),
                     tr("Le champ \"%1\" doit contenir un nombre d'au plus 10 caractères avec 3 "
                        "décimales : \"%2\" ne convient pas.\nLe fichier n'a pas été modifié.")
                         .arg(name, edit->text()));
    return false;
}

void frmVecteurGNSS::doProcess()
{
    double factor = 1.0;
    double ppm = 0.0;
    if (!readField(m_factor, tr("Facteur multiplicatif (tout)"), factor) ||
        !readField(m_ppm, tr("PPM (diagonale)"), ppm))
        return;

    TextFileContent content;
    QString error;
    if (!readTextFile(m_path, content, error)) {
        prompts::warning(this, windowTitle(),
                         tr("Impossible de lire le fichier %1 :\n%2.\nLe fichier n'a pas été "
                            "modifié.")
                             .arg(m_path, error));
        return;
    }

    QVector<bool> active(m_table->rowCount());
    for (int row = 0; row < active.size(); ++row)
        active[row] = m_table->item(row, 0)->checkState() == Qt::Checked;
    content.text = rewriteGnssVectors(content.text, active, factor, ppm);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = writeTextFile(m_path, content, error);
    QApplication::restoreOverrideCursor();
    if (!written) {
        prompts::warning(this, windowTitle(),
                         tr("Impossible d'écrire le fichier %1 :\n%2.\nLe fichier n'a pas été "
                            "modifié.")
                             .arg(m_path, error));
        return;
    }
    accept();
}
