#include "engine/picture_budget.h"

#include <algorithm>

#include "engine/result_cache.h"
#include "platform/application.h"
#include "platform/bitmap.h"

namespace nimbrel {

namespace {

// The bitmap and its one copy.
constexpr uint64_t kBitmapBytesPerPixel = 2 * sizeof(uint32_t);
// The buffers of one column: those of the draw methods (a few hundred bytes)
// and the sample and point buffers of up to 64 participants.
constexpr uint64_t kRowBytesPerColumn = 8192;

}  // namespace

TPictureBudget TPictureBudget::ForMemory(uint64_t PhysicalMemory) {
    if (PhysicalMemory == 0) PhysicalMemory = kUnknownMemory;
    return TPictureBudget(std::clamp(PhysicalMemory / 2, kFloor, kCeiling));
}

TPictureBudget TPictureBudget::OfMachine() { return ForMemory(Application().PhysicalMemory()); }

uint64_t TPictureBudget::Need(int64_t Width, int64_t Height, bool Shaded) {
    // Either side at most kMaxPixels, so the product stays far inside 64 bits.
    if (Width < 1 || Height < 1 || Width > TBitmap::kMaxPixels || Height > TBitmap::kMaxPixels) return UINT64_MAX;
    const auto w = static_cast<uint64_t>(Width), h = static_cast<uint64_t>(Height);
    if (w * h > static_cast<uint64_t>(TBitmap::kMaxPixels)) return UINT64_MAX;
    uint64_t bytes = w * h * kBitmapBytesPerPixel + w * kRowBytesPerColumn;
    if (Shaded) bytes += (w + 1) * (h + 1) * sizeof(TResultCell);
    return bytes;
}

bool TPictureBudget::Fits(int64_t Width, int64_t Height, bool Shaded, uint64_t Extra) const {
    const uint64_t need = Need(Width, Height, Shaded);
    return need <= bytes_ && Extra <= bytes_ - need;
}

TPictureSize TPictureBudget::Largest(int64_t Width, int64_t Height, bool Shaded, uint64_t Extra) const {
    if (Width < 1 || Height < 1) return {};
    // Fits implies sides within kMaxPixels, far inside 32 bits.
    if (Fits(Width, Height, Shaded, Extra)) return {static_cast<int32_t>(Width), static_cast<int32_t>(Height)};
    // The longer side L and the shorter S, the longer one searched: the
    // picture of long side l is l x max(1, round(S * l / L)), and its need
    // grows with l. The shape of sides beyond 2^31 is kept by halving both,
    // so that S * l (l <= kMaxPixels) stays inside 64 bits.
    const bool wide = Width >= Height;
    uint64_t L = static_cast<uint64_t>(wide ? Width : Height), S = static_cast<uint64_t>(wide ? Height : Width);
    while (L > (uint64_t{1} << 31)) L >>= 1, S >>= 1;
    const auto shortSide = [&](int64_t l) {
        return std::max<int64_t>(1, static_cast<int64_t>((S * static_cast<uint64_t>(l) + L / 2) / L));
    };
    const auto fits = [&](int64_t l) {
        const int64_t s = shortSide(l);
        return wide ? Fits(l, s, Shaded, Extra) : Fits(s, l, Shaded, Extra);
    };
    if (!fits(1)) return {};
    // fits(low) holds; the answer lies in [low, high]. The size itself does
    // not fit, and no side beyond kMaxPixels does.
    int64_t low = 1, high = std::min<int64_t>(static_cast<int64_t>(L), TBitmap::kMaxPixels);
    while (low < high) {
        const int64_t middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    const auto l = static_cast<int32_t>(low), s = static_cast<int32_t>(shortSide(low));
    return wide ? TPictureSize{l, s} : TPictureSize{s, l};
}

}  // namespace nimbrel
