// Binary values as the server sends them (COPY ... FORMAT binary, and the
// binary results of a statement with parameters), made cells of the kinds
// the embedded engine hands out, so the library's one value code converts
// them the same way: integers and booleans as integers, floating point as
// reals, numeric and money as their decimal texts, dates as YYYY-MM-DD,
// everything textual as UTF-8 text, bytea and PostGIS's EWKB as blobs.
// Every length is checked against the type before a byte is read.

#include "postgres/binary_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "values/dates.h"

namespace {

// numeric: ndigits, weight, sign, dscale (16 bits each), then ndigits
// base-10000 digits, most significant first; the value is the sum of
// digit[i] * 10000^(weight - i), shown with dscale digits after the point.
constexpr int kNumericHeaderBytes = 2 + 2 + 2 + 2;
constexpr int kNumericDigitBytes = 2;
constexpr int kNumericBase = 10000;
constexpr int kDecimalDigitsPerNumericDigit = 4;
constexpr uint16_t kNumericPositive = 0x0000;
constexpr uint16_t kNumericNegative = 0x4000;
constexpr uint16_t kNumericNaN = 0xC000;
constexpr uint16_t kNumericPlusInfinity = 0xD000;
constexpr uint16_t kNumericMinusInfinity = 0xF000;
constexpr int kNumericMaxDisplayScale = 0x3FFF;

// The numeric's decimal text, as the server would show it. NaN and the
// infinities get their words, which the value code refuses as numbers.
bool numeric_text(const char* bytes, int length, std::string& text) {
    if (length < kNumericHeaderBytes) {
        return false;
    }
    int ndigits = static_cast<int16_t>(read_be16(bytes));
    int weight = static_cast<int16_t>(read_be16(bytes + 2));
    uint16_t sign = read_be16(bytes + 4);
    int dscale = read_be16(bytes + 6);
    if (ndigits < 0 || length != kNumericHeaderBytes + ndigits * kNumericDigitBytes) {
        return false;
    }
    const char* digits = bytes + kNumericHeaderBytes;
    switch (sign) {
        case kNumericNaN:
            text = "NaN";
            return true;
        case kNumericPlusInfinity:
            text = "Infinity";
            return true;
        case kNumericMinusInfinity:
            text = "-Infinity";
            return true;
        case kNumericPositive:
        case kNumericNegative:
            break;
        default:
            return false;
    }
    if (dscale > kNumericMaxDisplayScale) {
        return false;
    }
    auto digit_at = [&](int d, int* digit) {
        *digit = d >= 0 && d < ndigits ? read_be16(digits + d * kNumericDigitBytes) : 0;
        return *digit < kNumericBase;
    };
    text.clear();
    if (sign == kNumericNegative && ndigits > 0) {
        text += '-';
    }
    char group[kDecimalDigitsPerNumericDigit + 1];
    if (weight < 0) {
        text += '0';
    }
    for (int d = 0; d <= weight; ++d) {
        int digit = 0;
        if (!digit_at(d, &digit)) {
            return false;
        }
        if (d == 0) {
            text += std::to_string(digit);
        } else {
            std::snprintf(group, sizeof group, "%04d", digit);
            text += group;
        }
    }
    if (dscale > 0) {
        text += '.';
        for (int d = weight + 1, written = 0; written < dscale; ++d) {
            int digit = 0;
            if (!digit_at(d, &digit)) {
                return false;
            }
            std::snprintf(group, sizeof group, "%04d", digit);
            int take = dscale - written < kDecimalDigitsPerNumericDigit
                           ? dscale - written
                           : kDecimalDigitsPerNumericDigit;
            text.append(group, static_cast<size_t>(take));
            written += take;
        }
    }
    return true;
}

// date: days since 2000-01-01; the largest and smallest 32-bit values are
// the server's infinities. Beyond the years 1 to 9999 the text says where
// it lies, and the value code refuses it.
constexpr int32_t kDatePlusInfinity = INT32_MAX;
constexpr int32_t kDateMinusInfinity = INT32_MIN;

void date_text(int32_t days, std::string& text) {
    static const int64_t kEpoch = date_from_ymd(2000, 1, 1);
    static const int64_t kFirst = date_from_ymd(1, 1, 1);
    static const int64_t kLast = date_from_ymd(9999, 12, 31);
    int64_t date = kEpoch + days;
    if (days == kDatePlusInfinity) {
        text = "infinity";
    } else if (days == kDateMinusInfinity) {
        text = "-infinity";
    } else if (date < kFirst) {
        text = "before 0001-01-01";
    } else if (date > kLast) {
        text = "after 9999-12-31";
    } else {
        char ymd[11];
        date_to_text(static_cast<OslDate>(date), ymd);
        text.assign(ymd, sizeof ymd - 1);
    }
}

// money: a 64-bit count of the smallest unit; scale digits after the point.
void money_text(int64_t units, int scale, std::string& text) {
    uint64_t magnitude =
        units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    std::string digits = std::to_string(magnitude);
    if (digits.size() <= static_cast<size_t>(scale)) {
        digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
    }
    text = units < 0 ? "-" : "";
    text += digits.substr(0, digits.size() - static_cast<size_t>(scale));
    if (scale > 0) {
        text += '.';
        text += digits.substr(digits.size() - static_cast<size_t>(scale));
    }
}

// A real (float4) widened through its shortest decimal text, so 0.1 stays
// the 0.1 the server shows rather than 0.100000001490116.
double widened(float value) {
    if (!std::isfinite(value)) {
        return value;
    }
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, value).ptr;
    double result = value;
    std::from_chars(text, end, result);
    return result;
}

}  // namespace

