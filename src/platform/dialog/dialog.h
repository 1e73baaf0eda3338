// A small dialog manager in place of the Win32 one: it reads a dialog template
// (dialog_template.h), builds a control model from it, sends WM_INITDIALOG and
// WM_COMMAND to the dialog procedure and serves the control messages the procedure
// sends back. The model is the truth; the GTK view only shows it and reports what the
// viewer does. Without GTK (FESTOONERY_UI=script) the same model runs headless.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog/dialog_template.h"

namespace platform::dlg {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using INT_PTR = intptr_t;
using HINSTANCE = void*;

struct Window;
class Dialog;
using HWND = Window*;
using DLGPROC = INT_PTR (*)(HWND dialog, unsigned message, WPARAM wParam, LPARAM lParam);

// Message numbers and results with the Win32 values.
enum : unsigned {
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    BM_GETCHECK = 0x00F0,
    BM_SETCHECK = 0x00F1,
    CB_ADDSTRING = 0x0143,
    CB_GETCOUNT = 0x0146,
    CB_GETCURSEL = 0x0147,
    CB_GETLBTEXT = 0x0148,
    CB_GETLBTEXTLEN = 0x0149,
    CB_SETCURSEL = 0x014E,
};
enum : int { CB_ERR = -1, BST_UNCHECKED = 0, BST_CHECKED = 1 };
enum : unsigned { BN_CLICKED = 0, CBN_SELCHANGE = 1, CBN_SELENDOK = 9 };
enum : int { IDOK = 1, IDCANCEL = 2 };

inline WPARAM makeWParam(unsigned low, unsigned high) {
    return WPARAM((high & 0xFFFF) << 16 | (low & 0xFFFF));
}
inline unsigned loWord(WPARAM w) { return unsigned(w & 0xFFFF); }
inline unsigned hiWord(WPARAM w) { return unsigned((w >> 16) & 0xFFFF); }

enum class ControlKind { Static, ComboBox, PushButton, CheckBox, Other };

// One window of the model: the dialog itself or one of its controls.
struct Window {
    bool isDialog = false;
    ControlKind kind = ControlKind::Other;
    uint32_t style = 0;
    uint16_t id = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    std::string text;                       // UTF-8, with & mnemonics as in the template
    std::vector<std::string> entries;       // combo box
    int selection = CB_ERR;                 // combo box
    int check = BST_UNCHECKED;              // check box
    Dialog* owner = nullptr;                // the dialog this window belongs to
};

class DialogView;

// One running dialog: the template's windows and the procedure.
class Dialog {
public:
    // Null when the template cannot be read.
    static std::unique_ptr<Dialog> create(const uint8_t* templ, size_t size, DLGPROC proc,
                                          LPARAM param);

    HWND hwnd() { return &self_; }
    const std::vector<std::unique_ptr<Window>>& controls() const { return controls_; }
    Window* control(uint16_t id);

    // Sends WM_INITDIALOG (focus window, parameter) and returns the procedure's answer.
    INT_PTR initialise();

    // What the viewer does, as the Win32 controls report it:
    // choose entry index of a drop-down list: selection, then WM_COMMAND CBN_SELENDOK;
    void chooseEntry(uint16_t id, int index);
    // click a button: an auto check box toggles first; then WM_COMMAND BN_CLICKED;
    void clickButton(uint16_t id);
    // Enter: the default push button's command (IDOK when there is none);
    void pressEnter();
    // Escape or closing the window: WM_COMMAND IDCANCEL.
    void cancel();

    bool ended() const { return ended_; }
    INT_PTR result() const { return result_; }
    void end(INT_PTR result);

    // One line describing the controls' state: texts, selected entries, checks.
    std::string describe() const;

    // The view to tell about model changes made by the procedure (may be null).
    void setView(DialogView* view) { view_ = view; }
    DialogView* view() const { return view_; }

    LRESULT dispatch(HWND target, unsigned message, WPARAM wParam, LPARAM lParam);

private:
    Dialog() = default;
    Window self_;
    std::vector<std::unique_ptr<Window>> controls_;
    DLGPROC proc_ = nullptr;
    LPARAM param_ = 0;
    bool ended_ = false;
    INT_PTR result_ = 0;
    DialogView* view_ = nullptr;
};

// A view shows a dialog and reports the viewer's actions to it.
class DialogView {
public:
    virtual ~DialogView() = default;
    // A control's model state changed (entries, selection, check).
    virtual void controlChanged(Window* control) = 0;
};

// The Win32-style entry points used by dialog procedures.
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
bool EndDialog(HWND dialog, INT_PTR result);

// A stand-in for the module instance handle of the running program.
HINSTANCE moduleInstance();

// Runs a modal dialog from a template of size bytes with the backend of
// platform::uiBackend(): GTK shows it and returns what the procedure passed to
// EndDialog; script initialises it, then confirms it (IDOK) or cancels it when the next
// scripted answer is cancel. -1 when the dialog cannot be created (unreadable template,
// or a procedure that never ends it). Writes "[dialog] TITLE | STATE" and
// "[dialog] answered ok|cancel|N" to stderr when it ends.
INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const void* templ, size_t size, HWND parent,
                               DLGPROC proc, LPARAM param);

}  // namespace platform::dlg
