// Positions: one view of the complex plane. The class tells a Mandelbrot view
// from a Julia view; only a Julia view has a constant.
#pragma once

#include <cstdint>
#include <memory>

#include "values/fractal_types.h"

namespace nimbrel {

class TPosition {
public:
    TPosition() = default;
    virtual ~TPosition() = default;
    TPosition(const TPosition&) = delete;
    TPosition& operator=(const TPosition&) = delete;

    // The silent abort unless this is a Julia view.
    virtual TComplexPoint GetJuliaConstant() const;
    virtual void SetJuliaConstant(const TComplexPoint& C);
    // 1 fkMandelbrot, 2 fkJulia; 0 for the plain base, which no file creates.
    virtual uint8_t GetKind() const { return 0; }

    TComplexPoint Center;
    double ViewWidth = 0;
};

class TPositionMandelbrot : public TPosition {
public:
    uint8_t GetKind() const override { return fkMandelbrot; }
};

class TPositionJulia : public TPosition {
public:
    TComplexPoint GetJuliaConstant() const override { return JuliaConstant; }
    void SetJuliaConstant(const TComplexPoint& C) override { JuliaConstant = C; }
    uint8_t GetKind() const override { return fkJulia; }

    TComplexPoint JuliaConstant;
};

}  // namespace nimbrel
