// nimbrel-explore: find views of the Mandelbrot and Julia sets with the mouse
// and keep them as scenes of an MRP file.
//
// The SDL front end of the explorer (shell/explorer.h): it names SDL's keys
// and mouse by the explorer's input table (shell/explorer_input.h) and posts
// the commands the table answers, shows the engine's bitmap as it grows with
// the status and the help, and its event pump is the application's message
// processing between the rows of a draw. What the explorer decides is not here.
#include <SDL.h>
#include <SDL2_gfxPrimitives.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "png/png_writer.h"
#include "shell/explorer.h"
#include "shell/explorer_command_line.h"
#include "shell/explorer_input.h"

namespace nimbrel {
namespace {

// Text for the built-in font of SDL2_gfx, which has the ASCII characters.
std::string Ascii(const std::string& utf8) {
    std::string text;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            text.push_back(c);
        else if (byte >= 0xC0)
            text.push_back('?');  // the first byte of a character beyond ASCII
    }
    return text;
}

// Splits text into lines of at most `columns` characters, at its own line
// ends and else at blanks where it can.
std::vector<std::string> Wrap(const std::string& text, std::size_t columns) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (line.size() > columns) {
            std::size_t cut = line.rfind(' ', columns);
            if (cut == std::string::npos || cut == 0) cut = columns;
            lines.push_back(line.substr(0, cut));
            line.erase(0, line.find_first_not_of(' ', cut) == std::string::npos ? line.size()
                                                                                 : line.find_first_not_of(' ', cut));
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

class TFrontEnd {
public:
    TFrontEnd(TExplorer& explorer, SDL_Window* window, SDL_Renderer* renderer)
        : explorer_(explorer), window_(window), renderer_(renderer) {}
    ~TFrontEnd() {
        if (texture_) SDL_DestroyTexture(texture_);
    }
    TFrontEnd(const TFrontEnd&) = delete;
    TFrontEnd& operator=(const TFrontEnd&) = delete;

    // The message processing between the rows of a draw: input becomes
    // commands, and the growing picture is shown now and then.
    void Pump() {
        SDL_Event event;
        while (SDL_PollEvent(&event)) Handle(event);
        // A journey's frames come at their own rate.
        const uint32_t every = explorer_.Journey() ? 1000 / TExplorer::kJourneyFps : kShowEveryMs;
        if (SDL_GetTicks() - lastShown_ >= every) Show();
    }

    // Between the steps of a journey, which need not draw: the input.
    void Poll() {
        SDL_Event event;
        while (SDL_PollEvent(&event)) Handle(event);
    }

    // Outside any draw: waits a while for input.
    void Wait() {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 500)) {
            Handle(event);
            while (SDL_PollEvent(&event)) Handle(event);
        }
    }

    // The picture, the drag in progress, the status and the help; then the
    // title, so that a title that tells of a complete picture comes after it.
    void Show() {
        lastShown_ = SDL_GetTicks();
        const TBitmap& picture = explorer_.Picture();
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        if (picture.Width() > 0 && picture.Height() > 0) {
            if (!texture_ || textureWidth_ != picture.Width() || textureHeight_ != picture.Height()) {
                if (texture_) SDL_DestroyTexture(texture_);
                // The bitmap's pixels are 0x00RRGGBB: a plain copy.
                texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                             picture.Width(), picture.Height());
                textureWidth_ = picture.Width();
                textureHeight_ = picture.Height();
            }
            if (texture_) {
                SDL_UpdateTexture(texture_, nullptr, picture.Scanline(0), picture.Width() * 4);
                SDL_Rect target{0, 0, picture.Width(), picture.Height()};
                if (drag_ && dragMoves_) {
                    target.x = dragX_ - startX_;
                    target.y = dragY_ - startY_;
                }
                SDL_RenderCopy(renderer_, texture_, nullptr, &target);
            }
        }
        if (drag_ && !dragMoves_) {
            const SDL_Rect rect{std::min(startX_, dragX_), std::min(startY_, dragY_), std::abs(dragX_ - startX_) + 1,
                                std::abs(dragY_ - startY_) + 1};
            SDL_SetRenderDrawColor(renderer_, 255, 255, 255, 255);
            SDL_RenderDrawRect(renderer_, &rect);
        }
        if (explorer_.StatusShown()) DrawText(explorer_.StatusText(), 0);
        if (explorer_.HelpShown()) DrawText(ExplorerKeyHelp(), explorer_.StatusShown() ? 1 : 0);
        SDL_RenderPresent(renderer_);
        UpdateTitle();
    }

    // The output size in pixels, for the picture; posts it when it changed.
    void FollowWindowSize() {
        int w = 0, h = 0;
        if (SDL_GetRendererOutputSize(renderer_, &w, &h) != 0 || w <= 0 || h <= 0) return;
        int windowW = 0, windowH = 0;
        SDL_GetWindowSize(window_, &windowW, &windowH);
        scaleX_ = windowW > 0 ? static_cast<double>(w) / windowW : 1;
        scaleY_ = windowH > 0 ? static_cast<double>(h) / windowH : 1;
        explorer_.Post({TExplorerAction::Resize, w, h});
    }

