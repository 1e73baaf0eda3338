// Any bytes as a dialog template: the reader must refuse or read them within bounds, and
// a dialog built from what it read must serve the control messages safely.
#include <cstring>

#include "fuzz_support.h"
#include "platform/dialog/dialog.h"

using namespace platform::dlg;

namespace {
INT_PTR fuzzProc(HWND dialog, unsigned message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return 0;
    for (const auto& c : dialog->owner->controls()) {
        HWND w = GetDlgItem(dialog, c->id);
        SendMessage(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("entry"));
        SendMessage(w, CB_SETCURSEL, 0, 0);
        SendMessage(w, BM_SETCHECK, BST_CHECKED, 0);
        char text[16];
        SendMessage(w, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    return 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::setUp();
    // A private copy of exactly size bytes, so reads past the end are caught.
    uint8_t* bytes = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (size) memcpy(bytes, data, size);
    auto dialog = Dialog::create(bytes, size, fuzzProc, 0);
    if (dialog) {
        dialog->initialise();
        for (const auto& c : dialog->controls()) dialog->clickButton(c->id);
        dialog->pressEnter();
        dialog->cancel();
        (void)dialog->describe();
    }
    free(bytes);
    return 0;
}
