#pragma once
// A length on paper. The program meets it in six units: millimetres (the
// layout, label sheets), points (PDF and CUPS page sizes), inches, twips
// (the printer records, 1/1440 inch), hundredths of a millimetre (PPD and
// IPP media sizes, 2540 an inch) and dots of a device at its resolution.
// Every conversion constant is here; a length is kept in points, and each
// conversion multiplies and divides in the order the printer code always
// did, so sizes come out to the same bit as before there was this type.
#include <QtGlobal>

namespace zl {

class Length {
public:
    static constexpr double kPointsPerInch = 72.0;
    static constexpr double kMmPerInch = 25.4;
    static constexpr double kCmPerInch = 2.54;
    static constexpr double kTwipsPerPoint = 20.0;
    static constexpr double kTwipsPerInch = 1440.0;
    static constexpr double kHundredthsMmPerInch = 2540.0;

    constexpr Length() = default;

    static constexpr Length pt(double points) { return Length(points); }
    static constexpr Length mm(double mm) { return Length(mm * kPointsPerInch / kMmPerInch); }
    static constexpr Length in(double inches) { return Length(inches * kPointsPerInch); }
    static constexpr Length twips(double twips) { return Length(twips / kTwipsPerPoint); }
    static constexpr Length hundredthsMm(double h) { return Length(h * kPointsPerInch / kHundredthsMmPerInch); }
    static constexpr Length dots(double dots, double dpi) { return Length(dots * kPointsPerInch / dpi); }

    constexpr double pt() const { return m_points; }
    constexpr double mm() const { return m_points * (kMmPerInch / kPointsPerInch); }
    constexpr double in() const { return m_points / kPointsPerInch; }
    constexpr double twips() const { return m_points * kTwipsPerPoint; }
    constexpr double dots(double dpi) const { return m_points * dpi / kPointsPerInch; }
    // Whole twips, as a printer record holds a size.
    int wholeTwips() const { return qRound(twips()); }

    // A device's dots in a millimetre, the scale a page is painted at, and
    // the millimetres of one dot.
    static constexpr double dotsPerMm(double dpi) { return dpi / kMmPerInch; }
    static constexpr double mmPerDot(double dpi) { return kMmPerInch / dpi; }
    // Twips in a millimetre, for sizes that go from millimetres straight to twips.
    static constexpr double twipsPerMm() { return kTwipsPerInch / kMmPerInch; }
    // A resolution given per centimetre (IPP's dots-per-cm) in dots an inch.
    static int dpiFromDotsPerCm(int perCm) { return qRound(perCm * kCmPerInch); }

    // The settings tables and the printer records' tenths of a millimetre
    // were always converted at 56.7 twips a millimetre, not at 1440 / 25.4
    // (56.69...): stored sizes, and the whole millimetres a paper list
    // shows, round the way they were written. These two are for those
    // tables only; any other length goes through the units above.
    static constexpr double kStoredTwipsPerMm = 56.7;
    static constexpr double kStoredTwipsPerTenthMm = 5.67;
    static constexpr double storedMmFromTwips(double twips) { return twips / kStoredTwipsPerMm; }

    friend constexpr Length operator+(Length a, Length b) { return Length(a.m_points + b.m_points); }
    friend constexpr Length operator-(Length a, Length b) { return Length(a.m_points - b.m_points); }
    friend constexpr Length operator*(Length a, double x) { return Length(a.m_points * x); }
    friend constexpr Length operator*(double x, Length a) { return Length(x * a.m_points); }
    friend constexpr Length operator/(Length a, double x) { return Length(a.m_points / x); }
    friend constexpr double operator/(Length a, Length b) { return a.m_points / b.m_points; }
    friend constexpr bool operator==(Length a, Length b) { return a.m_points == b.m_points; }
    friend constexpr bool operator!=(Length a, Length b) { return a.m_points != b.m_points; }
    friend constexpr bool operator<(Length a, Length b) { return a.m_points < b.m_points; }

private:
    explicit constexpr Length(double points) : m_points(points) {}
    double m_points = 0;
};

} // namespace zl
