#include "recordcatalogue.h"

#include "placedline.h"
#include "recordline.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

// The catalogue is data: these tests check it against the record list (order, codes, descriptions,
// field counts, line lengths), check every layout for fields that leave their columns or share one,
// and check the layouts the other parts of the workbench rely on.
class tst_RecordCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void records_data();
    void records();
    void layoutIsSound_data();
    void layoutIsSound();
    void noFieldInColumnsSevenToNine_data();
    void noFieldInColumnsSevenToNine();
    void matrixHeadersShareOneLayout();
    void matrixConstantsAreWrittenAsTyped();
    void elementLine();
    void auxiliaryParameterMayBeBlank();
    void geoidLine();
    void obliqueMercatorColumns();
    void captionsAndTooltipsAsWritten_data();
    void captionsAndTooltipsAsWritten();
    void highlighterKeywords();

private:
    RecordCatalogue m_catalogue;
    const RecordType &type(const char *code) const;
};

const RecordType &tst_RecordCatalogue::type(const char *code) const
{
    const int index = m_catalogue.indexOf(QLatin1String(code));
    if (index < 0)
        qFatal("no record type %s", code);
    return m_catalogue.at(index);
}

void tst_RecordCatalogue::records_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("fieldCount");
    QTest::addColumn<int>("lineLength");

    QTest::newRow("3DC") << 0 << "3DC"
                         << "Définition d'un point 3D" << 1 << 9;
    QTest::newRow("3DD") << 1 << "3DD"
                         << "Définition d'un vecteur 3D" << 1 << 9;
    QTest::newRow("ANGT") << 2 << "ANGT"
                          << "Unité d'angle pour les observations" << 1 << 9;
    QTest::newRow("AUX") << 3 << "AUX"
                         << "Définition d'un groupe de paramètres secondaires" << 9 << 57;
    QTest::newRow("AZIM") << 4 << "AZIM"
                          << "Observation d'azimut d'une direction" << 5 << 75;
    QTest::newRow("CORR") << 5 << "CORR"
                          << "Entête d'une matrice de corrélation" << 10 << 93;
    QTest::newRow("COV") << 6 << "COV"
                         << "Entête d'une matrice de covariance" << 10 << 93;
    QTest::newRow("DIR") << 7 << "DIR"
                         << "Observation de lecture horizontale" << 5 << 75;
    QTest::newRow("DIST") << 8 << "DIST"
                          << "Distance 3D entre deux points" << 6 << 78;
    QTest::newRow("DSET") << 9 << "DSET"
                          << "Définition d'une nouvelle inconnue d'orientation de limbe" << 1 << 9;
    QTest::newRow("DXYZ") << 10 << "DXYZ"
                          << "Vecteur 3D entre deux points" << 6 << 80;
    QTest::newRow("ELEM") << 11 << "ELEM"
                          << "Eléments d'une matrice de covariance/corrélation/poids" << 4 << 80;
    QTest::newRow("ELIP") << 12 << "ELIP"
                          << "Definition d'un ellipsoïde de référence" << 4 << 80;
    QTest::newRow("EPOC") << 13 << "EPOC"
                          << "Précise le début d'une nouvelle époque de données" << 1 << 46;
    QTest::newRow("GEOI") << 14 << "GEOI"
                          << "Valeurs observées de l'ondulation et de la déviation de verticale"
                          << 5 << 74;
    QTest::newRow("GFIL") << 15 << "GFIL"
                          << "Intégration d'une grille d'ondulation de geoïde" << 1 << 70;
    QTest::newRow("GRP") << 16 << "GRP"
                         << "Groupe d'observations" << 1 << 79;
    QTest::newRow("HI") << 17 << "HI"
                        << "Valeur de hauteur d'instrument" << 3 << 36;
    QTest::newRow("HT") << 18 << "HT"
                        << "Valeur de hauteur de cible" << 3 << 36;
    QTest::newRow("LAMB") << 19 << "LAMB"
                          << "Définition d'une projection de type Lambert Conique Conforme (DM)"
                          << 8 << 74;
    QTest::newRow("LENU") << 20 << "LENU"
                          << "Coordonnées locales en Est/Nord/Up" << 6 << 82;
    QTest::newRow("LNEU") << 21 << "LNEU"
                          << "Coordonnées locales en Nord/Est/Up" << 6 << 82;
    QTest::newRow("NEH") << 22 << "NEH"
                         << "Coordonnées Nord/Est en projection + hauteur ellipsoïdale d'un point"
                         << 7 << 78;
    QTest::newRow("NEO") << 23 << "NEO"
                         << "Coordonnées Nord/Est en projection + Altitude d'un point" << 7 << 78;
    QTest::newRow("OHDF") << 24 << "OHDF"
                          << "Denivelée entre deux points" << 7 << 94;
    QTest::newRow("OMER") << 25 << "OMER"
                          << "Définition d'une projection de type Mercator Oblique (DMS)" << 8
                          << 107;
    QTest::newRow("PLH") << 26 << "PLH"
                         << "Coordonnées géographiques (DMS) + hauteur ellipsoïdale d'un point" << 6
                         << 74;
    QTest::newRow("PLHD") << 27 << "PLHD"
                          << "Coordonnées géographiques (DDec) + hauteur ellipsoïdale d'un point"
                          << 6 << 74;
    QTest::newRow("PLO") << 28 << "PLO"
                         << "Coordonnées géographiques (DMS) + altitude d'un point" << 6 << 74;
    QTest::newRow("PLOD") << 29 << "PLOD"
                          << "Coordonnées géographiques (DDec) + altitude d'un point" << 6 << 74;
    QTest::newRow("PMOY") << 30 << "PMOY"
                          << "Latitude moyenne du réseau (DMS)" << 1 << 23;
    QTest::newRow("RSET") << 31 << "RSET"
                          << "Précision sur le coefficient de réfraction d'une mesure ZANG" << 1
                          << 16;
    QTest::newRow("SIGM") << 32 << "SIGM"
                          << "Definition d'une famille de précision" << 8 << 80;
    QTest::newRow("STGR") << 33 << "STGR"
                          << "Définition d'une projection de type Stéréographique (DMS)" << 7 << 91;
    QTest::newRow("TITL") << 34 << "TITL"
                          << "Titre du fichier IOB" << 1 << 79;
    QTest::newRow("TMER") << 35 << "TMER"
                          << "Définition d'une projection de type Mercator Transverse (DM)" << 7
                          << 71;
    QTest::newRow("UNHI") << 36 << "UNHI"
                          << "Valeur approchée de hauteur d'instrument inconnue" << 3 << 36;
    QTest::newRow("UNHT") << 37 << "UNHT"
                          << "Valeur approchée de hauteur de cible inconnue" << 3 << 36;
    QTest::newRow("XLAM") << 38 << "XLAM"
                          << "Définition d'une projection de type Lambert Conique Conforme (DMS)"
                          << 8 << 114;
    QTest::newRow("XTMR") << 39 << "XTMR"
                          << "Définition d'une projection de type Mercator Transverse (DMS)" << 7
                          << 91;
    QTest::newRow("XYZ") << 40 << "XYZ"
                         << "Coordonnées cartésiennes géocentrique d'un point" << 6 << 82;
    QTest::newRow("WGT") << 41 << "WGT"
                         << "Entête d'une matrice de pondération" << 10 << 93;
    QTest::newRow("ZANG") << 42 << "ZANG"
                          << "Angle zénithal d'une direction" << 6 << 86;
}

