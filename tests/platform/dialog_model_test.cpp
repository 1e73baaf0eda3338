#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dialog/dialog.h"
#include "platform/msgbox.h"

using namespace platform::dlg;

namespace {

struct Received {
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Received> g_received;
bool g_endOnButtons = true;

INT_PTR recordingProc(HWND dialog, unsigned message, WPARAM wParam, LPARAM lParam) {
    g_received.push_back({message, wParam, lParam});
    if (message == WM_INITDIALOG) return 1;
    unsigned id = loWord(wParam);
    if (message == WM_COMMAND && g_endOnButtons && (id == IDOK || id == IDCANCEL || id == 7))
        EndDialog(dialog, INT_PTR(loWord(wParam)) + 40);
    return 0;
}

// A combo box (10), an auto check box (11), a plain check box (12), OK as the default
// button, Cancel, a static text and a control of a class the model does not know.
void buildTestTemplate(DialogTemplateBuilder* b, bool withDefault = true) {
    b->beginTemplate(WS_POPUP, 0, 1, 2, 100, 50, "Test");
    b->addItem(WS_VISIBLE, "Label", 0, "static", 0, 0, 10, 10);
    b->addItem(WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST, nullptr, 10, intResource(ATOM_COMBOBOX), 0, 0, 10, 10);
    b->addItem(WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, "&Auto", 11, "BUTTON", 0, 0, 10, 10);
    b->addItem(WS_VISIBLE | WS_TABSTOP | 0x2, "&Manual", 12, "BUTTON", 0, 0, 10, 10);
    b->addItem(WS_VISIBLE | WS_TABSTOP | (withDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), "&Go", 7, "BUTTON", 0, 0, 10, 10);
    b->addItem(WS_VISIBLE | WS_TABSTOP, "&Stop", IDCANCEL, "BUTTON", 0, 0, 10, 10);
    b->addItem(WS_VISIBLE, "e", 13, "EDIT", 0, 0, 10, 10);
}

class DialogModel : public testing::Test {
protected:
    void SetUp() override {
        g_received.clear();
        g_endOnButtons = true;
        DialogTemplateBuilder b;
        buildTestTemplate(&b);
        dialog = Dialog::create(b.data(), b.size(), recordingProc, 77);
        ASSERT_NE(nullptr, dialog);
    }
    HWND item(int id) { return GetDlgItem(dialog->hwnd(), id); }
    std::unique_ptr<Dialog> dialog;
};

TEST_F(DialogModel, BuildsOneWindowPerTemplateItem) {
    struct Expected {
        int id;
        ControlKind kind;
        const char* text;
    } expected[] = {
        {0, ControlKind::Static, "Label"},     {10, ControlKind::ComboBox, ""},
        {11, ControlKind::CheckBox, "&Auto"},  {12, ControlKind::CheckBox, "&Manual"},
        {7, ControlKind::PushButton, "&Go"},   {IDCANCEL, ControlKind::PushButton, "&Stop"},
        {13, ControlKind::Other, "e"},
    };
    ASSERT_EQ(std::size(expected), dialog->controls().size());
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Window& w = *dialog->controls()[i];
        EXPECT_EQ(expected[i].id, w.id) << "control " << i;
        EXPECT_EQ(int(expected[i].kind), int(w.kind)) << "control " << i;
        EXPECT_EQ(expected[i].text, w.text) << "control " << i;
        EXPECT_EQ(dialog.get(), w.owner);
    }
    EXPECT_EQ("Test", dialog->hwnd()->text);
    EXPECT_EQ(nullptr, item(99));
    EXPECT_EQ(nullptr, GetDlgItem(item(10), 10)) << "controls have no children";
    EXPECT_EQ(nullptr, GetDlgItem(nullptr, 10));
}

TEST_F(DialogModel, InitialiseSendsTheFirstTabStopAndTheParameter) {
    EXPECT_EQ(1, dialog->initialise());
    ASSERT_EQ(1u, g_received.size());
    EXPECT_EQ(unsigned(WM_INITDIALOG), g_received[0].message);
    EXPECT_EQ(reinterpret_cast<WPARAM>(item(10)), g_received[0].wParam);
    EXPECT_EQ(77, g_received[0].lParam);
}

TEST_F(DialogModel, ComboBoxMessages) {
    HWND combo = item(10);
    struct Step {
        unsigned message;
        WPARAM wParam;
        const char* text;  // CB_ADDSTRING argument
        LRESULT expected;
        int selectionAfter;
    } steps[] = {
        {CB_GETCURSEL, 0, nullptr, CB_ERR, CB_ERR},
        {CB_GETCOUNT, 0, nullptr, 0, CB_ERR},
        {CB_SETCURSEL, 0, nullptr, CB_ERR, CB_ERR},  // empty list
        {CB_ADDSTRING, 0, "one", 0, CB_ERR},
        {CB_ADDSTRING, 0, "two", 1, CB_ERR},
        {CB_ADDSTRING, 0, "", 2, CB_ERR},
        {CB_SETCURSEL, 1, nullptr, 1, 1},
        {CB_GETCURSEL, 0, nullptr, 1, 1},
        {CB_SETCURSEL, 3, nullptr, CB_ERR, CB_ERR},  // past the end clears the selection
        {CB_SETCURSEL, 2, nullptr, 2, 2},
        {CB_SETCURSEL, WPARAM(-1), nullptr, CB_ERR, CB_ERR},
        {CB_GETCOUNT, 0, nullptr, 3, CB_ERR},
        {CB_GETLBTEXTLEN, 1, nullptr, 3, CB_ERR},
        {CB_GETLBTEXTLEN, 3, nullptr, CB_ERR, CB_ERR},
        {BM_GETCHECK, 0, nullptr, 0, CB_ERR},  // not a combo box message
    };
    for (const Step& s : steps) {
        LPARAM lParam = reinterpret_cast<LPARAM>(s.text);
        EXPECT_EQ(s.expected, SendMessage(combo, s.message, s.wParam, lParam))
            << "message 0x" << std::hex << s.message << " wParam " << std::dec << intptr_t(s.wParam);
        EXPECT_EQ(s.selectionAfter, combo->selection) << "after message 0x" << std::hex << s.message;
    }
    char text[16] = "unchanged";
    EXPECT_EQ(3, SendMessage(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)));
    EXPECT_STREQ("two", text);
    EXPECT_EQ(CB_ERR, SendMessage(combo, CB_GETLBTEXT, 5, reinterpret_cast<LPARAM>(text)));
    EXPECT_STREQ("two", text) << "a failed read leaves the buffer alone";
    EXPECT_EQ(0, SendMessage(nullptr, CB_GETCOUNT, 0, 0));
    EXPECT_TRUE(g_received.empty()) << "control messages do not reach the procedure";
}

