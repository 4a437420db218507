// TfrmMain: the show on one window, and that window's handlers. It owns the
// engine and its bitmap, the scene choice and the pause; three timers drive
// it: timDraw starts the next picture, timDrawMandel copies the picture in
// progress onto the window every 500 ms, and the session's timMouse arms the
// end of the show by mouse movement.
//
// What the windows of one show share (the settings, the scene list, the end
// of the show with its password check, the mouse grace, and the turn that
// lets one picture be drawn at a time) is the TShowSession's. A window alone
// (the preview, the show of one monitor) makes a session for itself; the
// show on several monitors (TMonitorShow) gives every window the same one.
//
// With the setting Journey, every picture is reached by a zoom
// (shell/journey.h): the picture step draws one keyframe at a time, each in
// a turn of its own, and timFrame shows the journey's frames at the display's
// rate between them and between the rows of every window's draws; the still
// then stays for the pause. No unfinished picture is ever shown then.
//
// Re-entrance: Draw lets the message loop run after every row, so the copy
// timer and the input handlers run in the middle of a picture. They read the
// engine and may clear its Busy flag, nothing else; the window is destroyed
// only after Draw has unwound (the host destroys the form from its loop).
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "engine/mandel_class.h"
#include "platform/bitmap.h"
#include "platform/show_window.h"
#include "shell/URegistry.h"
#include "shell/UScreenSaverInit.h"

namespace nimbrel {

class TRecommendationList;
class TPasswordServices;
class TShowSession;
class TJourney;

class TfrmMain : public TMainForm {
public:
    // FormCreate of the show of one window. The window, the settings store
    // and the password services must outlive the form. In preview mode the
    // show starts at once.
    TfrmMain(TShowWindow& Window, TSettingsStore& Store, TPasswordServices& Passwords, const TSaverInit& Init,
             uint32_t Seed = std::random_device{}());
    // One window of a show on several monitors. The window and the session
    // must outlive the form; the show starts at the session's activation.
    TfrmMain(TShowWindow& Window, TShowSession& Session, uint32_t Seed = std::random_device{}());
    // FormDestroy: frees the engine; the show of one window then frees its
    // session, which writes the settings back.
    ~TfrmMain() override;
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    void FormActivate() override;
    void FormClick() override;
    void FormKeyDown(uint16_t Key) override;
    void FormMouseMove() override;
    bool FormCloseQuery() override;
    bool WMSysCommand(uint32_t Command) override;

    void timMouseTimer();
    void timDrawTimer();
    void timDrawMandelTimer();
    void timFrameTimer();

    // For a host whose window may change its size during the show (the X11
    // program, which wraps timDraw's handler with it): a full-screen picture
    // takes the screen's size anew, from the next picture on, or the largest
    // picture of its shape that the machine holds (engine/picture_budget.h).
    // Call it only between pictures, never from inside a draw.
    void ApplyScreenSize();

    // For the session: the start of the show on this window (the last scene
    // forgotten, the default draw mode, the picture size; raises when the
    // size is refused), its first picture 100 ms later, and the cancel of a
    // picture being drawn.
    void PrepareShow();
    void StartPictures();
    void CancelPicture();

    // For the host and the tests.
    const TMandel& Mandel() const { return *Mandel_; }
    TMandelssReg* Settings() const;
    TShowSession& Session() const { return Session_; }
    TShowWindow& Window() const { return Window_; }
    int32_t LastIndex() const { return LastIndex_; }
    int32_t MouseTicks() const;
    // Pictures drawn to their end on this window.
    int32_t Pictures() const { return Pictures_; }
    TTimer& timDraw() const { return *timDraw_; }
    TTimer& timDrawMandel() const { return *timDrawMandel_; }
    TTimer& timMouse() const;
    TTimer& timFrame() const { return *timFrame_; }
    // The journey under way (null between journeys and without them), and
    // the frames held on this window since the show began.
    const TJourney* Journey() const { return Journey_.get(); }
    int32_t HeldFrames() const { return HeldFrames_; }
    // The frame last shown by a journey.
    const TBitmap& Frame() const { return Frame_; }

private:
    // Session is null for the show of one window, which owns OwnSession.
    TfrmMain(TShowWindow& Window, std::unique_ptr<TShowSession> OwnSession, TShowSession* Session, uint32_t Seed);
    void ApplyPictureSize();
    // Picks the next scene and applies it to the engine.
    void ChooseScene();
    // A picture step of a journey: the journey begun when none is under way,
    // then its next keyframe drawn.
    void JourneyStep();
    // The closing step of every picture step: the next one after the pause.
    void RestAfterPicture();
    uint32_t FrameInterval() const;
    void ShowPicture(const TBitmap& Picture);
    void DrawCenter(const TBitmap& Picture);
    void DrawSpread(const TBitmap& Picture);

    TShowWindow& Window_;
    // The session of the show of one window; empty when it is shared.
    std::unique_ptr<TShowSession> OwnSession_;
    TShowSession& Session_;
    std::unique_ptr<TTimer> timDraw_;
    std::unique_ptr<TTimer> timDrawMandel_;
    std::unique_ptr<TTimer> timFrame_;

    std::unique_ptr<TMandel> Mandel_;
    uint8_t Layout_ = lmSpread;
    int32_t LastIndex_ = -1;
    int32_t Pictures_ = 0;
    TDrawMode DefaultDrawMode_ = dmNormal;
    std::mt19937 Random_;

    std::unique_ptr<TJourney> Journey_;
    TBitmap Frame_;
    int64_t FrameTicks_ = 0;  // of the journey under way
    int32_t HeldFrames_ = 0;
};

}  // namespace nimbrel
