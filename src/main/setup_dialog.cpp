#include "main/setup_dialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "main/settings.h"
#include "scenes/production_info.h"

using namespace platform::dlg;

namespace {

ListModesFunction g_listModes = SDL_ListModes;

// The sizes offered when SDL says that any size will do.
const char* const kAllResolutions[] = {
    "640x480",  "720x480",   "720x576",  "800x600",  "1024x768", "1152x864",  "1280x768",
    "1280x800", "1280x960", "1280x1024", "1360x768", "1440x900", "1600x1200",
};

const char* const kSampleEntries[] = {"None", "2x", "4x", "8x", "16x"};

LRESULT send(HWND dialog, int id, unsigned message, WPARAM wParam, LPARAM lParam) {
    return SendMessage(GetDlgItem(dialog, id), message, wParam, lParam);
}

LRESULT addString(HWND dialog, int id, const char* text) {
    return send(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// The selected entry's text; false when nothing is selected. Entries are the
// procedure's own ("65535x65535" at most), so 64 bytes always hold them.
bool selectedText(HWND dialog, int id, char* text, size_t size) {
    LRESULT index = send(dialog, id, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return false;
    LRESULT length = send(dialog, id, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR || size_t(length) >= size) return false;
    return send(dialog, id, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text)) != CB_ERR;
}

bool isTicked(HWND dialog, int id) { return send(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

INT_PTR initialise(HWND dialog) {
    SDL_Rect** modes = g_listModes(nullptr, SDL_FULLSCREEN | SDL_HWSURFACE);
    if (modes == nullptr) {
        logLine("No modes available!\n");
        return -1;
    }
    if (modes == reinterpret_cast<SDL_Rect**>(-1)) {
        logLine("SDL reports \"all\" resolutions available. What fresh hell is this?\n");
        for (const char* size : kAllResolutions) addString(dialog, kResolutionList, size);
        send(dialog, kResolutionList, CB_SETCURSEL, 0, 0);
    } else {
        int count = 0;
        while (modes[count]) ++count;
        int selection = 0;
        for (int i = count - 1; i >= 0; --i) {
            char entry[32];
            snprintf(entry, sizeof entry, "%ix%i", int(modes[i]->w), int(modes[i]->h));
            LRESULT index = addString(dialog, kResolutionList, entry);
            if (modes[i]->w == DisplaySettings::width && modes[i]->h == DisplaySettings::height)
                selection = int(index);
        }
        // No size chosen yet: the largest, which SDL lists first and the box last.
        if (DisplaySettings::width == -1 || DisplaySettings::height == -1) selection = count - 1;
        send(dialog, kResolutionList, CB_SETCURSEL, WPARAM(selection), 0);
    }

    for (const char* entry : kSampleEntries) addString(dialog, kSamplesList, entry);
    int samplesIndex;
    switch (DisplaySettings::samples) {
        case 0: samplesIndex = 0; break;
        case 2: samplesIndex = 1; break;
        case 4: samplesIndex = 2; break;
        case 8: samplesIndex = 3; break;
        case 16: samplesIndex = 4; break;
        default:
            logLine("Unrecognzed number of default samples, going for zero\n");
            samplesIndex = 0;
            break;
    }
    send(dialog, kSamplesList, CB_SETCURSEL, WPARAM(samplesIndex), 0);

    send(dialog, kFullscreenBox, BM_SETCHECK, DisplaySettings::flags != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    send(dialog, kVsyncBox, BM_SETCHECK, DisplaySettings::vsync != 0 ? BST_CHECKED : BST_UNCHECKED, 0);

    // Copy every control's initial state into the settings, so that confirming without
    // touching anything stores exactly what the dialog shows.
    for (int id : {kResolutionList, kSamplesList, kFullscreenBox, kVsyncBox}) {
        SendMessage(dialog, WM_COMMAND, makeWParam(unsigned(id), CBN_SELENDOK),
                    reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    return 0;
}

void command(HWND dialog, WPARAM wParam) {
    unsigned id = loWord(wParam);
    unsigned notification = hiWord(wParam);
    char text[64];
    switch (id) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, INT_PTR(wParam));
            break;
        case kResolutionList:
            if (notification == CBN_SELENDOK && selectedText(dialog, kResolutionList, text, sizeof text)) {
                char* cross = strchr(text, 'x');
                if (cross) {
                    *cross = '\0';
                    DisplaySettings::width = atoi(text);
                    DisplaySettings::height = atoi(cross + 1);
                }
            }
            break;
        case kFullscreenBox:
            if (isTicked(dialog, kFullscreenBox))
                DisplaySettings::flags = int32_t(uint32_t(DisplaySettings::flags) | SDL_FULLSCREEN);
            else
                DisplaySettings::flags = 0;
            break;
        case kSamplesList:
            if (notification == CBN_SELENDOK && selectedText(dialog, kSamplesList, text, sizeof text)) {
                if (strcmp(text, "None") == 0) {
                    DisplaySettings::samples = 0;
                } else {
                    char* cross = strchr(text, 'x');
                    if (cross) *cross = '\0';
                    DisplaySettings::samples = atoi(text);
                }
            }
            break;
        case kVsyncBox:
            DisplaySettings::vsync = isTicked(dialog, kVsyncBox) ? 1 : 0;
            break;
        default:
            logLine("Unrecognized command %i, HIWORD %i, LOWORD %i\n", int(wParam), int(notification),
                    int(id));
            break;
    }
}

}  // namespace

INT_PTR setupDialogProc(HWND dialog, unsigned message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return initialise(dialog);
        case WM_COMMAND: command(dialog, wParam); return 0;
        default: return 0;
    }
}

void setListModesFunction(ListModesFunction function) {
    g_listModes = function ? function : SDL_ListModes;
}

void buildSetupDialogTemplate(DialogTemplateBuilder* b) {
    b->beginTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME,
                     WS_EX_CONTROLPARENT, 300, 300, 135, 55, thisProduction().title);
    const uint32_t visible = WS_CHILD | WS_VISIBLE;
    b->addItem(visible, "Choose resolution", 0, "STATIC", 5, 5, 65, 10);
    b->addItem(visible | WS_TABSTOP | CBS_DROPDOWNLIST, nullptr, kResolutionList, "COMBOBOX", 75, 5, 55, 500);
    b->addItem(visible, "Anti-aliasing", 0, "STATIC", 5, 20, 65, 10);
    b->addItem(visible | WS_TABSTOP | CBS_DROPDOWNLIST, nullptr, kSamplesList, "COMBOBOX", 75, 20, 55, 500);
    b->addItem(visible | WS_TABSTOP | BS_DEFPUSHBUTTON, "&Runit", IDOK, "BUTTON", 5, 35, 30, 15);
    b->addItem(visible | WS_TABSTOP | BS_PUSHBUTTON, "&Nah", IDCANCEL, "BUTTON", 40, 35, 30, 15);
    b->addItem(visible | WS_TABSTOP | BS_AUTOCHECKBOX, "&Fullscreen", kFullscreenBox, "BUTTON", 75, 35, 55, 10);
    b->addItem(visible | WS_TABSTOP | BS_AUTOCHECKBOX, "&Vsync enable", kVsyncBox, "BUTTON", 75, 45, 55, 10);
}

int runSetupDialog(HINSTANCE instance) {
    DialogTemplateBuilder builder;
    buildSetupDialogTemplate(&builder);
    return int(DialogBoxIndirectParam(instance, builder.data(), builder.size(), nullptr,
                                      setupDialogProc, 0));
}
