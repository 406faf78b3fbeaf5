#include "sheethost/xlsx/Decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace SheetHost {

Decimal Decimal::FromDouble(double value, int significant)
{
    Decimal result;
    if (!std::isfinite(value) || value == 0.0)
        return result;
    result.negative = value < 0;
    significant = std::clamp(significant, 1, 17);
    char buffer[64];
    // "d.ddddde[+-]xx": correctly rounded to the requested significant digits.
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                            std::chars_format::scientific, significant - 1);
    if (error != std::errc())
        return Decimal();
    const std::string_view text(buffer, std::size_t(end - buffer));
    const std::size_t e = text.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.')
            result.digits.push_back(text[i]);
    }
    result.exponent = std::atoi(std::string(text.substr(e + 1)).c_str()) + 1;
    result.trim();
    return result;
}

void Decimal::trim()
{
    std::size_t lead = 0;
    while (lead < digits.size() && digits[lead] == '0')
        ++lead;
    if (lead > 0) {
        digits.erase(0, lead);
        exponent -= int(lead);
    }
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    if (digits.empty()) {
        exponent = 0;
    }
}

void Decimal::roundAt(int keep)
{
    if (digits.empty() || keep >= int(digits.size()))
        return;
    if (keep < 0) {
        digits.clear();
        trim();
        return;
    }
    const bool up = digits[std::size_t(keep)] >= '5';
    digits.resize(std::size_t(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && digits[std::size_t(i)] == '9') {
            digits[std::size_t(i)] = '0';
            --i;
        }
        if (i >= 0) {
            ++digits[std::size_t(i)];
        } else {
            digits.insert(digits.begin(), '1');
            ++exponent;
        }
    }
    trim();
}

void Decimal::roundToDecimals(int decimals)
{
    roundAt(exponent + decimals);
}

void Decimal::roundToSignificant(int count)
{
    roundAt(count);
}

std::string Decimal::integerDigits() const
{
    if (exponent <= 0)
        return std::string();
    std::string result = digits.substr(0, std::size_t(std::min<int>(exponent, int(digits.size()))));
    result.append(std::size_t(std::max(0, exponent - int(digits.size()))), '0');
    return result;
}

std::string Decimal::fractionDigits(int count) const
{
    std::string result;
    result.reserve(std::size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const int index = exponent + i;
        result.push_back(index >= 0 && index < int(digits.size()) ? digits[std::size_t(index)]
                                                                  : '0');
    }
    return result;
}

int Decimal::fractionLength() const
{
    return std::max(0, int(digits.size()) - exponent);
}

std::string Decimal::toPlain() const
{
    if (digits.empty())
        return "0";
    std::string result = negative ? "-" : "";
    const std::string whole = integerDigits();
    result += whole.empty() ? "0" : whole;
    const int decimals = fractionLength();
    if (decimals > 0) {
        result += '.';
        result += fractionDigits(decimals);
    }
    return result;
}

} // namespace SheetHost