TEST_F(DialogModel, CheckBoxMessages) {
    HWND box = item(11);
    struct Step {
        unsigned message;
        WPARAM wParam;
        LRESULT expected;
    } steps[] = {
        {BM_GETCHECK, 0, BST_UNCHECKED}, {BM_SETCHECK, BST_CHECKED, 0},
        {BM_GETCHECK, 0, BST_CHECKED},   {BM_SETCHECK, BST_UNCHECKED, 0},
        {BM_GETCHECK, 0, BST_UNCHECKED}, {CB_ADDSTRING, 0, 0},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(s.expected, SendMessage(box, s.message, s.wParam, 0))
            << "message 0x" << std::hex << s.message;
    }
    EXPECT_TRUE(box->entries.empty());
}

TEST_F(DialogModel, ViewerActionsSendCommandsWithTheirNotificationCodes) {
    SendMessage(item(10), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));
    SendMessage(item(10), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("b"));
    g_endOnButtons = false;
    struct Action {
        const char* name;
        void (*act)(Dialog&);
        unsigned id, notification;
    } actions[] = {
        {"choose entry 1", [](Dialog& d) { d.chooseEntry(10, 1); }, 10, CBN_SELENDOK},
        {"click auto box", [](Dialog& d) { d.clickButton(11); }, 11, BN_CLICKED},
        {"click manual box", [](Dialog& d) { d.clickButton(12); }, 12, BN_CLICKED},
        {"click go", [](Dialog& d) { d.clickButton(7); }, 7, BN_CLICKED},
        {"enter", [](Dialog& d) { d.pressEnter(); }, 7, BN_CLICKED},  // the default button
        {"escape", [](Dialog& d) { d.cancel(); }, IDCANCEL, BN_CLICKED},
    };
    for (const Action& a : actions) {
        g_received.clear();
        a.act(*dialog);
        ASSERT_EQ(1u, g_received.size()) << a.name;
        EXPECT_EQ(unsigned(WM_COMMAND), g_received[0].message) << a.name;
        EXPECT_EQ(a.id, loWord(g_received[0].wParam)) << a.name;
        EXPECT_EQ(a.notification, hiWord(g_received[0].wParam)) << a.name;
        EXPECT_EQ(reinterpret_cast<LPARAM>(item(int(a.id))), g_received[0].lParam) << a.name;
    }
    EXPECT_EQ(1, item(10)->selection);
    EXPECT_EQ(BST_CHECKED, item(11)->check) << "an auto check box toggles itself";
    EXPECT_EQ(BST_UNCHECKED, item(12)->check) << "a plain check box leaves it to the procedure";
    dialog->clickButton(11);
    EXPECT_EQ(BST_UNCHECKED, item(11)->check);

    g_received.clear();
    dialog->chooseEntry(10, 2);  // no such entry: nothing happens
    dialog->chooseEntry(11, 0);  // not a combo box
    EXPECT_TRUE(g_received.empty());
    EXPECT_FALSE(dialog->ended());
}