void tst_RecordCatalogue::records()
{
    QFETCH(int, index);
    QFETCH(QString, code);
    QFETCH(QString, description);
    QFETCH(int, fieldCount);
    QFETCH(int, lineLength);

    QCOMPARE(m_catalogue.size(), 43);
    const RecordType &type = m_catalogue.at(index);
    QCOMPARE(type.code, code);
    QCOMPARE(type.description, description);
    QCOMPARE(type.fields.size(), fieldCount);
    QCOMPARE(type.lineLength(), lineLength);
    QCOMPARE(m_catalogue.indexOf(code), index);
}

void tst_RecordCatalogue::layoutIsSound_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < m_catalogue.size(); ++i)
        QTest::newRow(qPrintable(m_catalogue.at(i).code)) << i;
}

void tst_RecordCatalogue::layoutIsSound()
{
    QFETCH(int, index);
    const RecordType &type = m_catalogue.at(index);

    QVERIFY(QRegularExpression(QStringLiteral("^[A-Z0-9]{2,4}$")).match(type.code).hasMatch());
    QVERIFY(!type.description.isEmpty());
    QVERIFY(!type.fields.isEmpty());
    QVERIFY2(type.fields.size() <= 12, "the field editor has 12 rows");

    // The code owns columns 2 to 5 and column 6 separates it from the fields.
    int previousLast = 6;
    for (int i = 0; i < type.fields.size(); ++i) {
        const FieldSpec &field = type.fields.at(i);
        const QByteArray where = type.code.toLatin1() + " field " + QByteArray::number(i);
        QVERIFY2(field.width > 0, where);
        QVERIFY2(field.column > previousLast, where + " shares a column or is out of order");
        previousLast = field.lastColumn();
        QVERIFY2(!field.caption.isEmpty() && !field.tooltip.isEmpty(), where);

        if (field.kind == FieldKind::Choice) {
            const QStringList items = field.choiceItems();
            QVERIFY2(items.size() >= 2, where);
            for (const QString &item : items)
                QVERIFY2(item.size() == field.width, where + " item '" + item.toLatin1() + "'");
        } else {
            QVERIFY2(field.choices.isEmpty(), where);
        }
    }
    // The unit, when there is one, closes the record.
    for (int i = 0; i + 1 < type.fields.size(); ++i)
        QVERIFY(type.fields.at(i).choices != QLatin1String("m |cm|mm"));
}

