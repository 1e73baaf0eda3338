// The setup dialog "Festoonery!": resolution, anti-aliasing, full screen and vsync.
// Built at run time from an in-memory template; its procedure copies every control's
// state into DisplaySettings.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/dialog/dialog.h"

// Control ids of the dialog (besides IDOK 1 and IDCANCEL 2).
enum : uint16_t {
    kResolutionList = 100,
    kFullscreenBox = 101,
    kSamplesList = 102,
    kVsyncBox = 103,
};

// Writes the dialog's template: header and the eight controls, in tab order.
void buildSetupDialogTemplate(platform::dlg::DialogTemplateBuilder* builder);

// Runs the dialog. 1: confirmed ("&Runit" or Enter), 2: cancelled ("&Nah", Escape or
// closing it), -1: the dialog could not be created.
int runSetupDialog(platform::dlg::HINSTANCE instance);

// The dialog procedure (tests drive it on the headless model).
platform::dlg::INT_PTR setupDialogProc(platform::dlg::HWND dialog, unsigned message,
                                       platform::dlg::WPARAM wParam,
                                       platform::dlg::LPARAM lParam);

// Where the procedure asks for the full-screen modes; SDL_ListModes unless replaced
// (tests). Null restores SDL_ListModes.
using ListModesFunction = SDL_Rect** (*)(SDL_PixelFormat* format, Uint32 flags);
void setListModesFunction(ListModesFunction function);