private:
    static constexpr uint32_t kShowEveryMs = 40;

    void Handle(const SDL_Event& event) {
        switch (event.type) {
            case SDL_QUIT: explorer_.Post({TExplorerAction::Quit}); break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) FollowWindowSize();
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED) Show();
                break;
            case SDL_MOUSEWHEEL: {
                int notches = event.wheel.y;
                if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
                TExplorerInput input;
                input.Gesture = notches > 0 ? TExplorerGesture::WheelUp : TExplorerGesture::WheelDown;
                input.Shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
                int x = 0, y = 0;
                Cursor(x, y);
                for (int i = 0; i < std::abs(notches); ++i) Post(input, x, y);
                break;
            }
            case SDL_MOUSEBUTTONDOWN: {
                if (drag_) break;
                TExplorerInput input;
                if (event.button.button == SDL_BUTTON_LEFT)
                    input.Gesture = TExplorerGesture::LeftDrag;
                else if (event.button.button == SDL_BUTTON_RIGHT)
                    input.Gesture = TExplorerGesture::RightDrag;
                else
                    break;
                input.Shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
                const TExplorerBinding* binding = ExplorerBindingOf(input);
                if (!binding) break;
                drag_ = input;
                dragMoves_ = binding->Action == TExplorerAction::Pan;
                dragButton_ = event.button.button;
                Pixel(event.button.x, event.button.y, startX_, startY_);
                dragX_ = startX_;
                dragY_ = startY_;
                break;
            }
            case SDL_MOUSEMOTION:
                if (!drag_) break;
                Pixel(event.motion.x, event.motion.y, dragX_, dragY_);
                Show();
                break;
            case SDL_MOUSEBUTTONUP:
                if (!drag_ || event.button.button != dragButton_) break;
                Pixel(event.button.x, event.button.y, dragX_, dragY_);
                Post(*drag_, startX_, startY_, dragX_, dragY_);
                drag_.reset();
                Show();
                break;
            case SDL_KEYDOWN: Key(event.key.keysym); break;
            default: break;
        }
    }

    void Post(const TExplorerInput& input, int x, int y, int x2 = 0, int y2 = 0) {
        if (const std::optional<TExplorerCommand> command = ExplorerCommandFor(input, x, y, x2, y2))
            explorer_.Post(*command);
    }

    // SDL's keys by the names of the explorer's table: the digits by their
    // place on the keyboard, whatever the layout.
    static TExplorerKey KeyOf(const SDL_Keysym& key) {
        const auto digit = [](int n) { return static_cast<TExplorerKey>(static_cast<int>(TExplorerKey::Digit0) + n); };
        if (key.scancode >= SDL_SCANCODE_1 && key.scancode <= SDL_SCANCODE_9)
            return digit(key.scancode - SDL_SCANCODE_1 + 1);
        if (key.scancode == SDL_SCANCODE_0) return TExplorerKey::Digit0;
        if (key.scancode >= SDL_SCANCODE_KP_1 && key.scancode <= SDL_SCANCODE_KP_9)
            return digit(key.scancode - SDL_SCANCODE_KP_1 + 1);
        if (key.scancode == SDL_SCANCODE_KP_0) return TExplorerKey::Digit0;
        switch (key.sym) {
            case SDLK_ESCAPE: return TExplorerKey::Escape;
            case SDLK_BACKSPACE: return TExplorerKey::Backspace;
            case SDLK_HOME: return TExplorerKey::Home;
            case SDLK_TAB: return TExplorerKey::Tab;
            case SDLK_PAGEDOWN: return TExplorerKey::PageDown;
            case SDLK_PAGEUP: return TExplorerKey::PageUp;
            case SDLK_F1: return TExplorerKey::F1;
            case SDLK_F12: return TExplorerKey::F12;
            case SDLK_j: return TExplorerKey::J;
            case SDLK_p: return TExplorerKey::P;
            case SDLK_s: return TExplorerKey::S;
            case SDLK_z: return TExplorerKey::Z;
            case SDLK_PLUS:
            case SDLK_KP_PLUS:
            case SDLK_EQUALS: return TExplorerKey::Plus;
            case SDLK_MINUS:
            case SDLK_KP_MINUS: return TExplorerKey::Minus;
            default: return TExplorerKey::None;
        }
    }

    void Key(const SDL_Keysym& key) {
        TExplorerInput input;
        input.Key = KeyOf(key);
        input.Shift = (key.mod & KMOD_SHIFT) != 0;
        input.OtherModifiers = (key.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0;
        int x = 0, y = 0;
        Cursor(x, y);
        Post(input, x, y);
        // The status and the help change at once.
        Show();
    }

    // Window coordinates to picture pixels (they differ on a high-density display).
    void Pixel(int windowX, int windowY, int& x, int& y) const {
        x = static_cast<int>(windowX * scaleX_);
        y = static_cast<int>(windowY * scaleY_);
    }
    void Cursor(int& x, int& y) const {
        int windowX = 0, windowY = 0;
        SDL_GetMouseState(&windowX, &windowY);
        Pixel(windowX, windowY, x, y);
    }

    void UpdateTitle() {
        const std::string title = "nimbrel-explore: " + explorer_.StatusText();
        if (title == title_) return;
        title_ = title;
        SDL_SetWindowTitle(window_, title.c_str());
    }

    // Text in the built-in 8 x 8 font on a dark band; `block` 1 goes below
    // the status.
    void DrawText(const std::string& text, int block) {
        int w = 0, h = 0;
        SDL_GetRendererOutputSize(renderer_, &w, &h);
        const std::size_t columns = static_cast<std::size_t>(std::max(8, w / 8 - 2));
        const std::vector<std::string> lines = Wrap(Ascii(text), columns);
        const int top = block == 0 ? 0 : statusBottom_;
        const int height = static_cast<int>(lines.size()) * 10 + 8;
        SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 176);
        const SDL_Rect band{0, top, w, height};
        SDL_RenderFillRect(renderer_, &band);
        SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
        for (std::size_t i = 0; i < lines.size(); ++i)
            stringRGBA(renderer_, 8, static_cast<Sint16>(top + 4 + 10 * static_cast<int>(i)), lines[i].c_str(), 255,
                       255, 255, 255);
        if (block == 0) statusBottom_ = top + height;
    }

    TExplorer& explorer_;
    SDL_Window* window_;
    SDL_Renderer* renderer_;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    uint32_t lastShown_ = 0;
    std::string title_;
    int statusBottom_ = 0;
    double scaleX_ = 1;
    double scaleY_ = 1;
    // The drag in progress: its input at the press, and whether it moves the
    // picture (else it draws a rectangle).
    std::optional<TExplorerInput> drag_;
    bool dragMoves_ = false;
    uint8_t dragButton_ = 0;
    int startX_ = 0, startY_ = 0, dragX_ = 0, dragY_ = 0;
};

