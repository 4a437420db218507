#include "shell/journey.h"

#include <cmath>
#include <limits>

#include "platform/exceptions.h"

namespace nimbrel {

double JourneyStartWidth(TFractalKind Kind, int32_t Power) {
    // As the engine's ResetView: the whole Mandelbrot set of power 2 is 3 high.
    return Kind == fkMandelbrot && Power == 2 ? 3.0 : 4.0;
}

TJourneyPlan::TJourneyPlan(double StartWidth, double SceneWidth, int32_t Fps, int32_t Tenths)
    : TJourneyPlan(StartWidth, std::isfinite(SceneWidth) ? TFloatExp(SceneWidth) : TFloatExp(-1.0), Fps, Tenths) {}

TJourneyPlan::TJourneyPlan(double StartWidth, const TFloatExp& SceneWidth, int32_t Fps, int32_t Tenths)
    : exactWidth_(SceneWidth), den_(int64_t{Fps} * Tenths) {
    if (Fps < 1 || Tenths < 1 || !(StartWidth > 0) || !(SceneWidth > TFloatExp()) || !std::isfinite(StartWidth) ||
        !std::isfinite(SceneWidth.Mantissa))
        throw ERangeError("Journey out of range");
    sceneWidth_ = SceneWidth.ToDouble();
    // Within the doubles' normal range the halvings are those of the doubles;
    // below it, those of the exponent and the mantissa.
    const bool normal = SceneWidth.Exp > -1000 && SceneWidth.Exp < 1000;
    const double halvings = normal ? std::log2(StartWidth / sceneWidth_)
                                   : std::log2(StartWidth) - (static_cast<double>(SceneWidth.Exp) +
                                                              std::log2(std::fabs(SceneWidth.Mantissa)));
    if (!(halvings > 0)) return;
    // Ten times the frames per halving is den_; a hair below a whole number
    // of steps is that number, not one more.
    const double steps = std::ceil(static_cast<double>(den_) * halvings / 10 - 1e-9);
    if (!(steps < std::numeric_limits<int32_t>::max() / 10)) throw ERangeError("Journey too long");
    frames_ = static_cast<int32_t>(steps) + 1;
    // The widest frame lies between keyframes K-1 and K, or on K.
    const int64_t top = Num(0);
    keyframes_ = static_cast<int32_t>(top / den_ + (top % den_ != 0)) + 1;
}

TView KeyframeView(const TView& Scene, const TJourneyPlan& Plan, int32_t K) {
    TView view = Scene;
    if (!Scene.Deep) {
        view.ViewWidth = Plan.KeyframeWidth(K);
        return view;
    }
    // The centre with every digit; the doubles the nearest of the height.
    const TDeepView& d = *Scene.Deep;
    view = MakeDeepView(Scene.Kind, d.CenterRe, d.CenterIm, Plan.ExactKeyframeWidth(K), d.JuliaRe, d.JuliaIm,
                        Scene.Power);
    view.Center = Scene.Center;
    view.JuliaConstant = Scene.JuliaConstant;
    return view;
}

double TJourneyPlan::KeyframeWidth(int32_t K) const { return std::ldexp(sceneWidth_, K); }

double TJourneyPlan::FrameWidth(int32_t F) const {
    const int64_t num = Num(F);
    if (num == 0) return sceneWidth_;
    return sceneWidth_ * std::exp2(static_cast<double>(num) / static_cast<double>(den_));
}

int32_t TJourneyPlan::InnerKeyframe(int32_t F) const { return static_cast<int32_t>(Num(F) / den_); }

double TJourneyPlan::Ratio(int32_t F) const {
    const int64_t rest = Num(F) % den_;
    return rest == 0 ? 1.0 : std::exp2(static_cast<double>(rest) / static_cast<double>(den_));
}

bool TJourneyPlan::NeedsOuter(int32_t F) const { return Num(F) % den_ != 0; }

TJourney::TJourney(const TJourneyPlan& Plan, int32_t Ahead, TSimdLevel Level)
    : plan_(Plan), ahead_(Ahead < 2 ? 2 : Ahead), composer_(Level), nextKeyframe_(Plan.Keyframes() - 1) {}

int32_t TJourney::NextKeyframe() const {
    if (nextKeyframe_ < 0) return -1;
    const int32_t inner = Finished() ? 0 : plan_.InnerKeyframe(shown_);
    return nextKeyframe_ >= inner - ahead_ ? nextKeyframe_ : -1;
}

void TJourney::AddKeyframe(int32_t K, const TBitmap& Picture) {
    if (K != nextKeyframe_) throw ERangeError("Journey keyframe out of order");
    keyframes_[K] = Picture;
    --nextKeyframe_;
}

bool TJourney::NextFrame(TBitmap& Frame) {
    if (Finished()) return false;
    const int32_t inner = plan_.InnerKeyframe(shown_);
    const bool outer = plan_.NeedsOuter(shown_);
    if (!Has(inner) || (outer && !Has(inner + 1))) {
        ++held_;
        return false;
    }
    composer_.Compose(Frame, keyframes_.at(inner), outer ? &keyframes_.at(inner + 1) : nullptr, plan_.Ratio(shown_));
    ++shown_;
    // What no later frame needs goes.
    const int32_t keep = Finished() ? -1 : plan_.InnerKeyframe(shown_) + (plan_.NeedsOuter(shown_) ? 1 : 0);
    while (!keyframes_.empty() && keyframes_.rbegin()->first > keep) keyframes_.erase(std::prev(keyframes_.end()));
    return true;
}

}  // namespace nimbrel
