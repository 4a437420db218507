// TfrmMain: the window of the show and its main loop's handlers. It owns the
// engine, the settings and the scene list; three timers drive it: timDraw
// starts the next picture, timDrawMandel copies the picture in progress onto
// the window every 500 ms, timMouse arms the end of the show by mouse movement.
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
#include "platform/show_window.h"
#include "shell/URegistry.h"
#include "shell/UScreenSaverInit.h"

namespace nimbrel {

class TRecommendationList;
class TPasswordServices;

class TfrmMain : public TMainForm {
public:
    // FormCreate. The window, the settings store and the password services
    // must outlive the form. In preview mode the show starts at once.
    TfrmMain(TShowWindow& Window, TSettingsStore& Store, TPasswordServices& Passwords, const TSaverInit& Init,
             uint32_t Seed = std::random_device{}());
    // FormDestroy: frees the engine, then the settings (which write every
    // value back), then the scene list.
    ~TfrmMain() override;

    void FormActivate() override;
    void FormClick() override;
    void FormKeyDown(uint16_t Key) override;
    void FormMouseMove() override;
    bool FormCloseQuery() override;
    bool WMSysCommand(uint32_t Command) override;

    void timMouseTimer();
    void timDrawTimer();
    void timDrawMandelTimer();

    // For a host whose window may change its size during the show (the X11
    // program, which wraps timDraw's handler with it): a full-screen picture
    // takes the screen's size anew, from the next picture on. Call it only
    // between pictures, never from inside a draw.
    void ApplyScreenSize();

    // For the host and the tests.
    const TMandel& Mandel() const { return *Mandel_; }
    TMandelssReg* Settings() const { return Settings_.get(); }
    int32_t LastIndex() const { return LastIndex_; }
    int32_t MouseTicks() const { return MouseTicks_; }
    TTimer& timDraw() const { return *timDraw_; }
    TTimer& timDrawMandel() const { return *timDrawMandel_; }
    TTimer& timMouse() const { return *timMouse_; }

private:
    void ApplyPictureSize();
    void DrawCenter();
    void DrawSpread();
    // Ends the show when the password check agrees.
    void CloseIfVerified();

    TShowWindow& Window_;
    TSettingsStore& Store_;
    TPasswordServices& Passwords_;
    TSaverInit Init_;
    std::unique_ptr<TTimer> timMouse_;
    std::unique_ptr<TTimer> timDraw_;
    std::unique_ptr<TTimer> timDrawMandel_;

    std::unique_ptr<TMandel> Mandel_;
    std::unique_ptr<TMandelssReg> Settings_;
    std::unique_ptr<TRecommendationList> Recommendations_;
    uint8_t Layout_ = lmSpread;
    bool FirstActivation_ = true;
    int32_t MouseTicks_ = 0;
    int32_t LastIndex_ = -1;
    TDrawMode DefaultDrawMode_ = dmNormal;
    std::mt19937 Random_;
};

}  // namespace nimbrel
