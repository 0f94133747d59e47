#include "frmresult.h"

#include "doubleslider.h"
#include "ficreader.h"
#include "myplotarea.h"
#include "observationtexts.h"
#include "prompts.h"
#include "reportcriticalvalue.h"
#include "residualcsv.h"
#include "residualtablemodel.h"
#include "sharedhelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kSummaryMaxWidth = 300;
constexpr int kResidualsMaxWidth = 150;
constexpr int kResidualsSideMargin = 4;
constexpr int kResidualItemPadding = 8; // text margins of a list item, both sides
constexpr int kGroupFrame = 2;
constexpr int kValidSwatchExtra = 24;
constexpr int kRankLabelMaxWidth = 50;
constexpr int kObservationCaptionMinWidth = 80;
constexpr int kControlsGap = 100;
constexpr int kWindowMinWidth = 400;
constexpr int kWindowMaxWidth = 600;
constexpr int kTableMinHeight = 160;
// Entries of the graph choice.
constexpr int kGraphRanking = 1;
constexpr int kGraphHistogram = 2;

QLabel *addValueRow(QGridLayout *grid, const QString &caption, const QString &initial,
                    const QString &name)
{
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(caption), row, 0);
    auto *value = new QLabel(initial);
    value->setObjectName(name);
    grid->addWidget(value, row, 1);
    return value;
}

QLineEdit *readOnlyEdit(const QString &name)
{
    auto *edit = new QLineEdit;
    edit->setReadOnly(true);
    edit->setObjectName(name);
    return edit;
}

} // namespace

RankRange rankRange(int count, float a, float b)
{
    const double span = count - 1.0;
    return {int(std::floor(span * a + 1.0)), int(std::ceil(span * b + 1.0))};
}

QString frmResult::title()
{
    return tr("Résultat de traitement");
}

