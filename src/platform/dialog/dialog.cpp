#include "platform/dialog/dialog.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/gtk/gtk_ui.h"
#include "platform/msgbox.h"

namespace platform::dlg {

namespace {

bool classIs(const TemplateName& name, uint16_t atom, const char* text) {
    if (name.isOrdinal) return name.ordinal == atom;
    return strcasecmp(name.text.c_str(), text) == 0;
}

ControlKind kindOf(const TemplateItem& item) {
    if (classIs(item.className, ATOM_STATIC, "STATIC")) return ControlKind::Static;
    if (classIs(item.className, ATOM_COMBOBOX, "COMBOBOX")) return ControlKind::ComboBox;
    if (classIs(item.className, ATOM_BUTTON, "BUTTON")) {
        switch (item.style & BS_TYPEMASK) {
            case BS_PUSHBUTTON:
            case BS_DEFPUSHBUTTON: return ControlKind::PushButton;
            case 0x2:  // BS_CHECKBOX
            case BS_AUTOCHECKBOX: return ControlKind::CheckBox;
            default: return ControlKind::Other;
        }
    }
    return ControlKind::Other;
}

}  // namespace

std::unique_ptr<Dialog> Dialog::create(const uint8_t* templ, size_t size, DLGPROC proc,
                                       LPARAM param) {
    DialogTemplate parsed;
    if (proc == nullptr || !readDialogTemplate(templ, size, &parsed)) return nullptr;
    std::unique_ptr<Dialog> dialog(new Dialog);
    dialog->proc_ = proc;
    dialog->param_ = param;
    Window& self = dialog->self_;
    self.isDialog = true;
    self.style = parsed.style;
    self.x = parsed.x;
    self.y = parsed.y;
    self.cx = parsed.cx;
    self.cy = parsed.cy;
    self.text = parsed.title;
    self.owner = dialog.get();
    for (const TemplateItem& item : parsed.items) {
        auto control = std::make_unique<Window>();
        control->kind = kindOf(item);
        control->style = item.style;
        control->id = item.id;
        control->x = item.x;
        control->y = item.y;
        control->cx = item.cx;
        control->cy = item.cy;
        if (!item.title.isOrdinal) control->text = item.title.text;
        control->owner = dialog.get();
        dialog->controls_.push_back(std::move(control));
    }
    return dialog;
}

Window* Dialog::control(uint16_t id) {
    for (auto& c : controls_) {
        if (c->id == id) return c.get();
    }
    return nullptr;
}

INT_PTR Dialog::initialise() {
    HWND focus = nullptr;
    for (auto& c : controls_) {
        if (c->style & WS_TABSTOP) {
            focus = c.get();
            break;
        }
    }
    return proc_(&self_, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param_);
}

void Dialog::chooseEntry(uint16_t id, int index) {
    Window* c = control(id);
    if (!c || c->kind != ControlKind::ComboBox || index < 0 || size_t(index) >= c->entries.size())
        return;
    c->selection = index;
    dispatch(&self_, WM_COMMAND, makeWParam(id, CBN_SELENDOK), reinterpret_cast<LPARAM>(c));
}

void Dialog::clickButton(uint16_t id) {
    Window* c = control(id);
    if (c && c->kind == ControlKind::CheckBox && (c->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        c->check = c->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        if (view_) view_->controlChanged(c);
    }
    dispatch(&self_, WM_COMMAND, makeWParam(id, BN_CLICKED), reinterpret_cast<LPARAM>(c));
}

void Dialog::pressEnter() {
    uint16_t id = IDOK;
    for (auto& c : controls_) {
        if (c->kind == ControlKind::PushButton && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            id = c->id;
            break;
        }
    }
    dispatch(&self_, WM_COMMAND, makeWParam(id, BN_CLICKED),
             reinterpret_cast<LPARAM>(control(id)));
}

void Dialog::cancel() {
    dispatch(&self_, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED),
             reinterpret_cast<LPARAM>(control(IDCANCEL)));
}

void Dialog::end(INT_PTR result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
}

LRESULT Dialog::dispatch(HWND target, unsigned message, WPARAM wParam, LPARAM lParam) {
    if (target == &self_) return proc_(&self_, message, wParam, lParam);
    Window* c = target;
    switch (c->kind) {
        case ControlKind::ComboBox:
            switch (message) {
                case CB_ADDSTRING: {
                    const char* text = reinterpret_cast<const char*>(lParam);
                    c->entries.push_back(text ? text : "");
                    if (view_) view_->controlChanged(c);
                    return LRESULT(c->entries.size() - 1);
                }
                case CB_GETCOUNT: return LRESULT(c->entries.size());
                case CB_SETCURSEL: {
                    intptr_t index = intptr_t(wParam);
                    bool valid = index >= 0 && size_t(index) < c->entries.size();
                    c->selection = valid ? int(index) : CB_ERR;
                    if (view_) view_->controlChanged(c);
                    return valid ? LRESULT(index) : LRESULT(CB_ERR);
                }
                case CB_GETCURSEL: return c->selection;
                case CB_GETLBTEXTLEN:
                case CB_GETLBTEXT: {
                    intptr_t index = intptr_t(wParam);
                    if (index < 0 || size_t(index) >= c->entries.size()) return CB_ERR;
                    const std::string& entry = c->entries[size_t(index)];
                    // As in Win32, the caller's buffer must hold the entry and its NUL.
                    if (message == CB_GETLBTEXT && lParam) {
                        memcpy(reinterpret_cast<char*>(lParam), entry.c_str(), entry.size() + 1);
                    }
                    return LRESULT(entry.size());
                }
                default: return 0;
            }
        case ControlKind::CheckBox:
            switch (message) {
                case BM_GETCHECK: return c->check;
                case BM_SETCHECK:
                    c->check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
                    if (view_) view_->controlChanged(c);
                    return 0;
                default: return 0;
            }
        default:
            return 0;
    }
}

std::string Dialog::describe() const {
    std::string out;
    for (const auto& c : controls_) {
        if (!out.empty()) out += "; ";
        switch (c->kind) {
            case ControlKind::Static: out += c->text; break;
            case ControlKind::ComboBox:
                out += "(";
                out += c->selection >= 0 ? c->entries[size_t(c->selection)] : "";
                out += " of " + std::to_string(c->entries.size()) + ")";
                break;
            case ControlKind::PushButton: out += "<" + c->text + ">"; break;
            case ControlKind::CheckBox:
                out += c->check == BST_CHECKED ? "[x] " : "[ ] ";
                out += c->text;
                break;
            case ControlKind::Other: out += "?" + c->text; break;
        }
    }
    return out;
}

HWND GetDlgItem(HWND dialog, int id) {
    if (!dialog || !dialog->isDialog || id < 0 || id > 0xFFFF) return nullptr;
    return dialog->owner->control(uint16_t(id));
}

LRESULT SendMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
    if (!window) return 0;
    return window->owner->dispatch(window, message, wParam, lParam);
}

