#include "frmbilancalcul.h"

#include "ficreader.h"
#include "sharedhelpers.h"
#include "summaryrow.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int kStateColumn = 1;
constexpr int kChiSquareColumn = 6;
constexpr int kColumnCount = 8;

// Paints a coloured cell in its colour even on the selected row, so the state of the run the
// buttons act on, and a failed global test, stay in view; a plain cell shows the selection.
class StateDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem shown(option);
        if (index.data(Qt::BackgroundRole).canConvert<QBrush>())
            shown.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, shown, index);
    }
};

} // namespace

frmBilanCalcul::frmBilanCalcul(const QStringList &files, const QList<bool> &resultWritten)
    : m_table(new QTableWidget(this))
    , m_epochs(new QLabel(this))
    , m_quitButton(new QPushButton(tr("Quitter"), this))
    , m_logButton(new QPushButton(tr("Voir Log"), this))
    , m_infoButton(new QPushButton(tr("Plus d'infos"), this))
{
    setWindowTitle(tr("Bilan de traitement"));
    auto *layout = new QVBoxLayout(this);

    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(true);
    m_table->setColumnCount(kColumnCount);
    m_table->setHorizontalHeaderLabels({tr("Fichier"), tr("Etat"), tr("Calcul"), tr("Nb Obs."),
                                        tr("Nb Inc."), tr("Variance"), tr("Chi-deux"),
                                        tr("Nb iter")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setRowCount(files.size());
    auto *delegate = new StateDelegate(m_table);
    m_table->setItemDelegateForColumn(kStateColumn, delegate);
    m_table->setItemDelegateForColumn(kChiSquareColumn, delegate);

    for (int row = 0; row < files.size(); ++row) {
        const QString path = siblingPath(files.at(row), QStringLiteral(".fic"));
        const bool written = resultWritten.value(row, true);
        FicResult result;
        if (written) {
            result = readFic(path, false);
        } else {
            result.fileName = QFileInfo(path).fileName();
            result.status = 2;
        }
        const QStringList texts = summaryRowTexts(result);
        m_epochTexts.append(summaryEpochText(result));
        for (int column = 0; column < kColumnCount; ++column) {
            auto *item = new QTableWidgetItem(texts.at(column));
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            if (column == kStateColumn) {
                item->setBackground(summaryStateColour(result.status));
                if (!written)
                    item->setToolTip(tr("Ce traitement n'a pas écrit de fichier résultat (un "
                                        "fichier déjà présent vient d'un traitement précédent)."));
            }
            if (column == kChiSquareColumn) {
                const QColor warning = summaryChiSquareColour(result);
                if (warning.isValid())
                    item->setBackground(warning);
            }
            m_table->setItem(row, column, item);
        }
    }
    layout->addWidget(m_table);
    m_epochs->setObjectName(QStringLiteral("epochNames"));
    m_epochs->setWordWrap(true);
    m_epochs->setTextFormat(Qt::PlainText);
    m_epochs->hide();
    layout->addWidget(m_epochs);

    // Every column wide enough for its texts, the whole row in view when the screen allows.
    m_table->resizeColumnsToContents();
    for (int column = 0; column < kColumnCount; ++column)
        m_table->setColumnWidth(column, m_table->columnWidth(column) + 16);
    const int rowWidth = m_table->verticalHeader()->sizeHint().width() +
                         m_table->horizontalHeader()->length() + 2 * m_table->frameWidth() +
                         m_table->verticalScrollBar()->sizeHint().width();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int available = screen ? screen->availableGeometry().width() * 9 / 10 : rowWidth;
    m_table->setMinimumWidth(qBound(800, rowWidth, qMax(800, available)));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_quitButton);
    buttons->addWidget(m_logButton);
    buttons->addWidget(m_infoButton);
    layout->addLayout(buttons);

    connect(m_quitButton, &QPushButton::clicked, this, &frmBilanCalcul::quitte);
    connect(m_logButton, &QPushButton::clicked, this, &frmBilanCalcul::showLog);
    connect(m_infoButton, &QPushButton::clicked, this, &frmBilanCalcul::showInfos);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &frmBilanCalcul::selectionChanged);

    // With no row nothing can be selected: the buttons stay disabled.
    m_logButton->setEnabled(false);
    m_infoButton->setEnabled(false);
    m_table->selectRow(0);
}

void frmBilanCalcul::quitte()
{
    close();
}

void frmBilanCalcul::showLog()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    emit goShowLog(row);
    close();
}

void frmBilanCalcul::showInfos()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    emit goShowFic(row);
    close();
}

void frmBilanCalcul::selectionChanged()
{
    const int row = selectedRow();
    const QString state = row < 0 ? QString() : m_table->item(row, kStateColumn)->text();
    const QString epochs = m_epochTexts.value(row);
    m_epochs->setText(epochs);
    m_epochs->setVisible(!epochs.isEmpty());
    m_logButton->setEnabled(state == tr("OK") || state == tr("Voir LOG"));
    m_infoButton->setEnabled(state == tr("OK"));
}

int frmBilanCalcul::selectedRow() const
{
    // The selection is updated before the current index, so it is the one to trust here.
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->row();
}
