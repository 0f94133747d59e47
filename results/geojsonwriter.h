#ifndef GEOJSONWRITER_H
#define GEOJSONWRITER_H

#include <QString>
#include <QVector>

// An adjusted point in geodetic coordinates, for maps.
struct GeodeticPoint
{
    QString name;
    double longitude = 0.0; // degrees, east positive
    double latitude = 0.0;  // degrees, north positive
    double height = 0.0;    // metres
    bool fixed = false;
};

// Writes `points` atomically as a GeoJSON collection of point features in UTF-8, as the format
// requires: coordinates [longitude, latitude, height], the name and "fixe" or "libre" as
// properties. A longitude outside -180..180 or a latitude outside -90..90, or a value not finite,
// writes nothing and names the point in `error`.
bool writeGeoJson(const QVector<GeodeticPoint> &points, const QString &path, QString &error);

#endif // GEOJSONWRITER_H
