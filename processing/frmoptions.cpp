#include "frmoptions.h"

#include "prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const ConfigurationKey &keyNamed(const QString &name)
{
    const QVector<ConfigurationKey> &keys = configurationKeys();
    for (const ConfigurationKey &key : keys) {
        if (key.name == name)
            return key;
    }
    Q_ASSERT_X(false, "frmoptions", qPrintable(name));
    static const ConfigurationKey none;
    return none;
}

// A group box whose controls stand in a two-column grid: labels on the left.
QGroupBox *gridGroup(const QString &title, QWidget *parent, QGridLayout **grid)
{
    auto *group = new QGroupBox(title, parent);
    *grid = new QGridLayout(group);
    (*grid)->setColumnStretch(1, 1);
    return group;
}

// Selects the entry of token `index`, adding an entry captioned with the token itself when the
// combo box offers no caption for it.
void selectChoice(QComboBox *box, const ConfigurationKey &key, int index)
{
    while (box->count() > key.offered)
        box->removeItem(box->count() - 1);
    if (index >= key.offered)
        box->addItem(key.tokens.at(index), index);
    box->setCurrentIndex(box->findData(index));
}

} // namespace

frmoptions::frmoptions(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Edition de fichier CFG"));

    m_fileLabel = new QLabel(this);
    m_fileLabel->setAlignment(Qt::AlignCenter);

    m_tabs = new QTabWidget(this);
    m_tabs->addTab(adjustmentTab(), tr("Ajustement"));
    m_tabs->addTab(statisticsTab(), tr("Statistiques"));
    m_tabs->addTab(regionsTab(), tr("Confiance et Fiabilite"));
    m_tabs->addTab(reportTab(), tr("Rapport"));
    m_tabs->addTab(matricesTab(), tr("Matrices"));
    m_tabs->addTab(epochsTab(), tr("Multi Epoques"));
    m_tabs->addTab(drawingTab(), tr("Dessin"));

    auto *save = new QPushButton(tr("Sauver"), this);
    auto *cancel = new QPushButton(tr("Annuler"), this);
    connect(save, &QPushButton::clicked, this, &frmoptions::sauver);
    connect(cancel, &QPushButton::clicked, this, &frmoptions::annuler);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_fileLabel);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    changeCoordType(0);
    // Connected once the combo box stands on its first entry, so building calls nothing.
    connect(m_combos.value(QStringLiteral("REG_COORD")),
            QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &frmoptions::changeCoordType);
}