bool EndDialog(HWND dialog, INT_PTR result) {
    if (!dialog || !dialog->isDialog) return false;
    dialog->owner->end(result);
    return true;
}

HINSTANCE moduleInstance() {
    static char instance;
    return &instance;
}

namespace {
const char* resultName(INT_PTR result, char* buffer, size_t size) {
    if (result == IDOK) return "ok";
    if (result == IDCANCEL) return "cancel";
    snprintf(buffer, size, "%ld", long(result));
    return buffer;
}
}  // namespace

INT_PTR DialogBoxIndirectParam(HINSTANCE, const void* templ, size_t size, HWND, DLGPROC proc,
                               LPARAM param) {
    std::unique_ptr<Dialog> dialog =
        Dialog::create(static_cast<const uint8_t*>(templ), size, proc, param);
    if (!dialog) {
        fprintf(stderr, "[dialog] the dialog template cannot be read\n");
        errno = EINVAL;  // the caller logs it as the last error
        return -1;
    }
    fflush(stdout);
    if (uiBackend() == UiBackend::Gtk) {
        if (!gtk::runDialog(*dialog)) {
            fprintf(stderr, "[dialog] GTK cannot show the dialog\n");
            fflush(stderr);
            errno = ENODEV;
            return -1;
        }
    } else {
        dialog->initialise();
        if (!dialog->ended()) {
            if (nextScriptedAnswer() == platform::IDCANCEL) dialog->cancel();
            else dialog->pressEnter();
        }
    }
    fflush(stdout);
    fprintf(stderr, "[dialog] %s | %s\n", dialog->hwnd()->text.c_str(), dialog->describe().c_str());
    if (!dialog->ended()) {
        fprintf(stderr, "[dialog] the dialog procedure did not end the dialog\n");
        fflush(stderr);
        errno = EINVAL;
        return -1;
    }
    char number[32];
    fprintf(stderr, "[dialog] answered %s\n", resultName(dialog->result(), number, sizeof number));
    fflush(stderr);
    return dialog->result();
}

}  // namespace platform::dlg
