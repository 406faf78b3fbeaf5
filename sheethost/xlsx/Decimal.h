#pragma once

#include <string>

// A double as the decimal digits a spreadsheet works with: at most 15 significant digits, so that
// 0.1 + 0.2 is 0.3 and 2.675 rounds up to 2.68 as a user expects.
namespace SheetHost {

struct Decimal
{
    bool negative = false;
    // Significant digits without leading or trailing zeros; empty for zero.
    std::string digits;
    // The value is 0.<digits> times ten to this power: the number of digits before the point.
    int exponent = 0;

    static Decimal FromDouble(double value, int significant = 15);

    bool isZero() const { return digits.empty(); }
    // Rounds half away from zero to the given number of digits after the point.
    void roundToDecimals(int decimals);
    void roundToSignificant(int count);
    // Digits before the point, "" for a value below one.
    std::string integerDigits() const;
    // Exactly `count` digits after the point, padded with zeros.
    std::string fractionDigits(int count) const;
    // Digits after the point without trailing zeros.
    int fractionLength() const;
    // Plain decimal text: "-12.5", "0.001", "100000000000000000000"; never exponent notation.
    std::string toPlain() const;

private:
    void roundAt(int keep);
    void trim();
};

} // namespace SheetHost
