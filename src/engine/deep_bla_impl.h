// The definitions of TBlaTable, for the scalars the engine instantiates in
// deep_bla.cpp and for a test's own scalar.
#pragma once

#include <algorithm>

#include "engine/deep_bla.h"

namespace nimbrel {

namespace deep_bla_detail {

// An iteration whose |Z|^2 is this close to the bailout could see a pixel
// escape within Eps of the reference: no merged step crosses it.
constexpr double kBarrierMargin = 1 - 0x1p-30;

}  // namespace deep_bla_detail

template <class T>
uint64_t TBlaTable<T>::EntriesFor(uint64_t OrbitSize, uint32_t First) {
    const uint64_t steps = OrbitSize > uint64_t{First} + 1 ? OrbitSize - 1 - First : 0;
    uint64_t total = 0;
    for (uint64_t n = steps; n > 0; n /= 2) total += n;
    return total;
}

template <class T>
void TBlaTable<T>::Clear() {
    entries_ = {};
    levelStart_ = {};
    levelCount_ = {};
    re_ = im_ = nullptr;
    orbitSize_ = 0;
    buildLevel_ = buildIndex_ = 0;
    complete_ = false;
}

template <class T>
void TBlaTable<T>::Start(const double* Re, const double* Im, size_t OrbitSize, const TBlaParams& Params,
                         const T& DcMax) {
    Clear();
    params_ = Params;
    dcMax_ = Params.Julia ? TScalar::FromDouble(0) : DcMax;
    re_ = Re;
    im_ = Im;
    orbitSize_ = Re != nullptr && Im != nullptr ? OrbitSize : 0;
    first_ = orbitSize_ > 0 && Re[0] == 0 && Im[0] == 0 ? 1 : 0;
    const uint64_t steps = orbitSize_ > size_t{first_} + 1 ? orbitSize_ - 1 - first_ : 0;
    size_t start = 0;
    for (uint64_t n = steps; n > 0; n /= 2) {
        levelStart_.push_back(start);
        levelCount_.push_back(static_cast<size_t>(n));
        start += static_cast<size_t>(n);
    }
    entries_.resize(start);
    complete_ = entries_.empty();
    if (complete_) re_ = im_ = nullptr;
}

template <class T>
bool TBlaTable<T>::Barrier(size_t k) const {
    return re_[k] * re_[k] + im_[k] * im_[k] >= params_.Bailout * deep_bla_detail::kBarrierMargin;
}

template <class T>
void TBlaTable<T>::BuildSingle(size_t i) {
    const double zr = re_[first_ + i], zi = im_[first_ + i];
    TStep& e = entries_[i];
    e.A = {TScalar::FromDouble(2 * zr), TScalar::FromDouble(2 * zi)};
    e.B = {TScalar::FromDouble(params_.Julia ? 0 : 1), TScalar::FromDouble(0)};
    // A value near 0 has lost digits in its doubles (the pixel loop steps
    // there from its exact value): no merged step crosses it.
    const bool tiny = std::fabs(zr) + std::fabs(zi) < 0x1p-960;
    e.Radius = TScalar::FromDouble(tiny ? 0.0 : params_.Epsilon * std::hypot(zr, zi));
}

template <class T>
void TBlaTable<T>::BuildMerged(size_t level, size_t i) {
    const T zero = TScalar::FromDouble(0);
    const TStep& x = entries_[levelStart_[level - 1] + 2 * i];
    const TStep& y = entries_[levelStart_[level - 1] + 2 * i + 1];
    TStep& e = entries_[levelStart_[level] + i];
    e.A = y.A * x.A;
    e.B = y.A * x.B + y.B;
    e.Radius = zero;
    // The iteration between the halves is tested by the loop no more.
    const size_t junction = first_ + (2 * i + 1) * (size_t{1} << (level - 1));
    if (!(zero < x.Radius) || !(zero < y.Radius) || Barrier(junction)) return;
    const T magA = TScalar::Magnitude(x.A);
    const T room = y.Radius - TScalar::Magnitude(x.B) * dcMax_;
    if (!(zero < magA) || !(zero < room)) return;
    if (!TScalar::Finite(magA) || !TScalar::Finite(TScalar::Magnitude(e.A)) ||
        !TScalar::Finite(TScalar::Magnitude(e.B)))
        return;
    const T r = TScalar::Divide(room, magA);
    e.Radius = r < x.Radius ? r : x.Radius;
}

template <class T>
bool TBlaTable<T>::Build(TWorkMeter& Meter) {
    while (!complete_) {
        const uint64_t room = Meter.Room() / kEntryCost;
        if (room == 0) return false;
        const size_t count = levelCount_[buildLevel_];
        const size_t end = static_cast<size_t>(std::min<uint64_t>(count, buildIndex_ + room));
        for (size_t i = buildIndex_; i < end; ++i) {
            if (buildLevel_ == 0)
                BuildSingle(i);
            else
                BuildMerged(buildLevel_, i);
        }
        Meter.Add((end - buildIndex_) * kEntryCost);
        buildIndex_ = end;
        if (buildIndex_ == count) {
            buildIndex_ = 0;
            if (++buildLevel_ == levelStart_.size()) {
                complete_ = true;
                re_ = im_ = nullptr;
            }
        }
    }
    return true;
}

template <class T>
void TBlaTable<T>::BuildAll(const double* Re, const double* Im, size_t OrbitSize, const TBlaParams& Params,
                            const T& DcMax) {
    Start(Re, Im, OrbitSize, Params, DcMax);
    TWorkMeter meter;
    meter.SetBudget(UINT64_MAX);
    Build(meter);
}

}  // namespace nimbrel
