// Answers the client's modal dialogs from a helper thread: each step waits
// (under a deadline) for a dialog with its caption, optionally checks the
// input prompt, fills the input field or runs its own action, and presses a
// button.  What was seen is kept for the test to check.
#ifndef TESSEL_TEST_DLGBOT_H
#define TESSEL_TEST_DLGBOT_H

#include "client.h"
#include "resource.h"

#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ct {

struct DialogStep {
    std::string caption;
    std::string text;  // typed into the input field when the field is there
    int button;        // pressed last
    std::function<void(HWND)> action = nullptr;
};

class DialogBot {
public:
    explicit DialogBot(std::vector<DialogStep> steps, DWORD deadlineMs = 20000)
        : steps_(std::move(steps)), deadline_(deadlineMs)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~DialogBot() { Finish(); }
    // Waits for the helper to end; the prompts (or captions) it answered.
    const std::vector<std::string> &Finish()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return seen_;
    }
    size_t Answered() const { return answered_; }

    // A dialog of this process with that caption, 0 when none is shown.
    static HWND Find(const std::string &caption)
    {
        HWND w = nullptr;
        while ((w = FindWindowExA(nullptr, w, "#32770", caption.empty() ? nullptr : caption.c_str())) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(w))
                return w;
        }
        return nullptr;
    }

private:
    void Run()
    {
        for (const DialogStep &s : steps_) {
            DWORD start = GetTickCount();
            HWND dlg = nullptr;
            // The steps run in order; the bot gives up at the deadline but
            // goes on while the test still wants answers.
            while (!(dlg = Find(s.caption)) && GetTickCount() - start < deadline_)
                Sleep(20);
            if (!dlg) {
                seen_.push_back("missing " + s.caption);
                break;
            }
            char prompt[600] = "";
            GetDlgItemTextA(dlg, IDC_INPUT_PROMPT, prompt, sizeof prompt);
            seen_.push_back(prompt[0] ? prompt : s.caption);
            HWND edit = GetDlgItem(dlg, IDC_INPUT_EDIT), combo = GetDlgItem(dlg, IDC_INPUT_COMBO);
            HWND field = edit && IsWindowVisible(edit) ? edit : combo && IsWindowVisible(combo) ? combo : nullptr;
            if (field && s.button == IDOK)
                SendMessageA(field, WM_SETTEXT, 0, (LPARAM)s.text.c_str());
            if (s.action)
                s.action(dlg);
            PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(s.button, BN_CLICKED), 0);
            ++answered_;
            start = GetTickCount();
            while (IsWindow(dlg) && GetTickCount() - start < deadline_)
                Sleep(20);
        }
        // A dialog shown again after the last step is unexpected: noted
        // and cancelled so the test does not hang.
        while (!stop_) {
            for (HWND dlg = nullptr; (dlg = Find("")) != nullptr;) {
                char caption[200] = "";
                GetWindowTextA(dlg, caption, sizeof caption);
                seen_.push_back(std::string("unexpected ") + caption);
                PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                DWORD start = GetTickCount();
                while (IsWindow(dlg) && GetTickCount() - start < deadline_)
                    Sleep(20);
            }
            Sleep(20);
        }
    }
    std::vector<DialogStep> steps_;
    DWORD deadline_;
    std::thread thread_;
    std::vector<std::string> seen_;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> answered_{0};
};


// Drives a property sheet from a helper thread: waits for a sheet of this
// process, runs each action on its page (the sheet switched to it first),
// then presses OK or Cancel.  Controls are set with messages, as a user's
// clicks would leave them.
struct SheetAction {
    int page;
    std::function<void(HWND page, HWND sheet)> act;
};

class SheetBot {
public:
    SheetBot(std::vector<SheetAction> actions, int finalButton, DWORD deadlineMs = 20000)
        : actions_(std::move(actions)), button_(finalButton), deadline_(deadlineMs)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~SheetBot() { Finish(); }
    bool Finish()
    {
        if (thread_.joinable())
            thread_.join();
        return done_;
    }
    HWND sheetSeen = nullptr;

    static HWND FindSheet()
    {
        HWND w = nullptr;
        while ((w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(w) &&
                FindWindowExA(w, nullptr, "SysTabControl32", nullptr))
                return w;
        }
        return nullptr;
    }
    static void Check(HWND page, int id, bool on)
    {
        SendDlgItemMessageA(page, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    // Checks one radio button of first..first+count-1.
    static void Radio(HWND page, int first, int count, int index)
    {
        for (int i = 0; i < count; ++i)
            Check(page, first + i, i == index);
    }
    static void Text(HWND page, int id, const std::string &text)
    {
        SendDlgItemMessageA(page, id, WM_SETTEXT, 0, (LPARAM)text.c_str());
    }
    static void Click(HWND page, int id) { SendDlgItemMessageA(page, id, BM_CLICK, 0, 0); }

private:
    void Run()
    {
        DWORD start = GetTickCount();
        HWND sheet = nullptr;
        while (!(sheet = FindSheet()) && GetTickCount() - start < deadline_)
            Sleep(20);
        if (!sheet)
            return;
        sheetSeen = sheet;
        for (const SheetAction &a : actions_) {
            SendMessageA(sheet, PSM_SETCURSEL, (WPARAM)a.page, 0);
            HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
            if (page && a.act)
                a.act(page, sheet);
        }
        SendMessageA(sheet, PSM_PRESSBUTTON, (WPARAM)button_, 0);
        start = GetTickCount();
        while (IsWindow(sheet) && IsWindowVisible(sheet) && GetTickCount() - start < deadline_)
            Sleep(20);
        done_ = !IsWindow(sheet) || !IsWindowVisible(sheet);
    }
    std::vector<SheetAction> actions_;
    int button_;
    DWORD deadline_;
    std::thread thread_;
    std::atomic<bool> done_{false};
};

} // namespace ct

#endif
