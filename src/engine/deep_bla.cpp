#include "engine/deep_bla_impl.h"

namespace nimbrel {

template class TBlaTable<double>;

}  // namespace nimbrel
