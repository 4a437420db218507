// TFloatExp: a real of a double's 53 bits with an exponent of its own, for
// the widths of deep views and the pixel differences of views so deep that
// their squares would underflow a double (below about 1e-154, and the values
// themselves below about 1e-308). x = Mantissa * 2^Exp with |Mantissa| in
// [1, 2), or Mantissa = 0 and Exp = 0. Operations round like the double
// operations they are made of.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "platform/bit_cast.h"
#include "values/big_real.h"

namespace nimbrel {

struct TFloatExp {
    double Mantissa = 0;
    int64_t Exp = 0;

    constexpr TFloatExp() = default;
    // A double exactly (subnormals included); a NaN or an infinity stays one
    // in Mantissa and compares as such.
    explicit TFloatExp(double Value) { Assign(Value, 0); }
    TFloatExp(double M, int64_t E) { Assign(M, E); }
    // The nearest: the top 64 bits of the mantissa rounded to 53.
    static TFloatExp FromBig(const TBigReal& Value) {
        if (Value.IsZero()) return {};
        // The top limb as a double rounds to nearest; its value lies in
        // [2^63, 2^64].
        const double top = static_cast<double>(Value.Limbs().back());
        return TFloatExp(Value.IsNegative() ? -top : top, Value.RawExponent() - 64);
    }
    TBigReal ToBig(int32_t Bits) const {
        if (Mantissa == 0) return TBigReal(int64_t{0}, Bits);
        // |Mantissa| * 2^52 is an integer below 2^53.
        const uint64_t m = static_cast<uint64_t>(std::fabs(Mantissa) * 4503599627370496.0);
        return TBigReal::FromParts(Mantissa < 0, m, Exp - 52, Bits);
    }
    // The nearest double: 0 or an infinity beyond the range.
    double ToDouble() const {
        if (Mantissa == 0) return 0;
        if (Exp > 1100) return Mantissa * HUGE_VAL;
        if (Exp < -1100) return Mantissa * 0.0;
        return std::ldexp(Mantissa, static_cast<int>(Exp));
    }
    bool IsZero() const { return Mantissa == 0; }
    // floor(log2 |x|); meaningless for 0.
    int64_t Log2() const { return Exp; }

    friend TFloatExp operator*(const TFloatExp& A, const TFloatExp& B) {
        TFloatExp r;
        r.Mantissa = A.Mantissa * B.Mantissa;
        if (r.Mantissa == 0 || !std::isfinite(r.Mantissa)) return TFloatExp(r.Mantissa);
        r.Exp = A.Exp + B.Exp;  // both within kExpBound: no overflow
        r.Normalize();
        return r.Bounded();
    }
    friend TFloatExp operator*(const TFloatExp& A, double B) { return A * TFloatExp(B); }
    friend TFloatExp operator+(const TFloatExp& A, const TFloatExp& B) {
        if (A.Mantissa == 0) return B;
        if (B.Mantissa == 0) return A;
        const int64_t d = A.Exp - B.Exp;
        // Beyond 64 binary orders the smaller one cannot change the sum.
        if (d > 64) return A;
        if (d < -64) return B;
        TFloatExp r;
        if (d >= 0) {
            r.Mantissa = A.Mantissa + Scaled(B.Mantissa, -d);
            r.Exp = A.Exp;
        } else {
            r.Mantissa = Scaled(A.Mantissa, d) + B.Mantissa;
            r.Exp = B.Exp;
        }
        r.Normalize();
        return r;
    }
    TFloatExp operator-() const {
        TFloatExp r = *this;
        r.Mantissa = -r.Mantissa;
        return r;
    }
    friend TFloatExp operator-(const TFloatExp& A, const TFloatExp& B) { return A + (-B); }
    // x * 2^N.
    TFloatExp Times2Pow(int64_t N) const {
        TFloatExp r = *this;
        if (r.Mantissa == 0 || !std::isfinite(r.Mantissa)) return r;
        if (N > 2 * kExpBound || N < -2 * kExpBound) N = N > 0 ? 2 * kExpBound : -2 * kExpBound;
        r.Exp += N;
        return r.Bounded();
    }
    // Exponents stay within +-2^60, so that no sum of two overflows: a value
    // below is 0, one above an infinity (as a double underflows and overflows).
    static constexpr int64_t kExpBound = int64_t{1} << 60;

