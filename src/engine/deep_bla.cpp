#include "engine/deep_bla_impl.h"

namespace nimbrel {

template class TBlaTable<double>;
template class TBlaTable<TFloatExp>;

}  // namespace nimbrel
