// TRgb: a colour triple whose three channels always lie within 0..255, with
// conversions to and from colour values, six-digit hexadecimal text and the
// luma / colour-difference form.
#pragma once

#include <cstdint>
#include <string_view>

namespace nimbrel {

class TRgb {
public:
    int32_t R() const { return r_; }
    int32_t G() const { return g_; }
    int32_t B() const { return b_; }
    // The setters clamp: below 0 stores 0, above 255 stores 255.
    void SetR(int32_t value) { r_ = Clamp(value); }
    void SetG(int32_t value) { g_ = Clamp(value); }
    void SetB(int32_t value) { b_ = Clamp(value); }

    // B * 65536 + G * 256 + R.
    int32_t GetColor() const { return b_ * 65536 + g_ * 256 + r_; }
    // B := Value div 65536, G := (Value div 256) mod 256, R := Value mod 256,
    // truncating, each clamped: -1 gives black.
    void SetColor(int32_t value) {
        SetB(value / 65536);
        SetG((value / 256) % 256);
        SetR(value % 256);
    }

    // Characters 1-2, 3-4 and 5-6 as hexadecimal pairs for R, G and B, in this
    // order. A pair that does not convert raises EConvertError; the channels
    // set before it keep their new values.
    void SetHex(std::string_view text);

    double GetY() const;
    double GetCb() const;
    double GetCr() const;
    // Rounds each channel to nearest (halves to even) through the clamping
    // setters; a product outside the 32-bit range raises ERangeError.
    void SetYCrCb(double y, double cr, double cb);

private:
    static int32_t Clamp(int32_t value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

    int32_t r_ = 0;
    int32_t g_ = 0;
    int32_t b_ = 0;
};

}  // namespace nimbrel
