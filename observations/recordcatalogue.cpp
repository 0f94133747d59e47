#include "recordcatalogue.h"

#include <QCoreApplication>

#include <array>

namespace {

// Shared choice lists; every item is exactly as wide as the fields that use the list.
constexpr char kNoChoice[] = "";
constexpr char kLengthUnit[] = "m |cm|mm";
constexpr char kAngleType[] = "DMS|GRD|RAD";
constexpr char kObservationType[] = "DIS|ZAN|ALL";
constexpr char kSecondaryParameter[] = "    |CONS|SCAL|REFR|GVCE"; // four blanks: no parameter
constexpr char kCoordinateType[] = "CT|LG";
constexpr char kMatrixType[] = "DIAG|UPPR";

struct FieldRow
{
    int column;
    int width; // 0 marks an unused slot
    const char *tooltip;
    const char *caption;
    FieldKind kind;
    const char *choices;
};

constexpr int kMaxFields = 10;

struct RecordRow
{
    const char *code;
    const char *description;
    std::array<FieldRow, kMaxFields> fields;
};

// The record types in the order of the field editor's list. OMER keeps its azimuth of origin in
// columns 51 to 66 so that the false northing (68 to 79) has columns of its own.
// clang-format off
const RecordRow kRecords[] = {
    {"3DC",
     "Définition d'un point 3D",
     {{
         {7, 3, "Code définissant la précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice}
     }}},
    {"3DD",
     "Définition d'un vecteur 3D",
     {{
         {7, 3, "Code définissant la précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice}
     }}},
    {"ANGT",
     "Unité d'angle pour les observations",
     {{
         {7, 3, "Choix du type d'angles",
          "Type d'angles :", FieldKind::Choice, kAngleType}
     }}},
    {"AUX",
     "Définition d'un groupe de paramètres secondaires",
     {{
         {7, 3, "Type d'observations concerné par ce groupe",
          "Type d'observation :", FieldKind::Choice, kObservationType},
         {11, 12, "Nom du groupe",
          "Nom :", FieldKind::Text, kNoChoice},
         {24, 4, "Type du paramètre secondaire 1 dans le groupe",
          "Paramètre 1 :", FieldKind::Choice, kSecondaryParameter},
         {29, 4, "Type du paramètre secondaire 2 dans le groupe",
          "Paramètre 2 :", FieldKind::Choice, kSecondaryParameter},
         {34, 4, "Type du paramètre secondaire 3 dans le groupe",
          "Paramètre 3 :", FieldKind::Choice, kSecondaryParameter},
         {39, 4, "Type du paramètre secondaire 4 dans le groupe",
          "Paramètre 4 :", FieldKind::Choice, kSecondaryParameter},
         {44, 4, "Type du paramètre secondaire 5 dans le groupe",
          "Paramètre 5 :", FieldKind::Choice, kSecondaryParameter},
         {49, 4, "Type du paramètre secondaire 6 dans le groupe",
          "Paramètre 6 :", FieldKind::Choice, kSecondaryParameter},
         {54, 4, "Type du paramètre secondaire 7 dans le groupe",
          "Paramètre 7 :", FieldKind::Choice, kSecondaryParameter}
     }}},
    {"AZIM",
     "Observation d'azimut d'une direction",
     {{
         {7, 3, "Code définissant la précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice},
         {11, 12, "Nom du point stationné",
          "Station :", FieldKind::Text, kNoChoice},
         {24, 12, "Nom du Point Visé",
          "Point visé :", FieldKind::Text, kNoChoice},
         {50, 15, "Valeur de l'observation en DMS, ou grades/décigrades/décimilligrades",
          "Azimut :", FieldKind::AngleDms, kNoChoice},
         {66, 10, "Précision sur la mesure d'azimut (secondes ou décimilligrades)",
          "Ecart-type :", FieldKind::Number, kNoChoice}
     }}},
    {"CORR",
     "Entête d'une matrice de corrélation",
     {{
         {7, 2, "Coordonnées cartésiennes ou locales",
          "Type de coordonnées", FieldKind::Choice, kCoordinateType},
         {10, 4, "Précise si la matrice est diagonale ou triangulaire supérieure",
          "Type de matrice", FieldKind::Choice, kMatrixType},
         {15, 10, "Valeur ajoutée à l'ensemble des éléments de la matrice",
          "Constante ALL :", FieldKind::Text, kNoChoice},
         {26, 10, "Facteur multiplicatif sur l'ensemble des éléments de la matrice",
          "Facteur ALL :", FieldKind::Text, kNoChoice},
         {37, 10, "Constante ajoutée uniquement aux termes diagonaux de la matrice",
          "Constante DIAG:", FieldKind::Text, kNoChoice},
         {48, 10, "Facteur multiplicatif sur les éléments diagonaux uniquement",
          "Facteur DIAG :", FieldKind::Text, kNoChoice},
         {59, 10, "PPM sur les éléments diagonaux de la matrice",
          "PPM DIAG :", FieldKind::Text, kNoChoice},
         {70, 10, "Constante ajoutée sur la composante verticale uniquement",
          "Constante UP :", FieldKind::Text, kNoChoice},
         {81, 10, "Facteur multiplicatif sur la composante verticale",
          "Facteur UP :", FieldKind::Text, kNoChoice},
         {92, 2, "Unité utilisée",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"COV",
     "Entête d'une matrice de covariance",
     {{
         {7, 2, "Coordonnées cartésiennes ou locales",
          "Type de coordonnées", FieldKind::Choice, kCoordinateType},
         {10, 4, "Précise si la matrice est diagonale ou triangulaire supérieure",
          "Type de matrice", FieldKind::Choice, kMatrixType},
         {15, 10, "Valeur ajoutée a l'ensemble des éléments de la matrice",
          "Constante ALL :", FieldKind::Text, kNoChoice},
         {26, 10, "Facteur multiplicatif sur l'ensemble des éléments de la matrice",
          "Facteur ALL :", FieldKind::Text, kNoChoice},
         {37, 10, "Constante ajoutée uniquement aux termes diagonaux de la matrice",
          "Constante DIAG:", FieldKind::Text, kNoChoice},
         {48, 10, "Facteur multiplicatif sur les éléments diagonaux uniquement",
          "Facteur DIAG :", FieldKind::Text, kNoChoice},
         {59, 10, "PPM sur les éléments diagonaux de la matrice",
          "PPM DIAG :", FieldKind::Text, kNoChoice},
         {70, 10, "Constante ajoutée sur la composante verticale uniquement",
          "Constante UP :", FieldKind::Text, kNoChoice},
         {81, 10, "Facteur multiplicatif sur la composante verticale",
          "Facteur UP :", FieldKind::Text, kNoChoice},
         {92, 2, "Unité utilisée",
          "Unite :", FieldKind::Choice, kLengthUnit}
     }}},
    {"DIR",
     "Observation de lecture horizontale",
     {{
         {7, 3, "Code définissant la précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice},
         {11, 12, "Nom du point stationné",
          "Station :", FieldKind::Text, kNoChoice},
         {24, 12, "Nom du Point Visé",
          "Point visé :", FieldKind::Text, kNoChoice},
         {50, 15, "Valeur de l'observation en DMS, ou grades/décigrades/décimilligrades",
          "Lecture :", FieldKind::AngleDms, kNoChoice},
         {66, 10, "Précision sur la mesure de lecture horizontale (secondes ou décimilligrades)",
          "Ecart-type :", FieldKind::Number, kNoChoice}
     }}},
    {"DIST",
     "Distance 3D entre deux points",
     {{
         {7, 3, "Code définissant la précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice},
         {11, 12, "Nom du point stationné",
          "Station :", FieldKind::Text, kNoChoice},
         {24, 12, "Nom du Point Visé",
          "Point visé :", FieldKind::Text, kNoChoice},
         {50, 15, "Valeur de l'observation de distance",
          "Observation :", FieldKind::Number, kNoChoice},
         {66, 10, "Précision sur la mesure de distance",
          "Ecart-type :", FieldKind::Number, kNoChoice},
         {77, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"DSET",
     "Définition d'une nouvelle inconnue d'orientation de limbe",
     {{
         {7, 3, "Code définissant la précision des mesures DIR suivantes",
          "Sigma-ID :", FieldKind::Text, kNoChoice}
     }}},
    {"DXYZ",
     "Vecteur 3D entre deux points",
     {{
         {11, 12, "Nom du point stationné",
          "Station :", FieldKind::Text, kNoChoice},
         {24, 12, "Nom du point Visé",
          "Point visé :", FieldKind::Text, kNoChoice},
         {37, 13, "Coordonnée X du vecteur",
          "DX :", FieldKind::Number, kNoChoice},
         {51, 13, "Coordonnée Y du vecteur",
          "DY :", FieldKind::Number, kNoChoice},
         {65, 13, "Coordonnée Z du vecteur",
          "DZ :", FieldKind::Number, kNoChoice},
         {79, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"ELEM",
     "Eléments d'une matrice de covariance/corrélation/poids",
     {{
         {7, 23, "Elément de la matrice",
          "Elément :", FieldKind::Number, kNoChoice},
         {31, 23, "Elément de la matrice",
          "Elément :", FieldKind::Number, kNoChoice},
         {55, 23, "Elément de la matrice",
          "Elément :", FieldKind::Number, kNoChoice},
         {79, 2, "Unité des éléments",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"ELIP",
     "Definition d'un ellipsoïde de référence",
     {{
         {7, 16, "Nom de l'ellipsoïde",
          "Nom :", FieldKind::Text, kNoChoice},
         {24, 13, "Valeur du 1/2 grand axe",
          "1/2 grand axe :", FieldKind::Number, kNoChoice},
         {38, 13, "Valeur du 1/2 petit axe",
          "1/2 petit axe :", FieldKind::Number, kNoChoice},
         {79, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"EPOC",
     "Précise le début d'une nouvelle époque de données",
     {{
         {7, 40, "Nom de l'époque",
          "Epoque :", FieldKind::Text, kNoChoice}
     }}},
    {"GEOI",
     "Valeurs observées de l'ondulation et de la déviation de verticale",
     {{
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 17, "Déviation de la verticale dans la direction Nord / Sud en degrés, minutes et secondes (exp : N 00 00 25.25)",
          "Déviation N/S :", FieldKind::AngleDms, kNoChoice},
         {42, 17, "Déviation de la verticale dans la direction Est/Ouest en degrés, minutes et secondes (exp : W 00 00 25.25)",
          "Déviation E/W :", FieldKind::AngleDms, kNoChoice},
         {60, 12, "Valeur de l'ondulation du geoïde pour le point",
          "Ondulation :", FieldKind::Number, kNoChoice},
         {73, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"GFIL",
     "Intégration d'une grille d'ondulation de geoïde",
     {{
         {7, 64, "Nom du fichier",
          "Fichier :", FieldKind::Text, kNoChoice}
     }}},
    {"GRP",
     "Groupe d'observations",
     {{
         {7, 73, "Nom donné à un groupe d'observations",
          "Nom du groupe :", FieldKind::Text, kNoChoice}
     }}},
    {"HI",
     "Valeur de hauteur d'instrument",
     {{
         {11, 12, "Nom du point concerné",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 10, "Valeur de la hauteur d'instrument",
          "Hauteur :", FieldKind::Number, kNoChoice},
         {35, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"HT",
     "Valeur de hauteur de cible",
     {{
         {11, 12, "Nom du point concerné",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 10, "Valeur de la hauteur de cible",
          "Hauteur :", FieldKind::Number, kNoChoice},
         {35, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"LAMB",
     "Définition d'une projection de type Lambert Conique Conforme (DM)",
     {{
         {7, 7, "Nom de la projection",
          "Nom :", FieldKind::Text, kNoChoice},
         {15, 7, "Latitude origine de la projection en degrés et minutes (exp : N47 25)",
          "Latitude origine :", FieldKind::AngleDms, kNoChoice},
         {23, 7, "Longitude origine de la projection en degrés et minutes (exp : E254 25)",
          "Longitude origine :", FieldKind::AngleDms, kNoChoice},
         {31, 12, "Faux nord",
          "Faux nord :", FieldKind::Number, kNoChoice},
         {44, 12, "Faux est",
          "Faux est :", FieldKind::Number, kNoChoice},
         {57, 7, "Premier parallèle automécoïque de la projection, en degrés et minutes (exp : N51 36)",
          "Premier parallèle :", FieldKind::AngleDms, kNoChoice},
         {65, 7, "Second parallèle automécoïque de la projection, en degrés et minutes (exp : N51 36)",
          "Second parallèle :", FieldKind::AngleDms, kNoChoice},
         {73, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"LENU",
     "Coordonnées locales en Est/Nord/Up",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 18, "Coordonnée est locale du point",
          "Est :", FieldKind::Number, kNoChoice},
         {43, 18, "Coordonnée nord locale du point",
          "Nord :", FieldKind::Number, kNoChoice},
         {62, 16, "Coordonnée verticale locale du point",
          "Up :", FieldKind::Number, kNoChoice},
         {81, 2, "Unité pour les coordonnees",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"LNEU",
     "Coordonnées locales en Nord/Est/Up",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 18, "Coordonnée nord locale du point",
          "Nord :", FieldKind::Number, kNoChoice},
         {43, 18, "Coordonnée est locale du point",
          "Est :", FieldKind::Number, kNoChoice},
         {62, 16, "Coordonnée verticale locale du point",
          "Up :", FieldKind::Number, kNoChoice},
         {81, 2, "Unité pour les coordonnées",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"NEH",
     "Coordonnées Nord/Est en projection + hauteur ellipsoïdale d'un point",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 16, "Coordonnée Nord en projection du point",
          "Nord :", FieldKind::Number, kNoChoice},
         {41, 16, "Coordonnée Est en projection du point",
          "Est :", FieldKind::Number, kNoChoice},
         {58, 10, "Hauteur ellipsoidale",
          "Hauteur :", FieldKind::Number, kNoChoice},
         {69, 7, "Nom de la projection utilisée",
          "Projection :", FieldKind::Text, kNoChoice},
         {77, 2, "Unité pour les coordonnées",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"NEO",
     "Coordonnées Nord/Est en projection + Altitude d'un point",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 16, "Coordonnée Nord en projection du point",
          "Nord :", FieldKind::Number, kNoChoice},
         {41, 16, "Coordonnée Est en projection du point",
          "Est :", FieldKind::Number, kNoChoice},
         {58, 10, "Altitude",
          "Altitude :", FieldKind::Number, kNoChoice},
         {69, 7, "Nom de la projection utilisée",
          "Projection :", FieldKind::Text, kNoChoice},
         {77, 2, "Unité pour les coordonnées",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"OHDF",
     "Denivelée entre deux points",
     {{
         {7, 3, "Code définissant la précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice},
         {11, 12, "Nom du point arrière",
          "Point arrière :", FieldKind::Text, kNoChoice},
         {24, 12, "Nom du point avant",
          "Point avant :", FieldKind::Text, kNoChoice},
         {50, 15, "Valeur de la dénivelée",
          "Denivelée :", FieldKind::Number, kNoChoice},
         {66, 10, "Précision sur la dénivelée",
          "Ecart-type :", FieldKind::Number, kNoChoice},
         {77, 14, "Longueur du cheminement entre les points",
          "Longueur :", FieldKind::Number, kNoChoice},
         {93, 2, "Unité (dénivelée et longueur)",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"OMER",
     "Définition d'une projection de type Mercator Oblique (DMS)",
     {{
         {7, 7, "Nom de la projection",
          "Nom :", FieldKind::Text, kNoChoice},
         {15, 17, "Longitude du méridien central de la projection en degrés, minutes et secondes (exp : E47 25 23.1454)",
          "Méridien central :", FieldKind::AngleDms, kNoChoice},
         {33, 17, "Latitude origine de la projection en degrés, minutes et secondes (exp : N52 25 32.1457)",
          "Latitude origine :", FieldKind::AngleDms, kNoChoice},
         {51, 16, "Azimuth origine de la projection en degrés, minutes et secondes (exp : E52 25 32.1457)",
          "Azimuth origine :", FieldKind::AngleDms, kNoChoice},
         {68, 12, "Faux nord",
          "Faux nord :", FieldKind::Number, kNoChoice},
         {80, 12, "Faux est",
          "Faux est :", FieldKind::Number, kNoChoice},
         {93, 12, "Valeur du facteur d'échelle à l'origine",
          "Facteur :", FieldKind::Number, kNoChoice},
         {106, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"PLH",
     "Coordonnées géographiques (DMS) + hauteur ellipsoïdale d'un point",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 17, "Latitude du point, en degrés, minutes et secondes (exp : N12 25 36.147)",
          "Latitude :", FieldKind::AngleDms, kNoChoice},
         {42, 17, "Longitude du point, en degrés, minutes et secondes (exp : E214 23 54.7)",
          "Longitude :", FieldKind::AngleDms, kNoChoice},
         {60, 12, "Hauteur ellipsoïdale du point",
          "Hauteur :", FieldKind::Number, kNoChoice},
         {73, 2, "Unité pour la hauteur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"PLHD",
     "Coordonnées géographiques (DDec) + hauteur ellipsoïdale d'un point",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 17, "Latitude du point, en degrés décimaux (exp : N12.214577)",
          "Latitude :", FieldKind::AngleDecimal, kNoChoice},
         {42, 17, "Longitude du point, en degrés décimaux (exp : E214.012445)",
          "Longitude :", FieldKind::AngleDecimal, kNoChoice},
         {60, 12, "Hauteur ellispoïdale du point",
          "Hauteur :", FieldKind::Number, kNoChoice},
         {73, 2, "Unité pour la hauteur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"PLO",
     "Coordonnées géographiques (DMS) + altitude d'un point",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 17, "Latitude du point, en degrés, minutes et secondes (exp : N12 25 36.147)",
          "Latitude :", FieldKind::AngleDms, kNoChoice},
         {42, 17, "Longitude du point, en degrés, minutes et secondes (exp : E214 23 54.7)",
          "Longitude :", FieldKind::AngleDms, kNoChoice},
         {60, 12, "Altitude du point",
          "Altitude :", FieldKind::Number, kNoChoice},
         {73, 2, "Unité pour l'altitude",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"PLOD",
     "Coordonnées géographiques (DDec) + altitude d'un point",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 17, "Latitude du point, en degrés décimaux (exp : N12.014577)",
          "Latitude :", FieldKind::AngleDecimal, kNoChoice},
         {42, 17, "Longitude du point, en degrés décimaux (exp : E214.687445)",
          "Longitude :", FieldKind::AngleDecimal, kNoChoice},
         {60, 12, "Altitude du point",
          "Altitude  :", FieldKind::Number, kNoChoice},
         {73, 2, "Unité pour l'altitude",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"PMOY",
     "Latitude moyenne du réseau (DMS)",
     {{
         {7, 17, "Latitude moyenne du réseau en degrés, minutes et secondes (exp : N12 25 36.147)",
          "Latitude moyenne :", FieldKind::AngleDms, kNoChoice}
     }}},
    {"RSET",
     "Précision sur le coefficient de réfraction d'une mesure ZANG",
     {{
         {7, 10, "Indique la valeur a priori sur la précision du coefficient de réfraction utilisé (exp : 0.06)",
          "Précision :", FieldKind::Text, kNoChoice}
     }}},
    {"SIGM",
     "Definition d'une famille de précision",
     {{
         {7, 3, "Nom de la famille de précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice},
         {11, 10, "Ecart-type constant",
          "Ecart-Type :", FieldKind::Number, kNoChoice},
         {22, 10, "Ecart-type fonction de la distance",
          "PPM :", FieldKind::Number, kNoChoice},
         {33, 10, "Erreur de centrage sur le point (cas mesure=coordonnée)",
          "Centrage station :", FieldKind::Number, kNoChoice},
         {44, 10, "Erreur de centrage sur le point stationné (cas mesure entre deux points)",
          "Centrage Pt stationné :", FieldKind::Number, kNoChoice},
         {55, 10, "Erreur de centrage sur le point visé (cas mesure entre deux points)",
          "Centrage Pt visé :", FieldKind::Number, kNoChoice},
         {66, 12, "Liste de paramètres secondaires",
          "Autres paramètres :", FieldKind::Text, kNoChoice},
         {79, 2, "Unité (constante et centrages)",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"STGR",
     "Définition d'une projection de type Stéréographique (DMS)",
     {{
         {7, 7, "Nom de la projection",
          "Nom :", FieldKind::Text, kNoChoice},
         {15, 17, "Latitude origine de la projection en degrés, minutes et secondes (exp : N47 25 23.1454)",
          "Latitude origine :", FieldKind::AngleDms, kNoChoice},
         {33, 17, "Longitude origine de la projection en degrés, minutes et secondes (exp : E52 25 32.1457)",
          "Longitude origine :", FieldKind::AngleDms, kNoChoice},
         {51, 12, "Faux nord",
          "Faux nord :", FieldKind::Number, kNoChoice},
         {64, 12, "Faux est",
          "Faux est :", FieldKind::Number, kNoChoice},
         {77, 12, "Valeur du facteur d'échelle à l'origine",
          "Facteur :", FieldKind::Number, kNoChoice},
         {90, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"TITL",
     "Titre du fichier IOB",
     {{
         {7, 73, "Titre du fichier IOB",
          "Titre :", FieldKind::Text, kNoChoice}
     }}},
    {"TMER",
     "Définition d'une projection de type Mercator Transverse (DM)",
     {{
         {7, 7, "Nom de la projection",
          "Nom :", FieldKind::Text, kNoChoice},
         {15, 7, "Longitude du méridien central de la projection en degrés et minutes (exp : E47 25)",
          "Méridien central :", FieldKind::AngleDms, kNoChoice},
         {23, 7, "Latitude origine de la projection en degrés et minutes (exp : N52 25)",
          "Latitude origine :", FieldKind::AngleDms, kNoChoice},
         {31, 12, "Faux nord",
          "Faux nord :", FieldKind::Number, kNoChoice},
         {44, 12, "Faux est",
          "Faux est :", FieldKind::Number, kNoChoice},
         {57, 12, "Valeur du facteur d'échelle à l'origine",
          "Facteur :", FieldKind::Number, kNoChoice},
         {70, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"UNHI",
     "Valeur approchée de hauteur d'instrument inconnue",
     {{
         {11, 12, "Nom du point concerné",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 10, "Valeur de la hauteur d'instrument",
          "Hauteur :", FieldKind::Number, kNoChoice},
         {35, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"UNHT",
     "Valeur approchée de hauteur de cible inconnue",
     {{
         {11, 12, "Nom du point concerné",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 10, "Valeur de la hauteur de cible",
          "Hauteur :", FieldKind::Number, kNoChoice},
         {35, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"XLAM",
     "Définition d'une projection de type Lambert Conique Conforme (DMS)",
     {{
         {7, 7, "Nom de la projection",
          "Nom :", FieldKind::Text, kNoChoice},
         {15, 17, "Latitude origine de la projection en degrés,  minutes et secondes (exp : N47 25 54.458)",
          "Latitude origine :", FieldKind::AngleDms, kNoChoice},
         {33, 17, "Longitude origine de la projection en degrés, minutes et secondes (exp : E254 25 21.45)",
          "Longitude origine :", FieldKind::AngleDms, kNoChoice},
         {51, 12, "Faux nord",
          "Faux nord :", FieldKind::Number, kNoChoice},
         {64, 12, "Faux est",
          "Faux est :", FieldKind::Number, kNoChoice},
         {77, 17, "Premier parallèle automécoïque de la projection, en degrés, minutes et secondes (exp : N51 36 23.1145)",
          "Premier parallèle :", FieldKind::AngleDms, kNoChoice},
         {95, 17, "Second parallèle automécoïque de la projection, en degrés,  minutes et secondes (exp : N51 36 45.32145)",
          "Second parallèle :", FieldKind::AngleDms, kNoChoice},
         {113, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"XTMR",
     "Définition d'une projection de type Mercator Transverse (DMS)",
     {{
         {7, 7, "Nom de la projection",
          "Nom :", FieldKind::Text, kNoChoice},
         {15, 17, "Longitude du méridien central de la projection en degrés, minutes et secondes (exp : E47 25 23.1454)",
          "Méridien central :", FieldKind::AngleDms, kNoChoice},
         {33, 17, "Latitude origine de la projection en degrés, minutes et secondes (exp : N52 25 32.1457)",
          "Latitude origine :", FieldKind::AngleDms, kNoChoice},
         {51, 12, "Faux nord",
          "Faux nord :", FieldKind::Number, kNoChoice},
         {64, 12, "Faux est",
          "Faux est :", FieldKind::Number, kNoChoice},
         {77, 12, "Valeur du facteur d'échelle à l'origine",
          "Facteur :", FieldKind::Number, kNoChoice},
         {90, 2, "Unité de longueur",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"XYZ",
     "Coordonnées cartésiennes géocentrique d'un point",
     {{
         {7, 3, "Coordonnées fixes (1) ou libres (0)",
          "Coordonnées fixées :", FieldKind::FixFlags, kNoChoice},
         {11, 12, "Nom du point",
          "Point :", FieldKind::Text, kNoChoice},
         {24, 18, "Coordonnée X du point",
          "X :", FieldKind::Number, kNoChoice},
         {43, 18, "Coordonnée Y du point",
          "Y :", FieldKind::Number, kNoChoice},
         {62, 18, "Coordonnée Z du point",
          "Z :", FieldKind::Number, kNoChoice},
         {81, 2, "Unité pour les coordonnees",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"WGT",
     "Entête d'une matrice de pondération",
     {{
         {7, 2, "Coordonnées cartésiennes ou locales",
          "Type de coordonnées", FieldKind::Choice, kCoordinateType},
         {10, 4, "Précise si la matrice est diagonale ou triangulaire supérieure",
          "Type de matrice", FieldKind::Choice, kMatrixType},
         {15, 10, "Valeur ajoutée à l'ensemble des éléments de la matrice",
          "Constante ALL :", FieldKind::Text, kNoChoice},
         {26, 10, "Facteur multiplicatif sur l'ensemble des éléments de la matrice",
          "Facteur ALL :", FieldKind::Text, kNoChoice},
         {37, 10, "Constante ajoutée uniquement aux termes diagonaux de la matrice",
          "Constante DIAG:", FieldKind::Text, kNoChoice},
         {48, 10, "Facteur multiplicatif sur les éléments diagonaux uniquement",
          "Facteur DIAG :", FieldKind::Text, kNoChoice},
         {59, 10, "PPM sur les éléments diagonaux de la matrice",
          "PPM DIAG :", FieldKind::Text, kNoChoice},
         {70, 10, "Constante ajoutée sur la composante verticale uniquement",
          "Constante UP :", FieldKind::Text, kNoChoice},
         {81, 10, "Facteur multiplicatif sur la composante verticale",
          "Facteur UP :", FieldKind::Text, kNoChoice},
         {92, 2, "Unité utilisée",
          "Unité :", FieldKind::Choice, kLengthUnit}
     }}},
    {"ZANG",
     "Angle zénithal d'une direction",
     {{
         {7, 3, "Code définissant la précision",
          "Sigma-ID :", FieldKind::Text, kNoChoice},
         {11, 12, "Nom du point stationné",
          "Station :", FieldKind::Text, kNoChoice},
         {24, 12, "Nom du Point Visé",
          "Point visé :", FieldKind::Text, kNoChoice},
         {50, 15, "Valeur de l'observation en DMS ou grad/décigrads/décimgrads",
          "Observation :", FieldKind::AngleDms, kNoChoice},
         {66, 10, "Précision sur la mesure d'angle, en secondes de degrés ou décimilligrades",
          "Ecart-type (sec) :", FieldKind::Number, kNoChoice},
         {77, 10, "Coefficient de réfraction",
          "Coef. réfraction :", FieldKind::Number, kNoChoice}
     }}},
};
// clang-format on

QString translated(const char *text)
{
    return QCoreApplication::translate("RecordCatalogue", text);
}

} // namespace

RecordCatalogue::RecordCatalogue()
{
    m_types.reserve(int(std::size(kRecords)));
    for (const RecordRow &row : kRecords) {
        RecordType type;
        type.code = QString::fromLatin1(row.code);
        type.description = translated(row.description);
        for (const FieldRow &field : row.fields) {
            if (field.width == 0)
                break;
            type.fields.append({field.column, field.width, translated(field.tooltip),
                                translated(field.caption), field.kind,
                                QString::fromLatin1(field.choices)});
        }
        m_types.append(type);
    }
}

int RecordCatalogue::indexOf(const QString &code) const
{
    for (int i = 0; i < m_types.size(); ++i) {
        if (m_types.at(i).code == code)
            return i;
    }
    return -1;
}

QStringList RecordCatalogue::highlighterKeywords()
{
    QStringList keywords;
    for (const RecordRow &row : kRecords) {
        const QString code = QString::fromLatin1(row.code);
        if (code != QLatin1String("STGR") && code != QLatin1String("XTMR"))
            keywords.append(code);
    }
    // The colouring has always known the Mercator record under this spelling.
    keywords.append(QStringLiteral("XMTR"));
    return keywords;
}

QStringList RecordCatalogue::engineRecordCodes()
{
    return {QStringLiteral("3DC"),  QStringLiteral("3DD"),  QStringLiteral("ANGT"),
            QStringLiteral("AUX"),  QStringLiteral("AZIM"), QStringLiteral("CORR"),
            QStringLiteral("COV"),  QStringLiteral("DIR"),  QStringLiteral("DIST"),
            QStringLiteral("DSET"), QStringLiteral("DXYZ"), QStringLiteral("ELEM"),
            QStringLiteral("ELIP"), QStringLiteral("EPOC"), QStringLiteral("GEOI"),
            QStringLiteral("GFIL"), QStringLiteral("GRP"),  QStringLiteral("HI"),
            QStringLiteral("HT"),   QStringLiteral("LAMB"), QStringLiteral("LENU"),
            QStringLiteral("LNEU"), QStringLiteral("NEH"),  QStringLiteral("NEO"),
            QStringLiteral("OHDF"), QStringLiteral("OMER"), QStringLiteral("PLH"),
            QStringLiteral("PLHD"), QStringLiteral("PLO"),  QStringLiteral("PLOD"),
            QStringLiteral("PMOY"), QStringLiteral("RSET"), QStringLiteral("SIGM"),
            QStringLiteral("STGR"), QStringLiteral("TITL"), QStringLiteral("TMER"),
            QStringLiteral("UNHI"), QStringLiteral("UNHT"), QStringLiteral("WGT"),
            QStringLiteral("XLAM"), QStringLiteral("XTMR"), QStringLiteral("XYZ"),
            QStringLiteral("ZANG")};
}

bool RecordCatalogue::engineReads(const QString &code)
{
    return engineRecordCodes().contains(code);
}