TEST_F(DialogModel, EnterWithoutADefaultButtonMeansOk) {
    DialogTemplateBuilder b;
    buildTestTemplate(&b, false);
    auto plain = Dialog::create(b.data(), b.size(), recordingProc, 0);
    ASSERT_NE(nullptr, plain);
    g_received.clear();
    plain->pressEnter();
    ASSERT_EQ(1u, g_received.size());
    EXPECT_EQ(unsigned(IDOK), loWord(g_received[0].wParam));
    EXPECT_TRUE(plain->ended());
    EXPECT_EQ(41, plain->result());
}

TEST_F(DialogModel, EndDialogKeepsTheFirstResult) {
    EXPECT_TRUE(EndDialog(dialog->hwnd(), 5));
    EXPECT_TRUE(EndDialog(dialog->hwnd(), 6));
    EXPECT_FALSE(EndDialog(item(10), 7)) << "only the dialog itself can be ended";
    EXPECT_FALSE(EndDialog(nullptr, 7));
    EXPECT_TRUE(dialog->ended());
    EXPECT_EQ(5, dialog->result());
}

TEST_F(DialogModel, DescribesTheControlsState) {
    SendMessage(item(10), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("a"));
    SendMessage(item(10), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("b"));
    SendMessage(item(10), CB_SETCURSEL, 1, 0);
    SendMessage(item(12), BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ("Label; (b of 2); [ ] &Auto; [x] &Manual; <&Go>; <&Stop>; ?e", dialog->describe());
}

TEST(DialogCreate, RefusesUnreadableTemplatesAndMissingProcedures) {
    DialogTemplateBuilder b;
    buildTestTemplate(&b);
    EXPECT_EQ(nullptr, Dialog::create(b.data(), 30, recordingProc, 0));
    EXPECT_EQ(nullptr, Dialog::create(b.data(), b.size(), nullptr, 0));
    EXPECT_EQ(nullptr, Dialog::create(nullptr, 0, recordingProc, 0));
}

INT_PTR neverEndingProc(HWND, unsigned, WPARAM, LPARAM) { return 0; }

TEST(DialogBoxScript, AnswersFromTheScriptedList) {
    platform::setUiBackend(platform::UiBackend::Script);
    DialogTemplateBuilder b;
    buildTestTemplate(&b);
    struct Case {
        const char* answers;
        DLGPROC proc;
        INT_PTR expected;
        unsigned lastCommand;
    } cases[] = {
        {"ok", recordingProc, 47, 7},         // Enter: the default button's id (7) + 40
        {"cancel", recordingProc, 42, IDCANCEL},
        {"", recordingProc, 47, 7},           // ok once the list is used up
        {"cancel", neverEndingProc, -1, 0},
    };
    for (const Case& c : cases) {
        setenv("FESTOONERY_ANSWERS", c.answers, 1);
        platform::resetScriptedAnswers();
        g_received.clear();
        g_endOnButtons = true;
        errno = 0;
        EXPECT_EQ(c.expected, DialogBoxIndirectParam(moduleInstance(), b.data(), b.size(), nullptr, c.proc, 3))
            << "answers '" << c.answers << "'";
        if (c.proc == recordingProc) {
            ASSERT_EQ(2u, g_received.size());
            EXPECT_EQ(unsigned(WM_INITDIALOG), g_received[0].message);
            EXPECT_EQ(c.lastCommand, loWord(g_received[1].wParam));
        } else {
            EXPECT_NE(0, errno) << "a failed dialog leaves a last error";
        }
    }
    errno = 0;
    EXPECT_EQ(-1, DialogBoxIndirectParam(moduleInstance(), b.data(), 10, nullptr, recordingProc, 0));
    EXPECT_NE(0, errno);
    unsetenv("FESTOONERY_ANSWERS");
    platform::resetScriptedAnswers();
}

}  // namespace