QWidget *frmoptions::adjustmentTab()
{
    auto *tab = new QWidget;
    auto *layout = new QGridLayout(tab);

    auto *processing = new QGroupBox(tr("Configuration du traitement"), tab);
    auto *stacked = new QVBoxLayout(processing);
    const auto addAbove = [&](const QString &label, QWidget *field) {
        stacked->addWidget(new QLabel(label, processing));
        stacked->addWidget(field);
    };
    addAbove(tr("Type de traitement"),
             makeChoice(processing, QStringLiteral("TYPECALCUL"),
                        {tr("Ajustement"), tr("Préanalyse"), tr("Norme L1"), tr("Huber")}));
    addAbove(tr("Type de modélisation"),
             makeChoice(processing, QStringLiteral("TYPEMODEL"),
                        {tr("3D Locale"), tr("3D Sphérique"), tr("3D Géodésique")}));
    addAbove(tr("Calcul en réseau libre"),
             makeChoice(processing, QStringLiteral("FREENET"),
                        {tr("Réseau contraint"), tr("Réseau libre (trace minimale)"),
                         tr("Réseau libre (points de base)")}));
    stacked->addStretch();

    QGridLayout *grid = nullptr;
    QGroupBox *parameters = gridGroup(tr("Paramètres de traitement"), tab, &grid);
    addRow(grid, tr("Critère de convergence (m) :"),
           makeText(parameters, QStringLiteral("CRITCONV")));
    addRow(grid, tr("Nombre maximum d'itérations :"),
           makeCount(parameters, QStringLiteral("NBMAXITER")));
    addRow(grid, tr("Valeur limite (Huber) :"), makeText(parameters, QStringLiteral("HUBERVALUE")));
    grid->setRowStretch(grid->rowCount(), 1);

    QGroupBox *general = gridGroup(tr("Options Générales"), tab, &grid);
    addRow(grid, tr("Calcul des précisions :"),
           makeChoice(general, QStringLiteral("SIGM+STD"),
                      {tr("Std Dev + Sigma-ID"), tr("Std Dev ou Sigma-ID")}));
    addRow(grid, tr("Calcul de précision sur les distances (DIST) :"),
           makeChoice(general, QStringLiteral("SIGMADIST"),
                      {tr(" +- précision (m) +- PPM (ppm)"), tr("précision (m) + PPM (ppm)")}));
    addRow(grid, tr("Calcul de précision sur les dénivelées (OHDF) :"),
           makeChoice(general, QStringLiteral("SIGMAOHDF"),
                      {tr("PPM(m/sqrt(km)) x sqrt(L(m))"), tr("+-a(m) +-b (ppm)")}));
    addRow(grid, tr("Unité linéaire par défaut :"),
           makeChoice(general, QStringLiteral("LINEARUNIT"), {tr(" m"), tr("cm"), tr("mm")}));
    addRow(grid, tr("Type d'angle par défaut :"),
           makeChoice(general, QStringLiteral("TYPEANGLES"),
                      {tr("Degrés Minutes Secondes"), tr("Grades"), tr("Radians")}));
    addRow(grid, tr("Calcul de valeurs approchées de zéros de limbe :"),
           makeChoice(general, QStringLiteral("APPLIMBE"),
                      {tr("Valeur nulle"), tr("Première observation"), tr("Moyenne")}));

    layout->addWidget(processing, 0, 0);
    layout->addWidget(parameters, 0, 1);
    layout->addWidget(general, 1, 0, 1, 2);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget *frmoptions::statisticsTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);

    QGridLayout *grid = nullptr;
    QGroupBox *variance = gridGroup(tr("Facteur unitaire de variance"), tab, &grid);
    addRow(grid, tr("Prise en compte :"),
           makeChoice(variance, QStringLiteral("TYPESIGMA0"),
                      {tr("Automatique"), tr("Jamais"), tr("Toujours")}));
    addRow(grid, tr("Seuil de confiance (0 -> 0.99999)"),
           makeText(variance, QStringLiteral("VALIDATION")));

    QGroupBox *generation = gridGroup(tr("Options pour la génération d'observations"), tab, &grid);
    grid->addWidget(makeFlag(generation, QStringLiteral("GENE_LOG"),
                             tr("Création d'un rapport de génération des mesures")),
                    0, 0, 1, 2);
    addRow(grid, tr("Type de bruit :"),
           makeChoice(generation, QStringLiteral("GENE_NOISE"),
                      {tr("Aucun"), tr("Blanc"), tr("Unitaire")}));
    addRow(grid, tr("Génération du zéro de limbe :"),
           makeChoice(generation, QStringLiteral("GENE_LIMBE"),
                      {tr("Aléatoire (0->pi)"), tr("Aléatoire (0->pi/2)"), tr("Valeur nulle")}));

    QGroupBox *vce = gridGroup(tr("Options pour la VCE"), tab, &grid);
    addRow(grid, tr("Méthode utilisée :"),
           makeChoice(vce, QStringLiteral("VCE_METHOD"), {tr("Helmert")}));
    addRow(grid, tr("Nombre maximum d'itérations :"), makeCount(vce, QStringLiteral("VCEITERMAX")));
    grid->addWidget(
        makeFlag(vce, QStringLiteral("VCESOLINT"), tr("Afficher les valeurs à chaque itération")),
        grid->rowCount(), 0, 1, 2);

    layout->addWidget(variance);
    layout->addWidget(generation);
    layout->addWidget(vce);
    layout->addStretch();
    return tab;
}