frmResult::frmResult(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title());

    m_pathLabel = new QLabel(tr("Nom fichier FIC"));
    m_pathLabel->setObjectName(QStringLiteral("pathLabel"));

    // Summary of the run.
    auto *summary = new QGroupBox(tr("Résumé du traitement"));
    summary->setMaximumWidth(kSummaryMaxWidth);
    auto *summaryGrid = new QGridLayout(summary);
    m_calculationType =
        addValueRow(summaryGrid, tr("Type de traitement :"), QStringLiteral("TypeAdjust"),
                    QStringLiteral("calculationType"));
    m_varianceFactor = addValueRow(summaryGrid, tr("Facteur de variance :"),
                                   QStringLiteral("s0carre"), QStringLiteral("varianceFactor"));
    m_iterationCount = addValueRow(summaryGrid, tr("Nb itérations :"), QStringLiteral("nbiter"),
                                   QStringLiteral("iterationCount"));
    m_observationCount = addValueRow(summaryGrid, tr("Nb Observations :"), QStringLiteral("nbobs"),
                                     QStringLiteral("observationCount"));
    m_unknownCount = addValueRow(summaryGrid, tr("Nb Paramètres :"), QStringLiteral("nbpar"),
                                 QStringLiteral("unknownCount"));
    m_rejectedCount = addValueRow(summaryGrid, tr("Résidus rejetés :"), QStringLiteral("nbvalid"),
                                  QStringLiteral("rejectedCount"));
    m_epochCountCaption = new QLabel(tr("Nombre d'époques :"));
    m_epochCountCaption->setObjectName(QStringLiteral("epochCountCaption"));
    summaryGrid->addWidget(m_epochCountCaption, summaryGrid->rowCount(), 0);
    m_epochCount = new QLabel(QStringLiteral("0"));
    m_epochCount->setObjectName(QStringLiteral("epochCount"));
    summaryGrid->addWidget(m_epochCount, summaryGrid->rowCount() - 1, 1);

    // Details of the selected observation.
    auto *details = new QGroupBox(tr("Informations détaillées"));
    details->setMaximumWidth(kSummaryMaxWidth);
    auto *detailsLayout = new QVBoxLayout(details);
    auto *pointsGrid = new QGridLayout;
    pointsGrid->addWidget(new QLabel(tr("Station :")), 0, 0);
    pointsGrid->addWidget(new QLabel(tr("Point visé :")), 0, 1);
    m_station = readOnlyEdit(QStringLiteral("station"));
    m_target = readOnlyEdit(QStringLiteral("target"));
    pointsGrid->addWidget(m_station, 1, 0);
    pointsGrid->addWidget(m_target, 1, 1);
    pointsGrid->addWidget(new QLabel(tr("Valide ?")), 2, 0);
    m_valid = new QCheckBox;
    m_valid->setObjectName(QStringLiteral("valid"));
    // Shows the validity only: the user cannot change it.
    m_valid->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_valid->setFocusPolicy(Qt::NoFocus);
    // A small swatch of colour around the indicator rather than a bar across the whole column.
    m_valid->setFixedSize(m_valid->sizeHint() + QSize(kValidSwatchExtra, kValidSwatchExtra / 4));
    pointsGrid->addWidget(m_valid, 2, 1);
    detailsLayout->addLayout(pointsGrid);

    auto *valuesGrid = new QGridLayout;
    const auto addEditRow = [valuesGrid](const QString &caption, QLineEdit *edit) {
        const int row = valuesGrid->rowCount();
        auto *label = new QLabel(caption);
        valuesGrid->addWidget(label, row, 0);
        valuesGrid->addWidget(edit, row, 1);
        return label;
    };
    m_type = readOnlyEdit(QStringLiteral("type"));
    m_value = readOnlyEdit(QStringLiteral("value"));
    m_residual = readOnlyEdit(QStringLiteral("residual"));
    m_reliability = readOnlyEdit(QStringLiteral("reliability"));
    m_epoch = readOnlyEdit(QStringLiteral("epoch"));
    addEditRow(tr("Type"), m_type);
    addEditRow(tr("Observation"), m_value)->setMinimumWidth(kObservationCaptionMinWidth);
    addEditRow(tr("Résidu"), m_residual);
    addEditRow(tr("Fiabilité"), m_reliability);
    m_epochCaption = addEditRow(tr("Epoque"), m_epoch);
    m_epochCaption->setObjectName(QStringLiteral("epochCaption"));
    detailsLayout->addLayout(valuesGrid);

    auto *summaryColumn = new QVBoxLayout;
    summaryColumn->addWidget(summary);
    summaryColumn->addWidget(details);

    // Normalized residuals, one row per observation in rank order.
    m_residuals = new QListWidget;
    m_residuals->setObjectName(QStringLiteral("residuals"));
    m_residuals->setUniformItemSizes(true);
    m_residuals->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont fixed(QStringLiteral("Courrier"), 10);
    fixed.setFixedPitch(true);
    fixed.setStyleHint(QFont::TypeWriter); // falls back on a fixed-pitch family when missing
    m_residuals->setFont(fixed);
    // The list keeps room for a whole 13-character text beside its scroll bar; the box stays
    // within its width unless the fixed-pitch font on hand is too wide for it.
    const int listWidth =
        m_residuals->fontMetrics().horizontalAdvance(QString(13, QLatin1Char('0'))) +
        m_residuals->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
        2 * m_residuals->frameWidth() + kResidualItemPadding;
    m_residuals->setMinimumWidth(listWidth);
    auto *residualGroup = new QGroupBox(tr("Résidus normés"));
    auto *residualLayout = new QVBoxLayout(residualGroup);
    QMargins margins = residualLayout->contentsMargins();
    margins.setLeft(kResidualsSideMargin);
    margins.setRight(kResidualsSideMargin);
    residualLayout->setContentsMargins(margins);
    residualGroup->setMaximumWidth(
        std::max(kResidualsMaxWidth, listWidth + 2 * kResidualsSideMargin + kGroupFrame));
    residualLayout->addWidget(m_residuals);

    auto *quit = new QPushButton(tr("Quitter"));
    auto *goLog = new QPushButton(tr("Voir dans le LOG..."));
    goLog->setObjectName(QStringLiteral("goLog"));
    auto *goIob = new QPushButton(tr("Voir dans le IOB..."));
    goIob->setObjectName(QStringLiteral("goIob"));
    m_graphChoice = new QComboBox;
    m_graphChoice->setObjectName(QStringLiteral("graphChoice"));
    m_graphChoice->addItems({tr("Aucun"), tr("Classement"), tr("Répartition")});
    auto *controls = new QVBoxLayout;
    controls->addWidget(quit);
    controls->addSpacing(kControlsGap);
    controls->addWidget(goLog);
    controls->addWidget(goIob);
    controls->addWidget(new QLabel(tr("Graphique")));
    controls->addWidget(m_graphChoice);
    controls->addStretch();

    auto *middle = new QHBoxLayout;
    middle->addLayout(summaryColumn);
    middle->addWidget(residualGroup);
    middle->addLayout(controls);

    // Every observation with its kind, points and values, sorted and filtered at will.
    m_table = new ResidualTableModel(this);
    auto *tableGroup = new QGroupBox(tr("Liste des observations"));
    tableGroup->setObjectName(QStringLiteral("observationGroup"));
    auto *tableLayout = new QVBoxLayout(tableGroup);
    auto *filterRow = new QHBoxLayout;
    m_rejectedOnly = new QCheckBox(tr("Rejetées seulement"));
    m_rejectedOnly->setObjectName(QStringLiteral("rejectedOnly"));
    m_kindFilter = new QComboBox;
    m_kindFilter->setObjectName(QStringLiteral("kindFilter"));
    m_stationFilter = new QComboBox;
    m_stationFilter->setObjectName(QStringLiteral("stationFilter"));
    auto *exportButton = new QPushButton(tr("Exporter"));
    exportButton->setObjectName(QStringLiteral("export"));
    filterRow->addWidget(m_rejectedOnly);
    filterRow->addWidget(new QLabel(tr("Type :")));
    filterRow->addWidget(m_kindFilter);
    filterRow->addWidget(new QLabel(tr("Station :")));
    filterRow->addWidget(m_stationFilter);
    filterRow->addStretch();
    filterRow->addWidget(exportButton);
    tableLayout->addLayout(filterRow);
    m_tableView = new QTableView;
    m_tableView->setObjectName(QStringLiteral("observationTable"));
    m_tableView->setModel(m_table);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setDefaultSectionSize(m_tableView->fontMetrics().height() + 4);
    m_tableView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_tableView->setSortingEnabled(true);
    m_tableView->setMinimumHeight(kTableMinHeight);
    tableLayout->addWidget(m_tableView);
    fillFilterChoices();

    // Graph of the residuals.
    m_graphGroup = new QGroupBox(tr("Représentation graphique des résidus"));
    m_graphGroup->setObjectName(QStringLiteral("graphGroup"));
    auto *graphLayout = new QVBoxLayout(m_graphGroup);
    m_plot = new myPlotArea;
    m_plot->setObjectName(QStringLiteral("plot"));
    m_plot->setAxesShown(true);
    graphLayout->addWidget(m_plot);
    auto *rangeRow = new QHBoxLayout;
    m_lowRank = new QLabel(QStringLiteral("0"));
    m_lowRank->setObjectName(QStringLiteral("lowRank"));
    m_lowRank->setMaximumWidth(kRankLabelMaxWidth);
    m_slider = new DoubleSlider;
    m_slider->setObjectName(QStringLiteral("slider"));
    // Handles at 0 and 1 stay whole inside the widget, outline included.
    m_slider->setMargins(m_slider->sliderWidth() + 1, m_slider->sliderWidth() + 1);
    m_highRank = new QLabel(QStringLiteral("1"));
    m_highRank->setObjectName(QStringLiteral("highRank"));
    m_highRank->setMaximumWidth(kRankLabelMaxWidth);
    rangeRow->addWidget(m_lowRank);
    rangeRow->addWidget(m_slider);
    rangeRow->addWidget(m_highRank);
    graphLayout->addLayout(rangeRow);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pathLabel);
    layout->addLayout(middle);
    layout->addWidget(tableGroup);
    layout->addWidget(m_graphGroup);
    setMinimumWidth(kWindowMinWidth);
    setMaximumWidth(kWindowMaxWidth);

    connect(quit, &QPushButton::clicked, this, &frmResult::cancel);
    connect(goLog, &QPushButton::clicked, this, &frmResult::goLOG);
    connect(goIob, &QPushButton::clicked, this, &frmResult::goIOB);
    connect(m_graphChoice, qOverload<int>(&QComboBox::currentIndexChanged), this,
            qOverload<int>(&frmResult::showGraphs));
    connect(m_slider, &DoubleSlider::valuesChanged, this,
            qOverload<float, float>(&frmResult::showGraphs));
    connect(m_residuals, &QListWidget::itemSelectionChanged, this, &frmResult::selectObs);
    connect(m_residuals, &QListWidget::currentRowChanged, this, &frmResult::showCurrentInTable);
    connect(m_tableView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmResult::tableRowChanged);
    connect(m_table, &QAbstractItemModel::layoutChanged, this, &frmResult::showCurrentInTable);
    connect(m_rejectedOnly, &QCheckBox::toggled, this, &frmResult::applyFilter);
    connect(m_kindFilter, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &frmResult::applyFilter);
    connect(m_stationFilter, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &frmResult::applyFilter);
    connect(exportButton, &QPushButton::clicked, this, &frmResult::exportObservations);

    m_graphChoice->setCurrentIndex(0);
    m_graphGroup->hide();
}

