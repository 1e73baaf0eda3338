// Modal message boxes. Every box of the system goes through messageBox().
// Backends: GTK 3 dialogs ("gtk") and a non-interactive one ("script") that answers
// from FESTOONERY_ANSWERS. FESTOONERY_UI picks one: gtk, script or auto (the default:
// GTK when a display can be opened, else script). Whatever the backend, every box is
// also written to stderr as one record, so a log always shows why a run ended.
#pragma once

namespace platform {

// Box types and answers, with the values of the classic Win32 constants.
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2 };

enum class UiBackend { Gtk, Script };

// Shows a modal box and blocks until it is answered. Returns IDOK or IDCANCEL
// (closing the box counts as Cancel). An MB_OK box still answers IDOK or IDCANCEL.
int messageBox(const char* text, const char* caption, unsigned type);

// The backend in use; chosen on first use from FESTOONERY_UI.
UiBackend uiBackend();
// Forces a backend (tools that must never block force Script).
void setUiBackend(UiBackend backend);

// Script backend: the next answer from FESTOONERY_ANSWERS (comma-separated "ok" and
// "cancel", taken in order; "ok" once used up). Also used by the headless setup dialog.
int nextScriptedAnswer();
// Re-reads FESTOONERY_ANSWERS from the start (tests).
void resetScriptedAnswers();

// The one-line stderr record of a box: "[box] CAPTION | TEXT" with line feeds in the
// text written as "\n". Exposed for tests.
void writeBoxRecord(const char* caption, const char* text);

}  // namespace platform