QWidget *frmoptions::regionsTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);

    QGridLayout *grid = nullptr;
    QGroupBox *general = gridGroup(tr("Options générales"), tab, &grid);
    grid->setColumnStretch(1, 0);
    grid->setColumnStretch(4, 1);
    grid->addWidget(new QLabel(tr("Type de coordonnées :"), general), 0, 0);
    grid->addWidget(makeChoice(general, QStringLiteral("REG_COORD"),
                               {tr("Cartésiennes (XYZ)"), tr("Géographiques (PLU)"),
                                tr("Planes + verticale (NEU)")}),
                    0, 1, 1, 4);
    grid->addWidget(new QLabel(tr("Composantes utilisées :"), general), 1, 0, 1, 5);
    const QStringList rows = {tr("Régions 1D:"), tr("Régions 2D:")};
    const QStringList keys = {QStringLiteral("REG1D_TYPE"), QStringLiteral("REG2D_TYPE")};
    for (int row = 0; row < 2; ++row) {
        grid->addWidget(new QLabel(rows.at(row), general), row + 2, 0);
        for (int i = 0; i < 3; ++i)
            grid->addWidget(makeDigit(general, keys.at(row), i, QString()), row + 2, i + 1);
    }

    // The confidence and reliability grids: a row per dimension, a column per key.
    const auto regionGroup = [&](const QString &title, const QString &prefix, bool reliability) {
        QGridLayout *regions = nullptr;
        QGroupBox *group = gridGroup(title, tab, &regions);
        regions->setColumnStretch(1, 0);
        regions->addWidget(new QLabel(tr("Type de région"), group), 0, 1);
        regions->addWidget(new QLabel(tr("Seuil de confiance (0.05->0.99999)"), group), 0, 2);
        if (reliability)
            regions->addWidget(new QLabel(tr("Risque 2nd espèce(0.005->0.30)"), group), 0, 3);
        const QStringList labels = {tr("Régions 1D"), tr("Régions 2D"), tr("Régions 3D")};
        for (int d = 0; d < 3; ++d) {
            const QString key = prefix + QString::number(d + 1) + QStringLiteral("D_");
            regions->addWidget(new QLabel(labels.at(d), group), d + 1, 0);
            regions->addWidget(makeChoice(group, key + QStringLiteral("MODE"),
                                          {tr("Aucune"), tr("Ponctuelle"), tr("Relative"),
                                           tr("Ponctuelle et relative")}),
                               d + 1, 1);
            regions->addWidget(makeText(group, key + QStringLiteral("CONF")), d + 1, 2);
            if (reliability)
                regions->addWidget(makeText(group, key + QStringLiteral("BETA")), d + 1, 3);
        }
        return group;
    };

    layout->addWidget(general);
    layout->addWidget(
        regionGroup(tr("Calcul des régions de confiance"), QStringLiteral("REG"), false));
    layout->addWidget(
        regionGroup(tr("Calcul des régions de fiabilité"), QStringLiteral("FIA"), true));
    layout->addStretch();
    return tab;
}

