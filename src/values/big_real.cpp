#include "values/big_real.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/exceptions.h"

namespace nimbrel {

namespace {

using u128 = unsigned __int128;

// Exponents stay far inside int64 so that no sum of two can overflow; a value
// beyond is no number this program draws.
constexpr int64_t kExponentBound = int64_t{1} << 60;

int64_t CheckedExponent(int64_t e) {
    if (e > kExponentBound || e < -kExponentBound) throw ERangeError("A high-precision value is out of range");
    return e;
}

// The scratch limbs of the operations of one thread: they grow to the largest
// precision used and stay, so the reference orbit allocates nothing per step.
std::vector<uint64_t>& Scratch() {
    thread_local std::vector<uint64_t> buffer;
    return buffer;
}

}  // namespace

int32_t TBigReal::CheckBits(int32_t Bits) {
    if (Bits < kMinBits || Bits > kMaxBits) throw ERangeError("A precision is out of range");
    return Bits;
}

void TBigReal::SetZero(int32_t Bits) {
    bits_ = CheckBits(Bits);
    neg_ = false;
    zero_ = true;
    exp_ = 0;
    limbs_.assign(static_cast<size_t>(LimbsOf(bits_)), 0);
}

void TBigReal::MaskLow() {
    const int32_t spare = LimbsOf(bits_) * 64 - bits_;
    if (spare > 0) limbs_[0] &= ~((uint64_t{1} << spare) - 1);
}

TBigReal::TBigReal(double Value, int32_t Bits) {
    SetZero(Bits);
    if (!std::isfinite(Value)) throw ERangeError("A non-finite value has no high-precision form");
    if (Value == 0) return;
    int e = 0;
    const double f = std::frexp(std::fabs(Value), &e);  // [0.5, 1)
    limbs_.back() = static_cast<uint64_t>(std::ldexp(f, 64));
    exp_ = e;
    neg_ = Value < 0;
    zero_ = false;
}

TBigReal::TBigReal(int64_t Value, int32_t Bits) {
    SetZero(Bits);
    if (Value == 0) return;
    const uint64_t magnitude = Value < 0 ? uint64_t{0} - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
    const int lead = std::countl_zero(magnitude);
    limbs_.back() = magnitude << lead;
    exp_ = 64 - lead;
    neg_ = Value < 0;
    zero_ = false;
}

TBigReal TBigReal::FromParts(bool Negative, uint64_t Mantissa, int64_t Exp2, int32_t Bits) {
    TBigReal r(int64_t{0}, Bits);
    if (Mantissa == 0) return r;
    const int lead = std::countl_zero(Mantissa);
    r.limbs_.back() = Mantissa << lead;
    r.exp_ = CheckedExponent(Exp2 + 64 - lead);
    r.neg_ = Negative;
    r.zero_ = false;
    r.MaskLow();
    return r;
}

void TBigReal::SetPrecision(int32_t Bits) {
    const size_t n = static_cast<size_t>(LimbsOf(CheckBits(Bits)));
    const size_t old = limbs_.size();
    if (n < old) {
        limbs_.erase(limbs_.begin(), limbs_.begin() + static_cast<ptrdiff_t>(old - n));
    } else if (n > old) {
        limbs_.insert(limbs_.begin(), n - old, 0);
    }
    bits_ = Bits;
    MaskLow();
}

int TBigReal::CompareMagnitude(const TBigReal& A, const TBigReal& B) {
    if (A.zero_ || B.zero_) return A.zero_ == B.zero_ ? 0 : (A.zero_ ? -1 : 1);
    if (A.exp_ != B.exp_) return A.exp_ < B.exp_ ? -1 : 1;
    const size_t na = A.limbs_.size(), nb = B.limbs_.size();
    const size_t common = std::min(na, nb);
    for (size_t k = 1; k <= common; ++k) {
        const uint64_t a = A.limbs_[na - k], b = B.limbs_[nb - k];
        if (a != b) return a < b ? -1 : 1;
    }
    for (size_t k = 0; k + common < na; ++k)
        if (A.limbs_[k] != 0) return 1;
    for (size_t k = 0; k + common < nb; ++k)
        if (B.limbs_[k] != 0) return -1;
    return 0;
}

int TBigReal::Compare(const TBigReal& A, const TBigReal& B) {
    const int sa = A.zero_ ? 0 : (A.neg_ ? -1 : 1);
    const int sb = B.zero_ ? 0 : (B.neg_ ? -1 : 1);
    if (sa != sb) return sa < sb ? -1 : 1;
    if (sa == 0) return 0;
    const int m = CompareMagnitude(A, B);
    return sa > 0 ? m : -m;
}

void TBigReal::AddSigned(const TBigReal& A, const TBigReal& B, bool NegateB, TBigReal& Out) {
    const int32_t bits = std::max(A.bits_, B.bits_);
    const bool negB = B.neg_ != NegateB;
    if (B.zero_ || A.zero_) {
        const bool fromB = A.zero_;
        if (&Out != (fromB ? &B : &A)) Out = fromB ? B : A;
        if (fromB && !Out.zero_) Out.neg_ = negB;
        Out.SetPrecision(bits);
        return;
    }
    const int cmp = CompareMagnitude(A, B);
    const bool same = A.neg_ == negB;
    if (cmp == 0 && !same) {
        Out.SetZero(bits);
        return;
    }
    const TBigReal& big = cmp >= 0 ? A : B;
    const TBigReal& small = cmp >= 0 ? B : A;
    const bool negative = cmp >= 0 ? A.neg_ : negB;
    const int64_t n = LimbsOf(bits);
    // w[0] is a guard limb below the result's limbs w[1..n], w[n+1] takes the
    // carry. The smaller operand's bits below the guard limb only matter as
    // "some were there" (sticky) when subtracting.
    std::vector<uint64_t>& w = Scratch();
    w.assign(static_cast<size_t>(n + 2), 0);
    const int64_t nbig = static_cast<int64_t>(big.limbs_.size());
    for (int64_t k = 0; k < nbig; ++k) w[static_cast<size_t>(n - nbig + 1 + k)] = big.limbs_[static_cast<size_t>(k)];
    const int64_t ns = static_cast<int64_t>(small.limbs_.size());
    const int64_t d = big.exp_ - small.exp_;  // >= 0
    bool sticky = false;
    // The smaller operand, its top limb at w[n], shifted right by d bits.
    const int64_t q = d / 64;
    const int r = static_cast<int>(d % 64);
    auto addAt = [&](int64_t index, uint64_t value, bool subtract) {
        // Adds or subtracts value at limb index of w, carrying upwards.
        if (value == 0) return;
        if (index < 0) {
            sticky = true;
            return;
        }
        size_t i = static_cast<size_t>(index);
        if (!subtract) {
            uint64_t old = w[i];
            w[i] = old + value;
            bool carry = w[i] < old;
            while (carry && ++i < w.size()) carry = ++w[i] == 0;
        } else {
            uint64_t old = w[i];
            w[i] = old - value;
            bool borrow = old < value;
            while (borrow && ++i < w.size()) borrow = w[i]-- == 0;
        }
    };
    const bool subtract = !same;
    if (q > n + 1) {
        sticky = true;
    } else {
        for (int64_t k = 0; k < ns; ++k) {
            const uint64_t limb = small.limbs_[static_cast<size_t>(k)];
            if (limb == 0) continue;
            const int64_t target = n + 1 - ns + k - q;
            addAt(target, r == 0 ? limb : limb >> r, subtract);
            if (r != 0) addAt(target - 1, limb << (64 - r), subtract);
        }
    }
    int64_t exponent = big.exp_;
    if (!subtract) {
        if (w[static_cast<size_t>(n + 1)] != 0) {
            for (int64_t i = 0; i <= n; ++i)
                w[static_cast<size_t>(i)] = (w[static_cast<size_t>(i)] >> 1) | (w[static_cast<size_t>(i + 1)] << 63);
            exponent += 1;
        }
    } else {
        // The exact difference lies below the computed one by less than one
        // guard unit; the computed one less a unit truncates alike (the
        // result's last place is far coarser than the guard unit whenever
        // some bits were lost, as the operands then differ by two or more
        // binary orders).
        if (sticky) addAt(0, 1, true);
        int64_t top = n;
        while (top >= 0 && w[static_cast<size_t>(top)] == 0) --top;
        if (top < 0) {
            Out.SetZero(bits);
            return;
        }
        const int lead = std::countl_zero(w[static_cast<size_t>(top)]);
        const int64_t shift = (n - top) * 64 + lead;
        if (shift > 0) {
            const int64_t ql = shift / 64;
            const int rl = static_cast<int>(shift % 64);
            for (int64_t i = n; i >= 0; --i) {
                const int64_t src = i - ql;
                const uint64_t hi = src >= 0 ? w[static_cast<size_t>(src)] : 0;
                const uint64_t lo = src >= 1 ? w[static_cast<size_t>(src - 1)] : 0;
                w[static_cast<size_t>(i)] = rl == 0 ? hi : (hi << rl) | (lo >> (64 - rl));
            }
            exponent -= shift;
        }
    }
    Out.bits_ = bits;
    Out.limbs_.resize(static_cast<size_t>(n));
    std::memcpy(Out.limbs_.data(), w.data() + 1, static_cast<size_t>(n) * sizeof(uint64_t));
    Out.exp_ = CheckedExponent(exponent);
    Out.neg_ = negative;
    Out.zero_ = false;
    Out.MaskLow();
}

void TBigReal::Add(const TBigReal& A, const TBigReal& B, TBigReal& Out) { AddSigned(A, B, false, Out); }
void TBigReal::Sub(const TBigReal& A, const TBigReal& B, TBigReal& Out) { AddSigned(A, B, true, Out); }

void TBigReal::Mul(const TBigReal& A, const TBigReal& B, TBigReal& Out) {
    const int32_t bits = std::max(A.bits_, B.bits_);
    if (A.zero_ || B.zero_) {
        Out.SetZero(bits);
        return;
    }
    const size_t na = A.limbs_.size(), nb = B.limbs_.size();
    std::vector<uint64_t>& p = Scratch();
    p.assign(na + nb, 0);
    const uint64_t* a = A.limbs_.data();
    const uint64_t* b = B.limbs_.data();
    for (size_t i = 0; i < na; ++i) {
        uint64_t carry = 0;
        const uint64_t ai = a[i];
        if (ai == 0) continue;
        for (size_t j = 0; j < nb; ++j) {
            const u128 t = static_cast<u128>(ai) * b[j] + p[i + j] + carry;
            p[i + j] = static_cast<uint64_t>(t);
            carry = static_cast<uint64_t>(t >> 64);
        }
        p[i + nb] = carry;
    }
    int64_t exponent = A.exp_ + B.exp_;
    const size_t np = na + nb;
    if ((p[np - 1] >> 63) == 0) {
        // The product of two mantissas in [1/2, 1) lies in [1/4, 1).
        for (size_t i = np - 1; i > 0; --i) p[i] = (p[i] << 1) | (p[i - 1] >> 63);
        p[0] <<= 1;
        exponent -= 1;
    }
    if (exponent < -kExponentBound) {
        // Below the range: truncated toward zero, as every result is (an orbit
        // squared towards 0 again and again ends there).
        Out.SetZero(bits);
        return;
    }
    const size_t n = static_cast<size_t>(LimbsOf(bits));  // <= max(na, nb) < np
    Out.bits_ = bits;
    Out.limbs_.resize(n);
    std::memcpy(Out.limbs_.data(), p.data() + (np - n), n * sizeof(uint64_t));
    Out.exp_ = CheckedExponent(exponent);
    Out.neg_ = A.neg_ != B.neg_;
    Out.zero_ = false;
    Out.MaskLow();
}

void TBigReal::Square(const TBigReal& A, TBigReal& Out) { Mul(A, A, Out); }

void TBigReal::MulPow2(const TBigReal& A, int64_t N, TBigReal& Out) {
    if (&Out != &A) Out = A;
    if (!Out.zero_) Out.exp_ = CheckedExponent(CheckedExponent(N) + Out.exp_);
}

double TBigReal::ToDouble() const {
    if (zero_) return 0;
    const uint64_t top = limbs_.back();
    bool sticky = false;
    for (size_t k = 0; k + 1 < limbs_.size(); ++k) sticky = sticky || limbs_[k] != 0;
    const double sign = neg_ ? -1.0 : 1.0;
    if (exp_ - 1 > 1023) return sign * HUGE_VAL;
    // The bits a double keeps at this exponent: 53, fewer among subnormals.
    const int64_t keepBits = exp_ - 1 >= -1022 ? 53 : exp_ + 1074;
    if (keepBits < 0) return sign * 0.0;
    if (keepBits == 0) {
        // [2^-1075, 2^-1074): above the half way to the smallest subnormal
        // unless exactly at it (a tie goes to the even 0).
        const bool above = (top << 1) != 0 || sticky;
        return sign * (above ? std::ldexp(1.0, -1074) : 0.0);
    }
    const int k = static_cast<int>(keepBits);
    uint64_t keep = top >> (64 - k);
    const uint64_t rest = top & ((uint64_t{1} << (64 - k)) - 1);
    const uint64_t half = uint64_t{1} << (63 - k);
    if (rest > half || (rest == half && (sticky || (keep & 1) != 0))) ++keep;
    return sign * std::ldexp(static_cast<double>(keep), static_cast<int>(exp_ - k));
}

namespace {

// 10^K at Bits (K may be negative): by squaring and multiplying, from 10
// exactly or from 1/10 truncated. The relative error stays below
// (2 |K| + 4 log2 |K| + 2) 2^-Bits.
TBigReal Pow10(int64_t K, int32_t Bits) {
    TBigReal base(int64_t{10}, Bits);
    if (K < 0) {
        // 1/10 = 0.8 * 2^-3, 0.8 = 0.110011001100... in binary.
        TBigReal tenth = TBigReal::FromParts(false, 0xCCCCCCCCCCCCCCCCull, -3 - 64, Bits);
        // Extend the pattern to every limb.
        TBigReal pattern = tenth;
        for (int32_t have = 64; have < Bits; have += 64) {
            TBigReal part = TBigReal::FromParts(false, 0xCCCCCCCCCCCCCCCCull, -3 - 64 - have, Bits);
            TBigReal::Add(pattern, part, pattern);
        }
        base = pattern;
    }
    uint64_t k = K < 0 ? static_cast<uint64_t>(-K) : static_cast<uint64_t>(K);
    TBigReal result(int64_t{1}, Bits);
    if (k == 0) return result;
    const int top = 63 - std::countl_zero(k);
    for (int bit = top; bit >= 0; --bit) {
        TBigReal::Square(result, result);
        if (((k >> bit) & 1) != 0) TBigReal::Mul(result, base, result);
    }
    return result;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The limbs (least significant first) as decimal digits, without leading
// zeros ("0" for none).
std::string LimbsToDecimal(std::vector<uint64_t> limbs) {
    constexpr uint64_t kChunk = 10000000000000000000ull;  // 10^19
    std::vector<uint64_t> chunks;
    while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
    while (!limbs.empty()) {
        u128 rem = 0;
        for (size_t i = limbs.size(); i-- > 0;) {
            const u128 cur = (rem << 64) | limbs[i];
            limbs[i] = static_cast<uint64_t>(cur / kChunk);
            rem = cur % kChunk;
        }
        chunks.push_back(static_cast<uint64_t>(rem));
        while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
    }
    if (chunks.empty()) return "0";
    std::string text = std::to_string(chunks.back());
    for (size_t i = chunks.size() - 1; i-- > 0;) {
        std::string part = std::to_string(chunks[i]);
        text.append(19 - part.size(), '0');
        text += part;
    }
    return text;
}

}  // namespace

bool TBigReal::Parse(std::string_view Text, int32_t Bits, TBigReal& Out) {
    CheckBits(Bits);
    size_t i = 0;
    bool negative = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
    std::string digits;
    int64_t fractionDigits = 0;
    bool anyDigit = false;
    bool point = false;
    // Digits past those that can matter at the working precision only move
    // the decimal exponent; they are dropped (counted) to bound the work.
    const int32_t work = Bits + 96;
    const size_t keepDigits = static_cast<size_t>(work) * 30103 / 100000 + 24;
    int64_t dropped = 0;
    for (; i < Text.size(); ++i) {
        const char c = Text[i];
        if (IsDigit(c)) {
            anyDigit = true;
            if (point) ++fractionDigits;
            if (digits.empty() && c == '0') continue;
            if (digits.size() < keepDigits) {
                digits += c;
            } else {
                ++dropped;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;
    int64_t exponent = 0;
    if (i < Text.size() && (Text[i] == 'e' || Text[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negExp = Text[i++] == '-';
        if (i >= Text.size() || !IsDigit(Text[i])) return false;
        for (; i < Text.size() && IsDigit(Text[i]); ++i) {
            exponent = exponent * 10 + (Text[i] - '0');
            if (exponent > kMaxDecimalExponent) return false;
        }
        if (negExp) exponent = -exponent;
    }
    if (i != Text.size()) return false;
    if (digits.empty()) {
        Out.SetZero(Bits);
        return true;
    }
    // value = digits * 10^(exponent - fractionDigits + dropped). The digit
    // count is bounded by Bits, the exponent by kMaxDecimalExponent plus the
    // length of the text.
    const int64_t scale = exponent - fractionDigits + dropped;
    TBigReal x(int64_t{0}, work);
    const TBigReal chunkFactor(int64_t{1000000000000000000}, work);  // 10^18
    size_t pos = 0;
    while (pos < digits.size()) {
        const size_t len = std::min<size_t>(18, digits.size() - pos);
        int64_t chunk = 0;
        for (size_t k = 0; k < len; ++k) chunk = chunk * 10 + (digits[pos + k] - '0');
        // The factor first: its zero limbs are skipped, so that each chunk
        // costs one pass over x and not a full product.
        if (len == 18) {
            Mul(chunkFactor, x, x);
        } else {
            int64_t f = 1;
            for (size_t k = 0; k < len; ++k) f *= 10;
            Mul(TBigReal(f, work), x, x);
        }
        Add(x, TBigReal(chunk, work), x);
        pos += len;
    }
    if (scale != 0) {
        const TBigReal power = Pow10(scale, work + 64);
        Mul(x, power, x);
    }
    x.SetPrecision(Bits);
    if (negative) x.Negate();
    Out = std::move(x);
    return true;
}

std::string TBigReal::ToString(int32_t SignificantDigits) const {
    if (zero_) return "0";
    const int32_t s = std::clamp<int32_t>(SignificantDigits, 1, 1000000);
    const int32_t work = std::max(bits_, static_cast<int32_t>(s * 3.33) + 64) + 64;
    TBigReal magnitude = *this;
    magnitude.neg_ = false;
    magnitude.SetPrecision(work);
    // The decimal exponent of the first digit, guessed from the binary one and
    // mended below.
    int64_t e10 = static_cast<int64_t>(std::floor(static_cast<double>(Exponent()) * 0.30102999566398119521));
    std::string digits;
    for (int attempt = 0; attempt < 4; ++attempt) {
        TBigReal y;
        Mul(magnitude, Pow10(static_cast<int64_t>(s) - 1 - e10, work + 64), y);
        // y in [10^(s-1), 10^s) when e10 is right: its nearest integer.
        const int64_t n = static_cast<int64_t>(y.limbs_.size());
        const int64_t shift = n * 64 - y.exp_;  // > 0: y has far more bits than digits
        std::vector<uint64_t> integer(static_cast<size_t>(n), 0);
        bool roundUp = false;
        if (shift <= 0 || shift > n * 64) {
            digits.clear();
        } else {
            const int64_t q = shift / 64;
            const int r = static_cast<int>(shift % 64);
            for (int64_t k = 0; k + q < n; ++k) {
                const uint64_t lo = y.limbs_[static_cast<size_t>(k + q)];
                const uint64_t hi = k + q + 1 < n ? y.limbs_[static_cast<size_t>(k + q + 1)] : 0;
                integer[static_cast<size_t>(k)] = r == 0 ? lo : (lo >> r) | (hi << (64 - r));
            }
            const int64_t roundBit = shift - 1;
            roundUp = ((y.limbs_[static_cast<size_t>(roundBit / 64)] >> (roundBit % 64)) & 1) != 0;
            if (roundUp) {
                for (auto& limb : integer)
                    if (++limb != 0) break;
            }
            digits = LimbsToDecimal(integer);
        }
        const int64_t len = static_cast<int64_t>(digits.size());
        if (len == s) break;
        if (len == s + 1 && digits.find_first_not_of('0', 1) == std::string::npos) {
            // Rounded up to 10^s.
            digits.pop_back();
            e10 += 1;
            break;
        }
        e10 += len > s ? 1 : -1;
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string text = neg_ ? "-" : "";
    const int64_t count = static_cast<int64_t>(digits.size());
    if (e10 >= -5 && e10 < s) {
        if (e10 >= 0) {
            if (count > e10 + 1) {
                text += digits.substr(0, static_cast<size_t>(e10 + 1));
                text += '.';
                text += digits.substr(static_cast<size_t>(e10 + 1));
            } else {
                text += digits;
                text.append(static_cast<size_t>(e10 + 1 - count), '0');
            }
        } else {
            text += "0.";
            text.append(static_cast<size_t>(-e10 - 1), '0');
            text += digits;
        }
    } else {
        text += digits[0];
        if (count > 1) {
            text += '.';
            text += digits.substr(1);
        }
        text += e10 < 0 ? "e-" : "e+";
        text += std::to_string(e10 < 0 ? -e10 : e10);
    }
    return text;
}

}  // namespace nimbrel
