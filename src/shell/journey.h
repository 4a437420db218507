// A journey: the zoom that reaches a scene of the show. The view keeps the
// scene's centre and narrows at a constant rate from the default width of the
// scene's kind and power to the scene's width. At F frames a second and S
// seconds per halving, frame f of N shows the width
//     W_scene * 2^((N-1-f) / (F*S)),   N-1 = ceil(F*S*log2(W_start / W_scene)),
// one frame when the scene is not narrower than the default view.
//
// Frames are made of keyframes, exact pictures of the scene's centre at the
// widths W_scene * 2^k, k = 0 .. K: a frame between keyframes k and k+1 shows
// both (engine/journey_compose.h), and keyframe 0, drawn last, is the still
// picture of the scene and the last frame. Keyframes are drawn ahead, widest
// first, while frames play; a frame whose keyframes are not there yet is
// held (the zoom waits on it and then goes on at its rate), and counted.
//
// Portable and passive: the show (TfrmMain), nimbrel-render and the explorer
// draw the keyframes and ask for the frames.
#pragma once

#include <cstdint>
#include <map>

#include "engine/journey_compose.h"
#include "platform/bitmap.h"
#include "values/float_exp.h"
#include "values/fractal_types.h"
#include "values/view.h"

namespace nimbrel {

// The width of the engine's default view of Kind and Power: the first width of
// every journey.
double JourneyStartWidth(TFractalKind Kind, int32_t Power);

class TJourneyPlan {
public:
    // Fps frames a second (1 or more), Tenths tenths of a second per halving
    // (1 or more); widths above 0. ERangeError otherwise, or when the journey
    // would have more frames than a 32-bit count holds.
    TJourneyPlan(double StartWidth, double SceneWidth, int32_t Fps, int32_t Tenths);
    // The same for a scene of any depth: SceneWidth its exact height.
    TJourneyPlan(double StartWidth, const TFloatExp& SceneWidth, int32_t Fps, int32_t Tenths);

    int32_t Frames() const { return frames_; }
    // Keyframes 0 .. Keyframes()-1.
    int32_t Keyframes() const { return keyframes_; }
    double SceneWidth() const { return sceneWidth_; }
    double KeyframeWidth(int32_t K) const;
    // The exact height of keyframe K, at any depth.
    TFloatExp ExactKeyframeWidth(int32_t K) const { return exactWidth_.Times2Pow(K); }
    // The width frame F shows; the last is the scene's width exactly.
    double FrameWidth(int32_t F) const;
    // The inner keyframe of frame F and the frame's width over that
    // keyframe's (1 to 2; 1 exactly when the frame is the keyframe, which
    // then needs no outer keyframe).
    int32_t InnerKeyframe(int32_t F) const;
    double Ratio(int32_t F) const;
    bool NeedsOuter(int32_t F) const;

private:
    // Halvings above the scene of frame F, as a fraction Num / den_.
    int64_t Num(int32_t F) const { return int64_t{10} * (frames_ - 1 - F); }

    double sceneWidth_;
    TFloatExp exactWidth_;
    int64_t den_;  // Fps * Tenths: ten times the frames per halving
    int32_t frames_ = 1;
    int32_t keyframes_ = 1;
};

// The view of keyframe K of a journey: Scene's centre (every digit of it) at
// the keyframe's height, Scene any view of the journey.
TView KeyframeView(const TView& Scene, const TJourneyPlan& Plan, int32_t K);

class TJourney {
public:
    // Keyframes are kept until no frame needs them; at most Ahead keyframes
    // wait beyond those the next frame needs (2 or more).
    explicit TJourney(const TJourneyPlan& Plan, int32_t Ahead = 3, TSimdLevel Level = DefaultSimdLevel());

    const TJourneyPlan& Plan() const { return plan_; }
    // The keyframe to draw next, widest first; -1 when every keyframe is drawn
    // or as many wait as may.
    int32_t NextKeyframe() const;
    // Keeps a copy of the picture as keyframe K (the one NextKeyframe named).
    void AddKeyframe(int32_t K, const TBitmap& Picture);
    bool AllDrawn() const { return nextKeyframe_ < 0; }

    // The frame due: composed into Frame and true, or false when its keyframes
    // are not there yet (a held frame, counted). Answers false once every
    // frame has been shown, without counting.
    bool NextFrame(TBitmap& Frame);
    bool Finished() const { return shown_ >= plan_.Frames(); }
    int32_t Shown() const { return shown_; }
    int32_t Held() const { return held_; }

private:
    bool Has(int32_t K) const { return keyframes_.count(K) != 0; }

    TJourneyPlan plan_;
    int32_t ahead_;
    TJourneyComposer composer_;
    std::map<int32_t, TBitmap> keyframes_;
    int32_t nextKeyframe_;  // the next to draw, counting down to 0; -1 when all are drawn
    int32_t shown_ = 0;
    int32_t held_ = 0;
};

}  // namespace nimbrel
