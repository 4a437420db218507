#include "values/view.h"

namespace nimbrel {

namespace {

bool Same(const TComplexPoint& a, const TComplexPoint& b) { return a.Re == b.Re && a.Im == b.Im; }

}  // namespace

bool operator==(const TView& A, const TView& B) {
    return A.Kind == B.Kind && Same(A.Center, B.Center) && A.ViewWidth == B.ViewWidth && A.Power == B.Power &&
           (A.Kind == fkMandelbrot || Same(A.JuliaConstant, B.JuliaConstant));
}

}  // namespace nimbrel