void tst_RecordCatalogue::noFieldInColumnsSevenToNine_data()
{
    QTest::addColumn<QString>("code");
    for (const char *code : {"DXYZ", "GEOI", "HI", "HT", "UNHI", "UNHT"})
        QTest::newRow(code) << QString::fromLatin1(code);
}

void tst_RecordCatalogue::noFieldInColumnsSevenToNine()
{
    QFETCH(QString, code);
    const RecordType &type = m_catalogue.at(m_catalogue.indexOf(code));
    QStringList values;
    for (const FieldSpec &field : type.fields) {
        switch (field.kind) {
        case FieldKind::Choice:
            values.append(field.choiceItems().constLast());
            break;
        case FieldKind::AngleDms:
        case FieldKind::AngleDecimal:
            values.append(QStringLiteral("N7 7 7"));
            break;
        default:
            values.append(QString(field.width, QLatin1Char('7')));
            break;
        }
    }
    const BuiltLine built = buildRecordLine(type, values);
    QVERIFY(built.fits());
    QCOMPARE(built.line.mid(5, 5), QStringLiteral("     "));
}

void tst_RecordCatalogue::matrixHeadersShareOneLayout()
{
    const RecordType &corr = type("CORR");
    for (const char *code : {"COV", "WGT"}) {
        const RecordType &other = type(code);
        QCOMPARE(other.fields.size(), corr.fields.size());
        for (int i = 0; i < corr.fields.size(); ++i) {
            QCOMPARE(other.fields.at(i).column, corr.fields.at(i).column);
            QCOMPARE(other.fields.at(i).width, corr.fields.at(i).width);
            QCOMPARE(other.fields.at(i).kind, corr.fields.at(i).kind);
            QCOMPARE(other.fields.at(i).choices, corr.fields.at(i).choices);
        }
    }
    QCOMPARE(corr.fields.at(0).choices, QStringLiteral("CT|LG"));
    QCOMPARE(corr.fields.at(1).choices, QStringLiteral("DIAG|UPPR"));
    QCOMPARE(corr.fields.at(9).choices, QStringLiteral("m |cm|mm"));
}

void tst_RecordCatalogue::matrixConstantsAreWrittenAsTyped()
{
    for (const char *code : {"CORR", "COV", "WGT"}) {
        const BuiltLine built = buildRecordLine(
            type(code), {QStringLiteral("LG"), QStringLiteral("UPPR"), QStringLiteral("1,50"),
                         QStringLiteral("12345678901234"), QString(), QString(), QString(),
                         QString(), QStringLiteral("2"), QStringLiteral("cm")});
        QVERIFY(built.fits());
        const QString expected = placedLine({{2, QString::fromLatin1(code)},
                                             {7, "LG"},
                                             {10, "UPPR"},
                                             {15, "1,50"},
                                             {26, "1234567890"},
                                             {81, "2"},
                                             {92, "cm"}});
        QCOMPARE(built.line, expected);
    }
}