QWidget *frmoptions::reportTab()
{
    auto *tab = new QWidget;
    auto *layout = new QGridLayout(tab);

    auto *contents = new QGroupBox(tr("Contenu du rapport"), tab);
    auto *contentsLayout = new QVBoxLayout(contents);
    contentsLayout->addWidget(makeFixedFormat(contents));
    contentsLayout->addWidget(
        makeFlag(contents, QStringLiteral("LOG_OPTION"), tr("Résumé des options")));
    contentsLayout->addWidget(
        makeFlag(contents, QStringLiteral("LOG_STATIO"), tr("Résumé des coordonnées")));
    contentsLayout->addWidget(
        makeFlag(contents, QStringLiteral("LOG_GEOID"), tr("Valeurs de géoïde")));
    contentsLayout->addWidget(
        makeFlag(contents, QStringLiteral("LOG_FIAB"), tr("Fiabilités locales")));
    contentsLayout->addWidget(
        makeFlag(contents, QStringLiteral("LOG_SGMGRP"), tr("Variances partielles")));
    contentsLayout->addStretch();

    auto *solution = new QGroupBox(tr("Solution ajustée"), tab);
    auto *solutionGrid = new QGridLayout(solution);
    const QString forms = QStringLiteral("LOG_SOLFIN");
    solutionGrid->addWidget(makeDigit(solution, forms, SolutionXyz, tr("XYZ")), 0, 0);
    solutionGrid->addWidget(makeDigit(solution, forms, SolutionPlh, tr("PLH")), 0, 1);
    solutionGrid->addWidget(makeDigit(solution, forms, SolutionPlo, tr("PLO")), 0, 2);
    solutionGrid->addWidget(makeDigit(solution, forms, SolutionLoc, tr("LOC")), 1, 0);
    solutionGrid->addWidget(makeDigit(solution, forms, SolutionNeh, tr("NEH")), 1, 1);
    solutionGrid->addWidget(makeDigit(solution, forms, SolutionNeo, tr("NEO")), 1, 2);
    solutionGrid->addWidget(
        makeFlag(solution, QStringLiteral("LOG_SOLAUX"), tr("Paramètres secondaires")), 2, 0, 1, 3);
    solutionGrid->setRowStretch(3, 1);

    QGridLayout *grid = nullptr;
    QGroupBox *decimals = gridGroup(tr("Affichage des décimales"), tab, &grid);
    addRow(grid, tr("Sur mesures linéaires"), makeCount(decimals, QStringLiteral("NBDEC_DIST")));
    addRow(grid, tr("Sur mesures angulaires"), makeCount(decimals, QStringLiteral("NBDEC_ANGT")));
    grid->setRowStretch(grid->rowCount(), 1);

    QGroupBox *results = gridGroup(tr("Résultats complémentaires du traitement"), tab, &grid);
    const QStringList iterations = {tr("NON"), tr("1ERE ITERATION"), tr("CHAQUE ITERATION")};
    addRow(grid, tr("Imprime les résidus"),
           makeChoice(results, QStringLiteral("LOG_RESIDU"),
                      {tr("NON"), tr("TOUS"), tr("NON VALIDES")}));
    grid->addWidget(makeFlag(results, QStringLiteral("LOG_RESNEU"), tr("Résidus 3D en NEU")),
                    grid->rowCount(), 0, 1, 2);
    addRow(grid, tr("Imprime les O-C"), makeChoice(results, QStringLiteral("LOG_OMC"), iterations));
    addRow(grid, tr("Imprime les solutions intermédiaires"),
           makeChoice(results, QStringLiteral("LOG_SOLINT"), iterations));
    grid->setRowStretch(grid->rowCount(), 1);

    layout->addWidget(contents, 0, 0);
    layout->addWidget(solution, 0, 1);
    layout->addWidget(decimals, 1, 0);
    layout->addWidget(results, 1, 1);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget *frmoptions::matricesTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);

    QGridLayout *grid = nullptr;
    QGroupBox *options = gridGroup(tr("Options d'extraction des matrices"), tab, &grid);
    addRow(grid, tr("Format des matrices"), makeFixedFormat(options));
    addRow(grid, tr("Type de coordonnees"),
           makeChoice(options, QStringLiteral("OUTMAT_CRD"),
                      {tr("Cartésiennes (XYZ)"), tr("Géographiques (PLU)"),
                       tr("Planes + verticale (NEU)")}));
    addRow(grid, tr("Prise en compte de l'estimateur du facteur de variance"),
           makeChoice(options, QStringLiteral("OUTMAT_SG0"),
                      {tr("Automatique"), tr("Jamais"), tr("Toujours")}));

    QGroupBox *matrices = gridGroup(tr("Extraction des matrices"), tab, &grid);
    const QStringList when = {tr("NON"), tr("Après Convergence"), tr("A Chaque Itération")};
    addRow(grid, tr("Système initial (A,B,P) :"),
           makeChoice(matrices, QStringLiteral("OUTMAT_ABP"), when));
    addRow(grid, tr("Système Normal (N,C) :"),
           makeChoice(matrices, QStringLiteral("OUTMAT_NC"), when));
    addRow(grid, tr("Système Normal (inv(N), C) :"),
           makeChoice(matrices, QStringLiteral("OUTMAT_INC"), when));

    QGroupBox *vectors = gridGroup(tr("Extraction des vecteurs"), tab, &grid);
    const QStringList yesNo = {tr("NON"), tr("OUI")};
    addRow(grid, tr("Vecteur des résidus (V) :"),
           makeChoice(vectors, QStringLiteral("OUTMAT_V"), yesNo));
    addRow(grid, tr("Vecteur Solution (X):"),
           makeChoice(vectors, QStringLiteral("OUTMAT_X"), yesNo));

    layout->addWidget(options);
    layout->addWidget(matrices);
    layout->addWidget(vectors);
    layout->addStretch();
    return tab;
}

