// TRecommendationList's reader over arbitrary bytes: a failure keeps the
// earlier entries and names a line of the input; a success gives only entries
// that keep the rules the show relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/exceptions.h"
#include "scene/URecommendation.h"
#include "values/deep_coordinates.h"

using namespace nimbrel;

namespace {

void CheckEntries(const TRecommendationList& list) {
    for (int32_t i = 0; i < list.Count(); ++i) {
        const uint8_t kind = list.GetKind(i);
        FUZZ_CHECK(kind == fkMandelbrot || kind == fkJulia);
        FUZZ_CHECK(list.GetViewWidth(i) > 0);
        FUZZ_CHECK(list.GetMaxIter(i) == -1 || list.GetMaxIter(i) >= 1);
        FUZZ_CHECK(list.GetColorStep(i) == -1 || list.GetColorStep(i) >= 1);
        FUZZ_CHECK(list.GetPower(i) >= 2);
        FUZZ_CHECK(list.GetDrawMode(i) <= dmPotentialCosine);
        FUZZ_CHECK(list.GetShadingFunction(i) <= 3);
        FUZZ_CHECK(list.GetPotentialVariant(i) <= 1);
        FUZZ_CHECK(!list.Item(i).Title.empty());
        // A deep view keeps its digits at the precision of its height.
        if (const auto& deep = list.Item(i).Deep) {
            FUZZ_CHECK(deep->Width > TFloatExp());
            FUZZ_CHECK(deep->CenterRe.Precision() == CoordinateBits(list.GetView(i)));
        }
        bool julia = true;
        try {
            list.GetJuliaConstant(i);
        } catch (const EAbort&) {
            julia = false;
        }
        FUZZ_CHECK(julia == (kind == fkJulia));
    }
    bool refused = false;
    try {
        list.GetCenter(list.Count());
    } catch (const EListError&) {
        refused = true;
    }
    FUZZ_CHECK(refused);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TRecommendationList list;
    list.LoadFromBytes("T=MANDEL,Title=kept,Cr=0,Ci=0,W=1\r\n");
    FUZZ_CHECK(list.Count() == 1);
    const auto lines = static_cast<int64_t>(std::count(bytes.begin(), bytes.end(), '\n')) +
                       (bytes.empty() || bytes.back() == '\n' ? 0 : 1);
    try {
        list.LoadFromBytes(bytes);
        CheckEntries(list);
    } catch (const EAbort&) {
        FUZZ_CHECK(list.Count() == 1 && list.Item(0).Title == "kept");
        FUZZ_CHECK(list.ErrorLine >= 1 && list.ErrorLine <= lines);
        FUZZ_CHECK(list.ErrorCode == 0 || (list.ErrorCode >= mrpNoTitle && list.ErrorCode <= mrpBadPow));
    }
    const std::string normalized = TRecommendationList::NormalizeLine(bytes);
    FUZZ_CHECK(TRecommendationList::NormalizeLine(normalized) == normalized);
    return 0;
}
