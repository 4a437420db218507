// TBigReal: a binary floating-point real of a precision chosen at run time,
// for the centres and constants of deep views and their reference orbits.
// Our own code, so that the static Windows build needs no library.
//
// A value is a sign, a mantissa of Bits bits kept in 64-bit limbs (least
// significant first, the top bit of the top limb set) and an exponent:
// x = +-0.M * 2^Exp, M in [1/2, 1). The precision is set when a value is made
// and is at least kMinBits; an operation's result has the larger precision of
// its operands. Every operation truncates the exact result toward zero to
// that precision (round toward zero, MPFR's RNDZ), so results are exact to
// the last bit and independent of the machine. Parse is within one unit of
// the last place of the decimal value.
//
// The in-place forms (Add(A, B, Out), Mul(A, B, Out), ...) reuse Out's limbs
// and allocate nothing once Out has grown to its precision; the reference
// orbit uses them. Out may be one of the operands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbrel {

class TBigReal {
public:
    static constexpr int32_t kMinBits = 64;
    // Far beyond any view the engine draws; a precision outside
    // [kMinBits, kMaxBits] is an ERangeError.
    static constexpr int32_t kMaxBits = 1 << 22;
    // Exponent() of 0.
    static constexpr int64_t kZeroExponent = INT64_MIN;
    // Parse refuses decimal exponents beyond this size.
    static constexpr int64_t kMaxDecimalExponent = 1000000000;

    TBigReal() : TBigReal(0.0, kMinBits) {}
    // Exact: a double has 53 bits, an int64 64.
    explicit TBigReal(double Value, int32_t Bits = kMinBits);
    explicit TBigReal(int64_t Value, int32_t Bits = kMinBits);
    explicit TBigReal(int Value, int32_t Bits = kMinBits) : TBigReal(int64_t{Value}, Bits) {}

    // Decimal text: an optional sign, digits with an optional "." and
    // fraction (at least one digit in all), an optional exponent "e" or "E"
    // with an optional sign and digits, nothing else. False, and Out as it
    // was, for any other text and for an exponent beyond
    // kMaxDecimalExponent in size.
    static bool Parse(std::string_view Text, int32_t Bits, TBigReal& Out);

    // Decimal text of SignificantDigits digits (at least 1), rounded to
    // nearest, trailing zeros of the fraction dropped: plain digits
    // ("-0.74364388703715870475", "12.5") where the decimal exponent e of the
    // first digit is -5 <= e < SignificantDigits, else "d.ddde-N" or
    // "d.ddde+N". Every text reads back with Parse.
    std::string ToString(int32_t SignificantDigits) const;

    // The nearest double (halves to even); 0 or a signed infinity beyond the
    // range of doubles.
    double ToDouble() const;
    // floor(log2 |x|); kZeroExponent for 0.
    int64_t Exponent() const { return IsZero() ? kZeroExponent : exp_ - 1; }
    bool IsZero() const { return zero_; }
    bool IsNegative() const { return neg_; }
    int32_t Precision() const { return bits_; }
    // Truncates toward zero to Bits, or extends with zeros.
    void SetPrecision(int32_t Bits);

    // -1, 0 or 1 as A < B, A == B, A > B, by value whatever the precisions.
    static int Compare(const TBigReal& A, const TBigReal& B);
    // The same comparison of |A| and |B|.
    static int CompareMagnitude(const TBigReal& A, const TBigReal& B);

    static void Add(const TBigReal& A, const TBigReal& B, TBigReal& Out);
    static void Sub(const TBigReal& A, const TBigReal& B, TBigReal& Out);
    static void Mul(const TBigReal& A, const TBigReal& B, TBigReal& Out);
    static void Square(const TBigReal& A, TBigReal& Out);
    // A * 2^N, exact.
    static void MulPow2(const TBigReal& A, int64_t N, TBigReal& Out);
    void Negate() {
        if (!zero_) neg_ = !neg_;
    }

    friend TBigReal operator+(const TBigReal& A, const TBigReal& B) {
        TBigReal r;
        Add(A, B, r);
        return r;
    }
    friend TBigReal operator-(const TBigReal& A, const TBigReal& B) {
        TBigReal r;
        Sub(A, B, r);
        return r;
    }
    friend TBigReal operator*(const TBigReal& A, const TBigReal& B) {
        TBigReal r;
        Mul(A, B, r);
        return r;
    }
    // By a double or an int: the factor is exact at A's precision.
    friend TBigReal operator*(const TBigReal& A, double B) { return A * TBigReal(B, A.bits_); }
    friend TBigReal operator*(const TBigReal& A, int64_t B) { return A * TBigReal(B, A.bits_); }
    friend TBigReal operator*(const TBigReal& A, int B) { return A * TBigReal(int64_t{B}, A.bits_); }
    TBigReal operator-() const {
        TBigReal r = *this;
        r.Negate();
        return r;
    }
    friend bool operator==(const TBigReal& A, const TBigReal& B) { return Compare(A, B) == 0; }
    friend bool operator!=(const TBigReal& A, const TBigReal& B) { return Compare(A, B) != 0; }
    friend bool operator<(const TBigReal& A, const TBigReal& B) { return Compare(A, B) < 0; }
    friend bool operator<=(const TBigReal& A, const TBigReal& B) { return Compare(A, B) <= 0; }
    friend bool operator>(const TBigReal& A, const TBigReal& B) { return Compare(A, B) > 0; }
    friend bool operator>=(const TBigReal& A, const TBigReal& B) { return Compare(A, B) >= 0; }

    // The parts, for conversions and tests: the limbs of M (least significant
    // first, as many as the precision needs) and the exponent of 0.M * 2^Exp.
    const std::vector<uint64_t>& Limbs() const { return limbs_; }
    int64_t RawExponent() const { return exp_; }
    // From parts: +-Mantissa * 2^Exp2 with a 64-bit integer mantissa, exact.
    static TBigReal FromParts(bool Negative, uint64_t Mantissa, int64_t Exp2, int32_t Bits);

private:
    static int32_t CheckBits(int32_t Bits);
    static int32_t LimbsOf(int32_t Bits) { return (Bits + 63) / 64; }
    void SetZero(int32_t Bits);
    // Drops the bits below the precision of the top limb's position.
    void MaskLow();
    static void AddSigned(const TBigReal& A, const TBigReal& B, bool NegateB, TBigReal& Out);

    bool neg_ = false;
    bool zero_ = true;
    int32_t bits_ = kMinBits;
    int64_t exp_ = 0;
    std::vector<uint64_t> limbs_;
};

}  // namespace nimbrel
