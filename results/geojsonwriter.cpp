#include "geojsonwriter.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

bool writeGeoJson(const QVector<GeodeticPoint> &points, const QString &path, QString &error)
{
    QJsonArray features;
    for (const GeodeticPoint &point : points) {
        if (!std::isfinite(point.longitude) || !std::isfinite(point.latitude) ||
            !std::isfinite(point.height) || std::abs(point.longitude) > 180.0 ||
            std::abs(point.latitude) > 90.0) {
            error = QCoreApplication::translate("drawingexport",
                                                "Coordonnées géographiques invalides : %1")
                        .arg(point.name);
            return false;
        }
        const QJsonObject geometry{{QStringLiteral("type"), QStringLiteral("Point")},
                                   {QStringLiteral("coordinates"),
                                    QJsonArray{point.longitude, point.latitude, point.height}}};
        const QJsonObject properties{{QStringLiteral("name"), point.name},
                                     {QStringLiteral("statut"), point.fixed
                                                                    ? QStringLiteral("fixe")
                                                                    : QStringLiteral("libre")}};
        features.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("Feature")},
                                    {QStringLiteral("geometry"), geometry},
                                    {QStringLiteral("properties"), properties}});
    }
    const QJsonObject collection{{QStringLiteral("type"), QStringLiteral("FeatureCollection")},
                                 {QStringLiteral("features"), features}};

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(collection).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}