void tst_RecordCatalogue::elementLine()
{
    const BuiltLine built =
        buildRecordLine(type("ELEM"), {QStringLiteral("0.000123"), QStringLiteral("-1,5"),
                                       QStringLiteral("42"), "mm"});
    QVERIFY(built.fits());
    QCOMPARE(built.line, QStringLiteral(" ELEM ") + QStringLiteral("0.000123").rightJustified(23) +
                             QLatin1Char(' ') + QStringLiteral("-1.5").rightJustified(23) +
                             QLatin1Char(' ') + QStringLiteral("42").rightJustified(23) +
                             QStringLiteral(" mm"));
    QCOMPARE(built.line.mid(78, 2), QStringLiteral("mm"));
}

void tst_RecordCatalogue::auxiliaryParameterMayBeBlank()
{
    const RecordType &aux = type("AUX");
    QStringList values{QStringLiteral("ZAN"), QStringLiteral("GROUPE1")};
    for (int i = 2; i < aux.fields.size(); ++i) {
        QCOMPARE(aux.fields.at(i).choiceItems(),
                 QStringList({"    ", "CONS", "SCAL", "REFR", "GVCE"}));
        values.append(i == 3 ? QStringLiteral("REFR") : QStringLiteral("    "));
    }
    const BuiltLine built = buildRecordLine(aux, values);
    QVERIFY(built.fits());
    QCOMPARE(built.line,
             placedLine({{2, "AUX"}, {7, "ZAN"}, {11, "GROUPE1"}, {29, "REFR"}, {57, " "}}));
}

void tst_RecordCatalogue::geoidLine()
{
    const BuiltLine built = buildRecordLine(
        type("GEOI"), {QStringLiteral("P12"), QStringLiteral("n0 0 25.25"),
                       QStringLiteral("o0 0 12.5"), QStringLiteral("48,125"), "m "});
    QVERIFY(built.fits());
    QCOMPARE(built.line.mid(23, 17), QStringLiteral("N  0  0     25.25"));
    QCOMPARE(built.line.mid(41, 17), QStringLiteral("W  0  0      12.5"));
    QCOMPARE(built.line.mid(59, 12), QStringLiteral("      48.125"));
    QCOMPARE(built.line, QStringLiteral(" GEOI     P12          N  0  0     25.25 W  0  0      12.5"
                                        "       48.125 m "));
}

void tst_RecordCatalogue::obliqueMercatorColumns()
{
    const RecordType &omer = type("OMER");
    const QVector<QPair<int, int>> columns{{7, 7},   {15, 17}, {33, 17}, {51, 16},
                                           {68, 12}, {80, 12}, {93, 12}, {106, 2}};
    QCOMPARE(omer.fields.size(), columns.size());
    for (int i = 0; i < columns.size(); ++i) {
        QCOMPARE(omer.fields.at(i).column, columns.at(i).first);
        QCOMPARE(omer.fields.at(i).width, columns.at(i).second);
    }

    // The azimuth of the tooltip's example fits; a line stored that way reads the same back.
    const QStringList values{"OMPROJ",   "E47 25 23.1454", "N52 25 32.1457", "E52 25 32.1457",
                             "200000.5", "600000",         "0.99994",        "m "};
    const BuiltLine built = buildRecordLine(omer, values);
    QVERIFY(built.fits());
    QCOMPARE(built.line, QStringLiteral(" OMER OMPROJ  E 47 25   23.1454 N 52 25   32.1457 "
                                        "E 52 25  32.1457 "         // azimuth, then column 67
                                        "    200000.5      600000 " // northing, easting
                                        "     0.99994 m "));
    QCOMPARE(readFields(built.line, omer),
             QStringList({"OMPROJ", "E 47 25   23.1454", "N 52 25   32.1457", "E 52 25  32.1457",
                          "200000.5", "600000", "0.99994", "m "}));
}

