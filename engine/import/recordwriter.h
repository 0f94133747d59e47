#ifndef ENGINE_IMPORT_RECORDWRITER_H
#define ENGINE_IMPORT_RECORDWRITER_H

#include <Eigen/Core>

#include <string>
#include <string_view>
#include <vector>

// Writing of observation record lines at the fixed columns of the record catalogue: column 1
// blank, the code left-aligned in columns 2 to 5, then each field at its columns by the rule of
// its kind (numbers right-aligned with a given number of decimals, texts left-aligned and cut,
// three-part angles "pddd mm ss.sss", flags and units as they are). A value that does not fit
// its columns is never written over the next field: the line is marked as failed with the reason,
// and the caller turns the input line into a comment instead.
namespace engine::import {

// The three-part angle forms of the observation files.
enum class AngleForm {
    Dms,   // degrees, minutes, seconds
    Grades // grades, centigrades, decimilligrades
};

class RecordLine
{
public:
    explicit RecordLine(std::string_view code);

    // `value` left-aligned in `width` characters, cut when longer.
    RecordLine &text(int column, int width, std::string_view value);
    // A point name: left-aligned, refused (not cut) when longer than `width` or empty, since a cut
    // name could merge two points.
    RecordLine &name(int column, int width, std::string_view value);
    // `value` with `decimals` digits after the point, right-aligned in `width` characters with at
    // least one blank in front: fewer decimals when the value needs the room.
    RecordLine &number(int column, int width, double value, int decimals);
    // A three-part angle: a one-character prefix (`positive` for values >= 0, `negative` else),
    // the whole units right-aligned in 3, a blank, the second part in 2, and, when `width` is 8 or
    // more, a blank and the third part with `decimals` decimals (at most `width` - 12)
    // right-aligned in `width` - 8. `value` is in degrees (Dms) or grades (Grades).
    RecordLine &angle(int column, int width, double value, AngleForm form, int decimals,
                      char positive = ' ', char negative = '-');
    // Characters written as they are (flags, units, choices); refused when longer than `width`.
    RecordLine &raw(int column, int width, std::string_view value);

    bool ok() const { return m_problem.empty(); }
    // Why the line could not be written (Latin-1); empty when it could.
    const std::string &problem() const { return m_problem; }
    // The line, without trailing blanks.
    std::string str() const;

private:
    void place(int column, int width, const std::string &value, bool right);
    void fail(int column, int width, const std::string &why);

    std::string m_line;
    std::string m_problem;
};

// A comment line: "!" in column 1, then `text`.
std::string commentLine(std::string_view text);

// `value` in the three-part form of `form` with `decimals` decimals on the third part, without
// prefix: "ddd mm ss.ssss" with the parts separated by one blank, the second part in two
// characters. Rounding carries into the larger parts (59.99999 seconds never prints as 60).
std::string threePartAngle(double value, AngleForm form, int decimals);

// The covariance matrix header and its elements for a 3x3 covariance in square metres: a COV
// header (coordinate type `coordinateType`, "CT" cartesian or "LG" local east-north-up, upper
// triangle, unit metre), then two ELEM lines with the upper triangle row by row (c11 c12 c13,
// then c22 c23 c33), 16 decimals each. Empty when the matrix is not symmetric positive definite.
std::vector<std::string> covarianceLines(const Eigen::Matrix3d &covariance,
                                         const char *coordinateType);

} // namespace engine::import

#endif // ENGINE_IMPORT_RECORDWRITER_H