    // -1, 0, 1.
    friend int Compare(const TFloatExp& A, const TFloatExp& B) {
        const int sa = A.Mantissa > 0 ? 1 : (A.Mantissa < 0 ? -1 : 0);
        const int sb = B.Mantissa > 0 ? 1 : (B.Mantissa < 0 ? -1 : 0);
        if (sa != sb) return sa < sb ? -1 : 1;
        if (sa == 0) return 0;
        int m;
        if (A.Exp != B.Exp) {
            m = A.Exp < B.Exp ? -1 : 1;
        } else {
            const double a = std::fabs(A.Mantissa), b = std::fabs(B.Mantissa);
            m = a < b ? -1 : (a > b ? 1 : 0);
        }
        return sa > 0 ? m : -m;
    }
    friend bool operator==(const TFloatExp& A, const TFloatExp& B) { return Compare(A, B) == 0; }
    friend bool operator<(const TFloatExp& A, const TFloatExp& B) { return Compare(A, B) < 0; }
    friend bool operator<=(const TFloatExp& A, const TFloatExp& B) { return Compare(A, B) <= 0; }
    friend bool operator>(const TFloatExp& A, const TFloatExp& B) { return Compare(A, B) > 0; }
    friend bool operator>=(const TFloatExp& A, const TFloatExp& B) { return Compare(A, B) >= 0; }

private:
    TFloatExp Bounded() const {
        if (Exp < -kExpBound) return TFloatExp(Mantissa * 0.0);
        if (Exp > kExpBound) return TFloatExp(Mantissa * HUGE_VAL);
        return *this;
    }
    // M * 2^N for -64 <= N <= 64 and M of size in [1, 4): exact.
    static double Scaled(double M, int64_t N) {
        return M * BitCast<double>(static_cast<uint64_t>(1023 + N) << 52);
    }
    void Assign(double M, int64_t E) {
        if (M == 0 || !std::isfinite(M)) {
            Mantissa = M == 0 ? 0 : M;
            Exp = 0;
            return;
        }
        int e = 0;
        const double f = std::frexp(M, &e);  // [0.5, 1)
        Mantissa = f * 2;
        Exp = E + e - 1;
    }
    // Brings a finite, normal mantissa back into [1, 2) by its exponent bits.
    void Normalize() {
        if (Mantissa == 0) {
            Exp = 0;
            return;
        }
        const uint64_t bits = BitCast<uint64_t>(Mantissa);
        const int64_t e = static_cast<int64_t>((bits >> 52) & 0x7ff);
        if (e == 0 || e == 0x7ff) {
            Assign(Mantissa, Exp);  // subnormal, or not finite
            return;
        }
        Exp += e - 1023;
        Mantissa = BitCast<double>((bits & 0x800fffffffffffffull) | (uint64_t{1023} << 52));
    }
};

// A complex number of TFloatExp parts.
struct TComplexFloatExp {
    TFloatExp Re;
    TFloatExp Im;

    friend TComplexFloatExp operator+(const TComplexFloatExp& A, const TComplexFloatExp& B) {
        return {A.Re + B.Re, A.Im + B.Im};
    }
    friend TComplexFloatExp operator-(const TComplexFloatExp& A, const TComplexFloatExp& B) {
        return {A.Re - B.Re, A.Im - B.Im};
    }
    friend TComplexFloatExp operator*(const TComplexFloatExp& A, const TComplexFloatExp& B) {
        return {A.Re * B.Re - A.Im * B.Im, A.Re * B.Im + A.Im * B.Re};
    }
    TComplexFloatExp Squared() const { return {Re * Re - Im * Im, (Re * Im).Times2Pow(1)}; }
    // |z|^2.
    TFloatExp Norm() const { return Re * Re + Im * Im; }
};

}  // namespace nimbrel