struct TSdl {
    TSdl() { Ok = SDL_Init(SDL_INIT_VIDEO) == 0; }
    ~TSdl() { SDL_Quit(); }
    bool Ok = false;
};

int Run(TExplorerProgram program) {
    TExplorerOptions& options = program.Explorer;
    options.WritePng = [](const std::string& path, const TBitmap& picture, std::string& error) {
        return WritePng(path, picture, error);
    };
    TSdl sdl;
    if (!sdl.Ok) {
        std::fprintf(stderr, "nimbrel-explore: %s\n", SDL_GetError());
        return 1;
    }
    const int width = options.Width, height = options.Height;
    TExplorer explorer(std::move(options));
    if (!explorer.OpenFailure().empty()) std::fprintf(stderr, "%s\n", explorer.OpenFailure().c_str());

    SDL_Window* window = SDL_CreateWindow("nimbrel-explore", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                          height, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    if (!renderer) {
        std::fprintf(stderr, "nimbrel-explore: %s\n", SDL_GetError());
        if (window) SDL_DestroyWindow(window);
        return 1;
    }
    {
        TFrontEnd front(explorer, window, renderer);
        front.FollowWindowSize();
        TScopedMessagePump pump([&] { front.Pump(); });
        int64_t logged = 0;
        for (;;) {
            if (explorer.HasWork()) {
                if (!explorer.Step()) break;
                if (program.Log && explorer.CompletedPictures() != logged) {
                    logged = explorer.CompletedPictures();
                    std::printf("%s\n", explorer.StatusText().c_str());
                    std::fflush(stdout);
                }
                if (explorer.Journey()) front.Poll();
                front.Show();
            } else {
                front.Wait();
                if (!explorer.HasWork()) front.Show();
            }
        }
    }
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    return 0;
}

}  // namespace
}  // namespace nimbrel

int main(int argc, char** argv) {
    using namespace nimbrel;
    try {
        TExplorerProgram program = ParseExplorerCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (program.Help) {
            std::fputs(ExplorerUsage(TExplorerOptions().OutputFile, kSceneFolderPalettes).c_str(), stdout);
            return 0;
        }
        return Run(std::move(program));
    } catch (const EUsageError& error) {
        std::fprintf(stderr, "nimbrel-explore: %s\n%s", error.what(),
                     ExplorerUsage(TExplorerOptions().OutputFile, kSceneFolderPalettes).c_str());
        return 2;
    }
}
