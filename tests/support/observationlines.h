#ifndef OBSERVATIONLINES_H
#define OBSERVATIONLINES_H

#include <string>
#include <vector>

// Record lines of observation files for the tests, built field by field at the columns of the
// record catalogue (column 1 blank, code in columns 2 to 5). Independent of the code under test:
// the engine tests write their networks with these.
namespace observationlines {

constexpr double kPi = 3.14159265358979323846;

// `text` placed at columns `column` .. `column + width - 1` of `line` (1-based), right-aligned
// when `right` is true, else left-aligned; the line grows with blanks as needed.
void place(std::string &line, int column, int width, const std::string &text, bool right);

// `value` with `decimals` digits after the point, in the C locale.
std::string number(double value, int decimals);

// A record line holding only its code.
std::string record(const std::string &code);

std::string lenu(const std::string &fixity, const std::string &name, double east, double north,
                 double up, const std::string &unit = "m ");
std::string lneu(const std::string &fixity, const std::string &name, double north, double east,
                 double up, const std::string &unit = "m ");
std::string sigm(const std::string &id, double constant, double ppm, double centringStation,
                 double centringTarget, const std::string &unit = "m ");
std::string height(const std::string &code, const std::string &point, double value,
                   const std::string &unit = "m ");
// DIR, AZIM or ZANG with its angle field already written (three-part form).
std::string angle(const std::string &code, const std::string &sigmaId, const std::string &station,
                  const std::string &target, const std::string &angleField,
                  const std::string &stdDev = std::string(),
                  const std::string &refraction = std::string());
std::string dist(const std::string &sigmaId, const std::string &station, const std::string &target,
                 double value, const std::string &stdDev, const std::string &unit = "m ");
std::string ohdf(const std::string &sigmaId, const std::string &from, const std::string &to,
                 double value, const std::string &stdDev, double length,
                 const std::string &unit = "m ");
std::string withSigmaId(const std::string &code, const std::string &sigmaId);
// An AUX group: its scope (DIS, ZAN, ALL), its name and its parameter types.
std::string aux(const std::string &scope, const std::string &group,
                const std::vector<std::string> &types);
std::string groupRecord(const std::string &group);

// An angle in radians in the three-part forms: "ggg cc cccc.ccc" grades, "ddd mm ss.sss" degrees.
std::string grades(double radians, int decimals = 4);
std::string dms(double radians, int decimals = 4);

} // namespace observationlines

#endif // OBSERVATIONLINES_H
