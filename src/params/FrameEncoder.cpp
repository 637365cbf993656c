#include "params/FrameEncoder.h"

#include "params/NumericValue.h"
#include "params/ParameterTable.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace qt2xx {
namespace {

// Every non-integer constant is fixed by its bit pattern; the decimal beside it must read back to
// exactly those bits, which the compiler checks.
constexpr double bits(std::uint64_t pattern) {
    return std::bit_cast<double>(pattern);
}

constexpr double kVoltageDivisor = bits(0x402F2A7EF9DB22D1);
constexpr double kScale = bits(0x404999999999999A);
constexpr double kVoltageTrim = bits(0x3FEF020C49BA5E35);
constexpr double kSpeedFactor = bits(0x4053D06C86880675);
constexpr double kCurrentFactor12 = bits(0x3FF3FD0D0678C005);
constexpr double kCurrentFactor34 = bits(0x3FE3FD0D0678C005);
constexpr double kCurrentFactorOther = bits(0x3FDAA6BC08A10007);
constexpr double kRatedMultiplier1 = bits(0x3FF2000000000000);
constexpr double kRatedMultiplier23 = bits(0x3FF2147AE147AE14);
constexpr double kRatedMultiplier4Other = bits(0x3FF1EB851EB851EC);

static_assert(kVoltageDivisor == 15.583);
static_assert(kScale == 51.2);
static_assert(kVoltageTrim == 0.969);
static_assert(kSpeedFactor == 79.25662387164796);
static_assert(kCurrentFactor12 == 1.24928);
static_assert(kCurrentFactor34 == 0.62464);
static_assert(kCurrentFactorOther == 0.41642666666666667);
static_assert(kRatedMultiplier1 == 1.125);
static_assert(kRatedMultiplier23 == 1.13);
static_assert(kRatedMultiplier4Other == 1.12);
// The smaller current factors are the first one halved and thirded in double arithmetic.
static_assert(kCurrentFactor12 / 2 == kCurrentFactor34);
static_assert(kCurrentFactor12 / 3 == kCurrentFactorOther);

struct BoardFactors {
    double currentFactor;   // F
    double phaseOffset;     // D
    double ratedMultiplier; // G
};

// Board numbers are compared with 1, 2, 3 and 4 in that order; any other value takes the last row.
BoardFactors boardFactors(double board) {
    if (board == 1)
        return {kCurrentFactor12, 0, kRatedMultiplier1};
    if (board == 2)
        return {kCurrentFactor12, 10, kRatedMultiplier23};
    if (board == 3)
        return {kCurrentFactor34, 6, kRatedMultiplier23};
    if (board == 4)
        return {kCurrentFactor34, 12, kRatedMultiplier4Other};
    return {kCurrentFactorOther, 12, kRatedMultiplier4Other};
}

double voltage(double v) {
    return (v / kVoltageDivisor) * kScale;
}
double trimmedVoltage(double v) {
    return ((v / kVoltageDivisor) * kScale) * kVoltageTrim;
}
double speed(double v) {
    return (v * kSpeedFactor) / 100;
}
double fullScale191(double v) {
    return (v * 191) / 100;
}

} // namespace

QString ShortestText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString FrameRefusal::message() const {
    const auto& def = ParameterTable()[parameter];
    return QStringLiteral("%1 \"%2\" is too %3 for board type \"%4\" (frame byte %5 would be %6; a byte "
                          "holds 0 to 255).")
        .arg(def.displayName(), text, raw < 0 ? QStringLiteral("low") : QStringLiteral("high"), boardType)
        .arg(byteIndex)
        .arg(ShortestText(raw));
}

std::optional<std::uint8_t> ToFrameByte(double raw) {
    const double rounded = std::nearbyint(raw); // the default rounding mode sends halves to even
    if (!(rounded >= 0 && rounded <= 255))
        return std::nullopt;
    return static_cast<std::uint8_t>(rounded);
}

int ParameterOfFrameByte(int byteIndex) {
    for (const auto& def : ParameterTable())
        if (def.frameByte == byteIndex)
            return def.index;
    return -1;
}

FrameRawValues ComputeFrameRawValues(const ParameterValues& values) {
    std::array<double, kParameterCount> v{};
    for (int i = 0; i < kParameterCount; ++i)
        v[i] = NumericValue(QStringView(values[i]));

    const BoardFactors board = boardFactors(v[0]);
    FrameRawValues raw{};
    raw[0] = kFrameLead0;
    raw[1] = kFrameLead1;
    raw[2] = v[1] * board.currentFactor - board.phaseOffset;
    raw[3] = (v[2] * board.currentFactor) * board.ratedMultiplier;
    raw[4] = trimmedVoltage(v[3]);
    raw[5] = trimmedVoltage(v[4]);
    raw[6] = (v[5] * 128) / 100;
    raw[7] = v[6];
    raw[8] = speed(v[7]);
    raw[9] = speed(v[8]);
    raw[10] = speed(v[9]);
    raw[11] = v[10] * 10;
    raw[12] = v[11] * 10;
    raw[13] = v[12];
    raw[14] = v[13];
    raw[15] = v[14] * 4;
    raw[16] = fullScale191(v[15]);
    raw[17] = voltage(v[16]);
    raw[18] = v[17];
    raw[19] = v[18];
    raw[20] = v[19];
    raw[21] = v[20] - 2;
    raw[22] = v[21];
    raw[23] = speed(v[22]);
    raw[24] = v[23];
    raw[25] = fullScale191(v[24]);
    raw[26] = v[25];
    raw[27] = v[0];

    std::uint8_t check = 0;
    for (int i = 0; i < 31; ++i) {
        const auto byte = ToFrameByte(raw[i]);
        if (!byte) {
            check = 0;
            break;
        }
        check ^= *byte;
    }
    raw[31] = check;
    return raw;
}

std::optional<FrameRefusal> BuildDownloadFrame(const ParameterValues& values, DownloadFrame& frame) {
    const FrameRawValues raw = ComputeFrameRawValues(values);
    DownloadFrame built = frame;
    std::uint8_t check = 0;
    for (int i = 0; i <= 27; ++i) {
        const auto byte = ToFrameByte(raw[i]);
        if (!byte) {
            const int parameter = ParameterOfFrameByte(i);
            return FrameRefusal{i, parameter, values[parameter], values[0], raw[i]};
        }
        built[i] = *byte;
    }
    for (int i = 0; i <= 30; ++i)
        check ^= built[i];
    built[31] = check;
    frame = built;
    return std::nullopt;
}

} // namespace qt2xx
