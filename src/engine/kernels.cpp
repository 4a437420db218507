#include "engine/kernels.h"

namespace nimbrel {

TComplexPoint ComplexPower(const TComplexPoint& Z, int32_t N) {
    if (N <= 1) return Z;
    const TComplexPoint S{Z.Re * Z.Re - Z.Im * Z.Im, (2 * Z.Re) * Z.Im};
    const int32_t H = N / 2;
    if (N % 2 == 0) return ComplexPower(S, H);
    const TComplexPoint T = ComplexPower(S, H);
    return {T.Re * Z.Re - T.Im * Z.Im, T.Re * Z.Im + T.Im * Z.Re};
}

}  // namespace nimbrel