QWidget *frmoptions::epochsTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);

    QGridLayout *grid = nullptr;
    QGroupBox *analysis = gridGroup(tr("Analyse Multi Epoques"), tab, &grid);
    grid->addWidget(
        makeFlag(analysis, QStringLiteral("MEP_MODE"), tr("Active l'analyse multi époques")), 0, 0,
        1, 2);
    grid->addWidget(makeFlag(analysis, QStringLiteral("MEP_DOCONF"),
                             tr("Calcul de régions de confiance multi époques")),
                    1, 0, 1, 2);
    grid->addWidget(makeFlag(analysis, QStringLiteral("MEP_DOFIAB"),
                             tr("Calcul de régions de fiabilité multi époques")),
                    2, 0, 1, 2);
    addRow(grid, tr("Epoque de référence :"),
           makeChoice(analysis, QStringLiteral("MEP_FROM0"),
                      {tr("Epoque précédente"), tr("Première epoque")}));

    QGroupBox *congruence = gridGroup(tr("Tests de congruence"), tab, &grid);
    grid->addWidget(
        makeFlag(congruence, QStringLiteral("MEP_DOCONG"), tr("Réalise des tests de congruence")),
        0, 0, 1, 2);
    addRow(grid, tr("Seuil de confiance :"), makeText(congruence, QStringLiteral("MEP_CSEUIL")));
    auto *types = new QWidget(congruence);
    auto *typesLayout = new QHBoxLayout(types);
    typesLayout->setContentsMargins(0, 0, 0, 0);
    const QStringList dimensions = {tr("1D"), tr("2D"), tr("3D")};
    for (int i = 0; i < 3; ++i)
        typesLayout->addWidget(makeDigit(types, QStringLiteral("MEP_CTYPE"), i, dimensions.at(i)));
    typesLayout->addStretch();
    addRow(grid, tr("Calcul sur les coordonnées de type :"), types);

    layout->addWidget(analysis);
    layout->addWidget(congruence);
    layout->addStretch();
    return tab;
}

QWidget *frmoptions::drawingTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);

    auto *drw = new QGroupBox(tr("Export moteur 2D interne (fichier DRW)"), tab);
    auto *drwLayout = new QVBoxLayout(drw);
    drwLayout->addWidget(
        makeFlag(drw, QStringLiteral("DRW_EXPORT"), tr("Création d'un fichier de dessin")));

    auto *kml = new QGroupBox(tr("Paramétrage de l'export KML (Google Earth)"), tab);
    auto *kmlLayout = new QVBoxLayout(kml);
    kmlLayout->addWidget(
        makeFlag(kml, QStringLiteral("KML_EXPORT"), tr("Création d'un fichier KML")));
    kmlLayout->addWidget(makeFlag(kml, QStringLiteral("KML_ALTI"),
                                  tr("Utilise l'information d'altitude pour placer les points")));
    kmlLayout->addWidget(makeFlag(kml, QStringLiteral("KML_LNFIA"),
                                  tr("Liens entre les points en fonction de la fiabilité locale")));

    layout->addWidget(drw);
    layout->addWidget(kml);
    layout->addStretch();
    return tab;
}

QComboBox *frmoptions::makeChoice(QWidget *parent, const QString &key, const QStringList &captions)
{
    Q_ASSERT(captions.size() == keyNamed(key).offered);
    auto *box = new QComboBox(parent);
    box->setObjectName(key);
    for (int i = 0; i < captions.size(); ++i)
        box->addItem(captions.at(i), i);
    m_combos.insert(key, box);
    return box;
}

QComboBox *frmoptions::makeCount(QWidget *parent, const QString &key)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(key);
    for (int n = 1; n <= keyNamed(key).maximum; ++n)
        box->addItem(QString::number(n), n);
    m_combos.insert(key, box);
    return box;
}

QLineEdit *frmoptions::makeText(QWidget *parent, const QString &key)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(key);
    m_texts.insert(key, edit);
    return edit;
}

QCheckBox *frmoptions::makeFlag(QWidget *parent, const QString &key, const QString &caption)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(key);
    m_flags.insert(key, box);
    return box;
}

QCheckBox *frmoptions::makeDigit(QWidget *parent, const QString &key, int index,
                                 const QString &caption)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(key + QLatin1Char('_') + QString::number(index));
    QVector<QCheckBox *> &boxes = m_digits[key];
    if (boxes.size() <= index)
        boxes.resize(index + 1);
    boxes[index] = box;
    return box;
}