void tst_RecordCatalogue::captionsAndTooltipsAsWritten_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");

    // Texts whose accents, spacing or spelling differ from their neighbours'.
    QTest::newRow("COV unit") << "COV" << 9 << "Unite :"
                              << "Unité utilisée";
    QTest::newRow("COV constant ALL") << "COV" << 2 << "Constante ALL :"
                                      << "Valeur ajoutée a l'ensemble des éléments de la matrice";
    QTest::newRow("CORR constant ALL") << "CORR" << 2 << "Constante ALL :"
                                       << "Valeur ajoutée à l'ensemble des éléments de la matrice";
    QTest::newRow("CORR matrix type")
        << "CORR" << 1 << "Type de matrice"
        << "Précise si la matrice est diagonale ou triangulaire supérieure";
    QTest::newRow("CORR constant DIAG")
        << "CORR" << 4 << "Constante DIAG:"
        << "Constante ajoutée uniquement aux termes diagonaux de la matrice";
    QTest::newRow("PLOD altitude") << "PLOD" << 4 << "Altitude  :"
                                   << "Altitude du point";
    QTest::newRow("PLHD height") << "PLHD" << 4 << "Hauteur :"
                                 << "Hauteur ellispoïdale du point";
    QTest::newRow("LENU unit") << "LENU" << 5 << "Unité :"
                               << "Unité pour les coordonnees";
    QTest::newRow("LNEU unit") << "LNEU" << 5 << "Unité :"
                               << "Unité pour les coordonnées";
    QTest::newRow("NEH height") << "NEH" << 4 << "Hauteur :"
                                << "Hauteur ellipsoidale";
    QTest::newRow("DXYZ target") << "DXYZ" << 1 << "Point visé :"
                                 << "Nom du point Visé";
    QTest::newRow("DIST target") << "DIST" << 2 << "Point visé :"
                                 << "Nom du Point Visé";
    QTest::newRow("XLAM latitude")
        << "XLAM" << 1 << "Latitude origine :"
        << "Latitude origine de la projection en degrés,  minutes et secondes (exp : N47 25 "
           "54.458)";
    QTest::newRow("SIGM station centring")
        << "SIGM" << 4 << "Centrage Pt stationné :"
        << "Erreur de centrage sur le point stationné (cas mesure entre deux points)";
    QTest::newRow("ZANG deviation")
        << "ZANG" << 4 << "Ecart-type (sec) :"
        << "Précision sur la mesure d'angle, en secondes de degrés ou décimilligrades";
    QTest::newRow("OMER azimuth")
        << "OMER" << 3 << "Azimuth origine :"
        << "Azimuth origine de la projection en degrés, minutes et secondes (exp : E52 25 "
           "32.1457)";
    QTest::newRow("GEOI east-west")
        << "GEOI" << 2 << "Déviation E/W :"
        << "Déviation de la verticale dans la direction Est/Ouest en degrés, minutes et "
           "secondes (exp : W 00 00 25.25)";
    QTest::newRow("OHDF unit") << "OHDF" << 6 << "Unité :"
                               << "Unité (dénivelée et longueur)";
}

void tst_RecordCatalogue::captionsAndTooltipsAsWritten()
{
    QFETCH(QString, code);
    QFETCH(int, field);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);
    const FieldSpec &spec = type(qPrintable(code)).fields.at(field);
    QCOMPARE(spec.caption, caption);
    QCOMPARE(spec.tooltip, tooltip);
}

void tst_RecordCatalogue::highlighterKeywords()
{
    const QStringList keywords = RecordCatalogue::highlighterKeywords();
    QCOMPARE(keywords.size(), 42);
    QCOMPARE(QSet<QString>(keywords.begin(), keywords.end()).size(), 42);
    QVERIFY(keywords.contains(QStringLiteral("XMTR")));
    QVERIFY(!keywords.contains(QStringLiteral("XTMR")));
    QVERIFY(!keywords.contains(QStringLiteral("STGR")));
    for (const RecordType &type : m_catalogue.types()) {
        if (type.code != QLatin1String("XTMR") && type.code != QLatin1String("STGR"))
            QVERIFY2(keywords.contains(type.code), qPrintable(type.code));
    }
}

QTEST_GUILESS_MAIN(tst_RecordCatalogue)
#include "tst_recordcatalogue.moc"
