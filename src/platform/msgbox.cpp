#include "platform/msgbox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gtk/gtk_ui.h"

namespace platform {

namespace {

bool g_backendChosen = false;
UiBackend g_backend = UiBackend::Script;
size_t g_answerIndex = 0;

void chooseBackend() {
    if (g_backendChosen) return;
    g_backendChosen = true;
    const char* choice = getenv("FESTOONERY_UI");
    std::string mode = choice && *choice ? choice : "auto";
    if (mode == "script") {
        g_backend = UiBackend::Script;
    } else if (mode == "gtk") {
        g_backend = UiBackend::Gtk;
        if (!gtk::open()) {
            fprintf(stderr, "festoonery: FESTOONERY_UI=gtk but no display can be opened; "
                            "answering boxes from FESTOONERY_ANSWERS\n");
            g_backend = UiBackend::Script;
        }
    } else {
        if (mode != "auto") {
            fprintf(stderr, "festoonery: unknown FESTOONERY_UI value '%s', using auto\n", mode.c_str());
        }
        if (gtk::open()) {
            g_backend = UiBackend::Gtk;
        } else {
            g_backend = UiBackend::Script;
            fprintf(stderr, "festoonery: no display for dialogs, answering boxes from "
                            "FESTOONERY_ANSWERS\n");
        }
    }
}

const char* answerName(int answer) { return answer == IDOK ? "ok" : "cancel"; }

}  // namespace

UiBackend uiBackend() {
    chooseBackend();
    return g_backend;
}

void setUiBackend(UiBackend backend) {
    g_backendChosen = true;
    g_backend = backend;
    if (backend == UiBackend::Gtk && !gtk::open()) g_backend = UiBackend::Script;
}

void resetScriptedAnswers() { g_answerIndex = 0; }

int nextScriptedAnswer() {
    const char* list = getenv("FESTOONERY_ANSWERS");
    if (!list) return IDOK;
    // Walk to the entry at g_answerIndex.
    const char* p = list;
    for (size_t i = 0; i < g_answerIndex && p; ++i) {
        p = strchr(p, ',');
        if (p) ++p;
    }
    if (!p || !*p) return IDOK;
    ++g_answerIndex;
    const char* end = strchr(p, ',');
    std::string word(p, end ? size_t(end - p) : strlen(p));
    // Trim blanks around the word.
    while (!word.empty() && (word.back() == ' ' || word.back() == '\t')) word.pop_back();
    size_t start = word.find_first_not_of(" \t");
    word = start == std::string::npos ? "" : word.substr(start);
    if (word == "cancel") return IDCANCEL;
    if (word != "ok") {
        fprintf(stderr, "festoonery: FESTOONERY_ANSWERS entry '%s' is neither ok nor cancel; "
                        "taking ok\n", word.c_str());
    }
    return IDOK;
}

void writeBoxRecord(const char* caption, const char* text) {
    std::string record = "[box] ";
    record += caption ? caption : "";
    record += " | ";
    for (const char* c = text ? text : ""; *c; ++c) {
        if (*c == '\n') record += "\\n";
        else if (*c == '\r') record += "\\r";
        else record += *c;
    }
    record += '\n';
    fputs(record.c_str(), stderr);
    fflush(stderr);
}

int messageBox(const char* text, const char* caption, unsigned type) {
    // Console output is fully buffered when redirected; flush it so the log reads in order.
    fflush(stdout);
    writeBoxRecord(caption, text);
    int answer;
    if (uiBackend() == UiBackend::Gtk) {
        answer = gtk::messageBox(text ? text : "", caption ? caption : "", type);
    } else {
        answer = nextScriptedAnswer();
    }
    fprintf(stderr, "[box] answered %s\n", answerName(answer));
    return answer;
}

}  // namespace platform
