// Dialogs built in memory: the face of the dialog font, chosen from the
// Japanese faces the system has, and an empty dialog template with the
// frame, caption and font, whose controls the dialog makes in code.
#pragma once

#include <string>
#include <vector>

#include "win32/win32_api.h"

namespace nimbrel {

// Yu Gothic UI, Meiryo UI, MS UI Gothic or Noto Sans CJK JP (Wine), whichever
// the system has first; else the system's dialog font.
const wchar_t* DialogFace();

struct TDialogFrame {
    std::wstring Caption;
    short Width = 0;   // dialog units
    short Height = 0;
    // A registered class of the dialog; nullptr for the system's own.
    const wchar_t* ClassName = nullptr;
    DWORD ExStyle = 0;
};

// An empty DLGTEMPLATEEX of the frame in the 9-point dialog font of Face:
// a modal frame with a caption and a close button, centred.
std::vector<WORD> DialogTemplate(const TDialogFrame& Frame, const wchar_t* Face);

}  // namespace nimbrel
