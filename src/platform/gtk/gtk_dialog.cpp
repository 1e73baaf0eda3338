// The GTK view of a dialog model: one modal window whose controls sit at their
// template positions, converted from dialog units with base units measured from the
// system font as Win32 measures them (average character width of A-Z a-z, font height;
// x pixels = x * baseX / 4, y pixels = y * baseY / 8).
#include <gtk/gtk.h>

#include <map>
#include <string>

#include "platform/dialog/dialog.h"
#include "platform/gtk/gtk_ui.h"

namespace platform::gtk {

namespace {

using dlg::ControlKind;
using dlg::Window;

// "&Runit" -> "_Runit"; "&&" is a literal '&'; a literal '_' must be doubled for GTK.
std::string mnemonicText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            } else {
                out += '_';
            }
        } else if (c == '_') {
            out += "__";
        } else {
            out += c;
        }
    }
    return out;
}

// Win32 gives a drop-down list's closed part a height from the font; its template
// height is the height of the dropped-down list.
constexpr int kClosedComboHeightDu = 12;

const char* kCss =
    "#festoonery-dialog button {"
    "  min-height: 0; padding-top: 1px; padding-bottom: 1px; }"
    "#festoonery-dialog combobox button {"
    "  min-height: 0; padding: 1px 3px 1px 5px; }"
    "#festoonery-dialog combobox arrow { min-width: 12px; }"
    "#festoonery-dialog checkbutton { min-height: 0; padding: 0; }"
    "#festoonery-dialog checkbutton check { min-height: 12px; min-width: 12px; }";

class GtkDialogView : public dlg::DialogView {
public:
    explicit GtkDialogView(dlg::Dialog& dialog) : dialog_(dialog) {}

    ~GtkDialogView() override {
        dialog_.setView(nullptr);
        if (window_) gtk_widget_destroy(window_);
        drainEvents();
    }

    void build();
    void controlChanged(Window* control) override { sync(control); }
    void run();

private:
    int px(int du) const { return (du * baseX_ + 2) / 4; }
    int py(int du) const { return (du * baseY_ + 4) / 8; }
    void measureBaseUnits();
    void sync(Window* control);

    static void onComboChanged(GtkComboBox* combo, gpointer self);
    static void onButtonClicked(GtkButton* button, gpointer self);
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self);

    dlg::Dialog& dialog_;
    GtkWidget* window_ = nullptr;
    std::map<Window*, GtkWidget*> widgets_;
    std::map<GtkWidget*, Window*> controls_;
    bool syncing_ = false;
    int baseX_ = 8, baseY_ = 16;
};

void GtkDialogView::measureBaseUnits() {
    PangoLayout* layout = gtk_widget_create_pango_layout(
        window_, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    if (width > 0) baseX_ = (width / 26 + 1) / 2;
    if (height > 0) baseY_ = height;
}

void GtkDialogView::build() {
    static bool cssInstalled = false;
    if (!cssInstalled) {
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
        cssInstalled = true;
    }

    Window* self = dialog_.hwnd();
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_name(window_, "festoonery-dialog");
    gtk_window_set_title(GTK_WINDOW(window_), self->text.c_str());
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
    measureBaseUnits();
    // Centred on the screen and wholly on it (GTK keeps a centred window inside the
    // monitor), whatever the screen's size: the template's position (300, 300 in dialog
    // units) put the buttons below the bottom of a 1280x720 screen.
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);

    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, px(self->cx), py(self->cy));
    gtk_container_add(GTK_CONTAINER(window_), fixed);

    GList* focusChain = nullptr;
    GtkWidget* defaultButton = nullptr;
    for (const auto& owned : dialog_.controls()) {
        Window* c = owned.get();
        GtkWidget* w = nullptr;
        int height = c->cy;
        std::string label = mnemonicText(c->text);
        switch (c->kind) {
            case ControlKind::Static:
                w = gtk_label_new_with_mnemonic(label.c_str());
                gtk_label_set_xalign(GTK_LABEL(w), 0.0f);
                gtk_label_set_yalign(GTK_LABEL(w), 0.0f);
                break;
            case ControlKind::ComboBox:
                w = gtk_combo_box_text_new();
                g_signal_connect(w, "changed", G_CALLBACK(onComboChanged), this);
                if (height > kClosedComboHeightDu) height = kClosedComboHeightDu;
                break;
            case ControlKind::PushButton:
                w = gtk_button_new_with_mnemonic(label.c_str());
                g_signal_connect(w, "clicked", G_CALLBACK(onButtonClicked), this);
                if ((c->style & dlg::BS_TYPEMASK) == dlg::BS_DEFPUSHBUTTON) defaultButton = w;
                break;
            case ControlKind::CheckBox:
                w = gtk_check_button_new_with_mnemonic(label.c_str());
                g_signal_connect(w, "clicked", G_CALLBACK(onButtonClicked), this);
                break;
            case ControlKind::Other:
                w = gtk_label_new(c->text.c_str());
                break;
        }
        gtk_widget_set_size_request(w, px(c->cx), py(height));
        gtk_fixed_put(GTK_FIXED(fixed), w, px(c->x), py(c->y));
        // Combo boxes pass focus to their inner button; only plain widgets are switched.
        if (c->kind == ControlKind::PushButton || c->kind == ControlKind::CheckBox)
            gtk_widget_set_can_focus(w, (c->style & dlg::WS_TABSTOP) != 0);
        if (c->style & dlg::WS_TABSTOP) focusChain = g_list_append(focusChain, w);
        if (!(c->style & dlg::WS_VISIBLE)) gtk_widget_set_no_show_all(w, TRUE);
        widgets_[c] = w;
        controls_[w] = c;
    }
    // Tab moves through the tab-stop controls in template order, as in Win32.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(fixed), focusChain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (focusChain) gtk_widget_grab_focus(GTK_WIDGET(focusChain->data));
    g_list_free(focusChain);
    if (defaultButton) {
        gtk_widget_set_can_default(defaultButton, TRUE);
        gtk_window_set_default(GTK_WINDOW(window_), defaultButton);
    }

    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
    dialog_.setView(this);
}