void frmResult::loadResult(const QString &path)
{
    showResult(path, readFic(path, true));
}

void frmResult::showResult(const QString &path, const FicResult &result)
{
    m_result = result;
    m_pathLabel->setText(path);
    // A failed run lists no observation, here as in the residual list.
    FicResult listed = m_result;
    if (listed.status != 0)
        listed.observations.clear();
    m_table->setResult(listed);
    m_tableView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    fillFilterChoices();
    m_tableView->resizeColumnsToContents();
    const bool tested = m_result.status == 0 && (m_result.testName == QLatin1String("Normale") ||
                                                 m_result.testName == QLatin1String("Tau"));
    m_plot->setCriticalValue(tested ? reportedCriticalValue(m_result.logFile)
                                    : std::numeric_limits<double>::quiet_NaN());
    m_calculationType->setText(m_result.calculationType);
    m_observationCount->setText(QString::number(m_result.observationCount));
    m_highRank->setText(QString::number(m_result.observationCount));
    m_unknownCount->setText(QString::number(m_result.unknownCount));

    if (m_result.status != 0) {
        const QString problem = QStringLiteral("PB");
        m_varianceFactor->setText(problem);
        m_iterationCount->setText(problem);
        m_rejectedCount->setText(problem);
        m_residuals->clear();
        // Nothing of the previous file may stay on show beside this one.
        clearDetails();
    } else {
        // Without a test there is no variance factor to show either.
        m_varianceFactor->setText(m_result.chiSquareResult == ChiSquareOutcome::NotTested
                                      ? QStringLiteral("-")
                                      : QString::number(m_result.varianceFactor, 'g', 6));
        m_iterationCount->setText(QString::number(m_result.iterationCount));
        m_rejectedCount->setText(
            QString::number(m_result.observationCount - m_result.validObservationCount));

        const bool epochs = m_result.epochCount > 1;
        m_epochCaption->setVisible(epochs);
        m_epoch->setVisible(epochs);
        m_epochCountCaption->setVisible(epochs);
        m_epochCount->setVisible(epochs);
        m_epochCount->setText(QString::number(m_result.epochCount));

        QStringList texts;
        texts.reserve(m_result.observations.size());
        for (const FicObservation &observation : qAsConst(m_result.observations))
            texts.append(formatFixed(observation.normalizedResidual, 13, 3));
        m_residuals->clear();
        m_residuals->addItems(texts);
        m_residuals->setCurrentRow(0);
        selectObs();
    }

    // The graph follows the file on show rather than keeping the previous file's residuals.
    showGraphs(m_graphChoice->currentIndex());
}