bool decode_value(Decoder decoder, const char* bytes, int length, int money_scale,
                  std::string& text, Cell* cell) {
    switch (decoder) {
        case Decoder::kBoolean:
            *cell = cell_integer(length == 1 && bytes[0] != 0 ? 1 : 0);
            return length == 1;
        case Decoder::kInt16:
            *cell = cell_integer(length == 2 ? static_cast<int16_t>(read_be16(bytes)) : 0);
            return length == 2;
        case Decoder::kInt32:
            *cell = cell_integer(length == 4 ? static_cast<int32_t>(read_be32(bytes)) : 0);
            return length == 4;
        case Decoder::kOid:
            *cell = cell_integer(length == 4 ? read_be32(bytes) : 0);
            return length == 4;
        case Decoder::kInt64:
            *cell = cell_integer(length == 8 ? static_cast<int64_t>(read_be64(bytes)) : 0);
            return length == 8;
        case Decoder::kFloat32: {
            if (length != 4) {
                return false;
            }
            uint32_t bits = read_be32(bytes);
            float value;
            std::memcpy(&value, &bits, sizeof value);
            *cell = cell_real(widened(value));
            return true;
        }
        case Decoder::kFloat64: {
            if (length != 8) {
                return false;
            }
            uint64_t bits = read_be64(bytes);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            *cell = cell_real(value);
            return true;
        }
        case Decoder::kNumeric:
            if (!numeric_text(bytes, length, text)) {
                return false;
            }
            break;
        case Decoder::kDate:
            if (length != 4) {
                return false;
            }
            date_text(static_cast<int32_t>(read_be32(bytes)), text);
            break;
        case Decoder::kMoney:
            if (length != 8) {
                return false;
            }
            money_text(static_cast<int64_t>(read_be64(bytes)), money_scale, text);
            break;
        case Decoder::kPaddedText:
            while (length > 0 && bytes[length - 1] == ' ') {
                --length;
            }
            *cell = cell_text(bytes, static_cast<uint32_t>(length));
            return true;
        case Decoder::kText:
        case Decoder::kCastToText:
            *cell = cell_text(bytes, static_cast<uint32_t>(length));
            return true;
        case Decoder::kBytes:
            *cell = cell_blob(bytes, static_cast<uint32_t>(length));
            return true;
    }
    *cell = cell_text(text.data(), static_cast<uint32_t>(text.size()));
    return true;
}