void GtkDialogView::sync(Window* c) {
    auto found = widgets_.find(c);
    if (found == widgets_.end()) return;
    GtkWidget* w = found->second;
    syncing_ = true;
    if (c->kind == ControlKind::ComboBox) {
        GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(w);
        GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
        int shown = gtk_tree_model_iter_n_children(model, nullptr);
        if (size_t(shown) > c->entries.size()) {
            gtk_combo_box_text_remove_all(combo);
            shown = 0;
        }
        for (size_t i = size_t(shown); i < c->entries.size(); ++i) {
            gtk_combo_box_text_append_text(combo, c->entries[i].c_str());
        }
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo), c->selection);
    } else if (c->kind == ControlKind::CheckBox) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), c->check == dlg::BST_CHECKED);
    }
    syncing_ = false;
}

void GtkDialogView::onComboChanged(GtkComboBox* combo, gpointer data) {
    auto* view = static_cast<GtkDialogView*>(data);
    if (view->syncing_) return;
    Window* c = view->controls_[GTK_WIDGET(combo)];
    int index = gtk_combo_box_get_active(combo);
    if (c && index >= 0 && index != c->selection) view->dialog_.chooseEntry(c->id, index);
}

void GtkDialogView::onButtonClicked(GtkButton* button, gpointer data) {
    auto* view = static_cast<GtkDialogView*>(data);
    if (view->syncing_) return;
    Window* c = view->controls_[GTK_WIDGET(button)];
    if (c) view->dialog_.clickButton(c->id);
}

gboolean GtkDialogView::onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<GtkDialogView*>(data)->dialog_.cancel();
    return TRUE;  // the procedure decides; EndDialog closes the window
}

gboolean GtkDialogView::onKey(GtkWidget* window, GdkEventKey* event, gpointer data) {
    auto* view = static_cast<GtkDialogView*>(data);
    switch (event->keyval) {
        case GDK_KEY_Escape:
            view->dialog_.cancel();
            return TRUE;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter: {
            // A focused push button takes Enter itself (Win32 makes it the default then).
            GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
            auto found = view->controls_.find(focus);
            if (found != view->controls_.end() && found->second->kind == ControlKind::PushButton)
                return FALSE;
            view->dialog_.pressEnter();
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void GtkDialogView::run() {
    if (dialog_.ended()) return;
    // Ctrl+C or SIGTERM closes the dialog as Escape does.
    QuitSignalWatch quit([](void* dialog) { static_cast<dlg::Dialog*>(dialog)->cancel(); }, &dialog_);
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
    while (!dialog_.ended()) gtk_main_iteration();
}

}  // namespace

bool runDialog(dlg::Dialog& dialog) {
    if (!open()) return false;
    GtkDialogView view(dialog);
    view.build();
    // Sync the empty widgets once, then let the procedure fill them.
    for (const auto& c : dialog.controls()) view.controlChanged(c.get());
    dialog.initialise();
    view.run();
    return true;
}

}  // namespace platform::gtk