void frmResult::cancel()
{
    close();
}

void frmResult::goLOG()
{
    const int row = m_residuals->currentRow();
    if (row < 0)
        return;
    if (QFileInfo(m_result.logFile).isFile()) {
        emit gotoLog(m_result.logFile, row + 1);
    } else {
        prompts::warning(this, tr("Fichier LOG absent"),
                         tr("Fichier ") + m_result.logFile + tr(" introuvable."), QMessageBox::Ok);
    }
}

void frmResult::goIOB()
{
    const int row = m_residuals->currentRow();
    if (row < 0 || row >= m_result.observations.size())
        return;
    const FicObservation &observation = m_result.observations.at(row);
    // A file number outside the list names no file, which is then reported as missing.
    const int index = observation.fileNumber - 1;
    const QString file = index >= 0 && index < m_result.observationFiles.size()
                             ? m_result.observationFiles.at(index)
                             : QString();
    if (QFileInfo(file).isFile()) {
        emit gotoIob(file, observation.lineNumber);
    } else {
        prompts::warning(this, tr("Fichier IOB absent"),
                         tr("fichier ") + file + tr(" introuvable."), QMessageBox::Ok);
    }
}

void frmResult::showGraphs(int index)
{
    if (index == kGraphRanking) {
        m_graphGroup->show();
        m_plot->setMode(myPlotArea::ModeRanking);
        m_slider->setEnabled(true);
        m_slider->setMaxValue(1.0f);
        m_slider->setMinValue(0.0f);
        // A slider already at 0 and 1 emits nothing: label the full range all the same.
        showGraphs(m_slider->minValue(), m_slider->maxValue());
    } else if (index == kGraphHistogram) {
        m_graphGroup->show();
        m_plot->setMode(myPlotArea::ModeHistogram);
        m_lowRank->setText(QStringLiteral("1"));
        m_slider->setMaxValue(1.0f);
        m_slider->setMinValue(0.0f);
        m_highRank->setText(QString::number(m_result.observationCount));
        m_slider->setEnabled(false);
    } else {
        m_graphGroup->hide();
        m_plot->setMode(myPlotArea::ModeNone);
    }
    adjustSize();

    QStringList texts;
    const int rows = m_residuals->count();
    texts.reserve(rows);
    for (int row = 0; row < rows; ++row)
        texts.append(m_residuals->item(row)->text());
    m_plot->setData(texts);
}