QComboBox *frmoptions::makeFixedFormat(QWidget *parent)
{
    // The report and matrix formats have a single value, written as a fixed line.
    auto *box = new QComboBox(parent);
    box->addItem(tr("Format Tavlo"));
    box->setEnabled(false);
    return box;
}

void frmoptions::addRow(QGridLayout *grid, const QString &label, QWidget *field)
{
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(label, field->parentWidget()), row, 0);
    grid->addWidget(field, row, 1);
}

void frmoptions::readConfiguration(const QString &path)
{
    m_fileLabel->setText(path);
    Configuration read;
    QString error;
    if (loadConfiguration(path, read, error))
        setConfiguration(read);
}

QString frmoptions::filePath() const
{
    return m_fileLabel->text();
}

void frmoptions::setConfiguration(const Configuration &configuration)
{
    const QVector<ConfigurationKey> &keys = configurationKeys();
    for (const ConfigurationKey &key : keys) {
        switch (key.kind) {
        case ConfigurationKind::Text:
            m_texts.value(key.name)->setText(configuration.text(key.name));
            break;
        case ConfigurationKind::Choice:
            selectChoice(m_combos.value(key.name), key, configuration.choice(key.name));
            break;
        case ConfigurationKind::Count: {
            QComboBox *box = m_combos.value(key.name);
            box->setCurrentIndex(box->findData(configuration.count(key.name)));
            break;
        }
        case ConfigurationKind::Flag:
            m_flags.value(key.name)->setChecked(configuration.flag(key.name));
            break;
        case ConfigurationKind::Digits:
        case ConfigurationKind::SolutionForms: {
            const QVector<QCheckBox *> boxes = m_digits.value(key.name);
            for (int i = 0; i < boxes.size(); ++i)
                boxes.at(i)->setChecked(configuration.digit(key.name, i));
            break;
        }
        case ConfigurationKind::Fixed:
            break;
        }
    }
}

Configuration frmoptions::configuration() const
{
    Configuration configuration;
    const QVector<ConfigurationKey> &keys = configurationKeys();
    for (const ConfigurationKey &key : keys) {
        switch (key.kind) {
        case ConfigurationKind::Text:
            configuration.setText(key.name, m_texts.value(key.name)->text());
            break;
        case ConfigurationKind::Choice:
            configuration.setChoice(key.name, m_combos.value(key.name)->currentData().toInt());
            break;
        case ConfigurationKind::Count:
            configuration.setCount(key.name, m_combos.value(key.name)->currentData().toInt());
            break;
        case ConfigurationKind::Flag:
            configuration.setFlag(key.name, m_flags.value(key.name)->isChecked());
            break;
        case ConfigurationKind::Digits:
        case ConfigurationKind::SolutionForms: {
            const QVector<QCheckBox *> boxes = m_digits.value(key.name);
            for (int i = 0; i < boxes.size(); ++i)
                configuration.setDigit(key.name, i, boxes.at(i)->isChecked());
            break;
        }
        case ConfigurationKind::Fixed:
            break;
        }
    }
    return configuration;
}

void frmoptions::annuler()
{
    reject();
}

void frmoptions::sauver()
{
    const QString path = filePath();
    QString error;
    if (!saveConfiguration(path, configuration(), error)) {
        prompts::warning(this, tr("Edition de fichier CFG"),
                         tr("Le fichier %1 n'a pas pu être enregistré :\n%2\n\n"
                            "Les modifications sont conservées dans l'éditeur.")
                             .arg(QDir::toNativeSeparators(path), error));
        return;
    }
    accept();
}

void frmoptions::changeCoordType(int index)
{
    static const char *const captions[3][6] = {{"X", "Y", "Z", "XY", "XZ", "YZ"},
                                               {"P", "L", "U", "PL", "PU", "LU"},
                                               {"N", "E", "U", "NE", "NU", "EU"}};
    if (index < 0 || index > 2)
        return;
    const QVector<QCheckBox *> boxes1d = m_digits.value(QStringLiteral("REG1D_TYPE"));
    const QVector<QCheckBox *> boxes2d = m_digits.value(QStringLiteral("REG2D_TYPE"));
    for (int i = 0; i < 3; ++i) {
        boxes1d.at(i)->setText(QLatin1String(captions[index][i]));
        boxes2d.at(i)->setText(QLatin1String(captions[index][i + 3]));
    }
}