void frmResult::showGraphs(float a, float b)
{
    const RankRange ranks = rankRange(m_result.observationCount, a, b);
    m_lowRank->setText(QString::number(ranks.low));
    m_highRank->setText(QString::number(ranks.high));
    m_plot->setRange(ranks.low, ranks.high);
}

void frmResult::selectObs()
{
    const int row = m_residuals->currentRow();
    if (row < 0 || row >= m_result.observations.size()) {
        clearDetails();
        return;
    }
    const FicObservation &observation = m_result.observations.at(row);
    m_station->setText(observation.station);
    m_target->setText(observation.target);
    m_type->setText(observation.typeLabel);
    m_value->setText(observationValueText(observation, m_result.angleUnit));
    m_reliability->setText(reliabilityText(observation.reliability));
    m_residual->setText(observationResidualText(observation, m_result.angleUnit));
    m_valid->setChecked(observation.valid);
    QPalette palette = m_valid->palette();
    palette.setColor(QPalette::Button, observation.valid ? QColor(Qt::green) : QColor(Qt::red));
    m_valid->setPalette(palette);
    m_valid->setAutoFillBackground(true);
    m_epoch->setText(QString::number(observation.epoch));
}

void frmResult::clearDetails()
{
    for (QLineEdit *edit :
         {m_station, m_target, m_type, m_value, m_residual, m_reliability, m_epoch})
        edit->clear();
    m_valid->setChecked(false);
    m_valid->setPalette(QPalette());
    m_valid->setAutoFillBackground(false);
}

void frmResult::exportObservations()
{
    const QFileInfo fic(m_pathLabel->text());
    const QString proposed =
        fic.absoluteDir().filePath(fic.completeBaseName() + QStringLiteral("_residus.csv"));
    const QString path = prompts::saveFileName(this, tr("Exporter la liste des observations"),
                                               proposed, tr("Fichier CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!writeResidualCsv(*m_table, path, error)) {
        prompts::warning(this, tr("Exportation impossible"),
                         tr("Le fichier ") + path + tr(" n'a pas pu être écrit : ") + error,
                         QMessageBox::Ok);
    }
}

void frmResult::fillFilterChoices()
{
    const QSignalBlocker blockKinds(m_kindFilter);
    const QSignalBlocker blockStations(m_stationFilter);
    const QSignalBlocker blockRejected(m_rejectedOnly);
    m_rejectedOnly->setChecked(false);
    m_kindFilter->clear();
    m_kindFilter->addItem(tr("Tous"));
    m_kindFilter->addItems(m_table->kinds());
    m_stationFilter->clear();
    m_stationFilter->addItem(tr("Toutes"));
    m_stationFilter->addItems(m_table->stations());
}

void frmResult::applyFilter()
{
    // The first entry of each choice stands for no filter.
    ResidualFilter filter;
    filter.rejectedOnly = m_rejectedOnly->isChecked();
    if (m_kindFilter->currentIndex() > 0)
        filter.kind = m_kindFilter->currentText();
    if (m_stationFilter->currentIndex() > 0)
        filter.station = m_stationFilter->currentText();
    m_table->setFilter(filter);
    showCurrentInTable();
}

void frmResult::showCurrentInTable()
{
    const int row = m_table->rowOfObservation(m_residuals->currentRow());
    QItemSelectionModel *selection = m_tableView->selectionModel();
    if (row < 0) {
        const QSignalBlocker block(selection);
        selection->clear();
        return;
    }
    const QModelIndex index = m_table->index(row, 0);
    if (selection->currentIndex().row() != row || !selection->isRowSelected(row, QModelIndex()))
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_tableView->scrollTo(index);
}

void frmResult::tableRowChanged(const QModelIndex &current)
{
    const int observation = m_table->observationIndex(current.row());
    if (observation >= 0 && observation != m_residuals->currentRow())
        m_residuals->setCurrentRow(observation);
}
