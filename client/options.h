// The Options sheet ("TESSEL Pro", eleven pages), the Session sheet shown
// by Connect, window locations, list fonts and the About box.
#ifndef TESSEL_CLIENT_OPTIONS_H
#define TESSEL_CLIENT_OPTIONS_H

#include "client.h"

#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

namespace t95 {

// One page of a sheet: its dialog, what it does on creation, on apply and
// on its own buttons.  Pages edit program state only through these.
struct PageDef {
    int dialog;
    void (*init)(HWND page);
    void (*apply)(HWND page);
    // A command of the page; 1 when it changed something worth applying.
    int (*command)(HWND page, int id, int code);
    int helpTopic;
    // A page with a procedure of its own (shared with a dialog).
    DLGPROC proc;
};
INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);
// Runs a sheet over the pages; the PropertySheet result.
INT_PTR RunSheet(HWND owner, const char *title, const PageDef *pages, int count, int startPage, DWORD flags,
                 PFNPROPSHEETCALLBACK callback = nullptr);

// Write rules: config writes _config_ as unsigned decimal; session writes
// the current session's section unless the value equals _config_'s.
void WriteConfigKey(const char *key, int value);
void WriteSessionKey(const char *key, int value);

// Page helpers.
void SetCheck(HWND page, int id, int on);
int GetCheck(HWND page, int id);
// Index of the checked radio button of first..first+count-1, or def.
int CheckedRadio(HWND page, int first, int count, int def);
// A number field: the value when it reads as a whole number >= 0 (no
// letters, no sign), else keep.
int NumberField(HWND page, int id, int keep);
// A signed number field (time offsets).
int SignedField(HWND page, int id, int keep);
std::string TextField(HWND page, int id, size_t max);
void BrowseFile(HWND owner, int editId, const char *filter);

// Clamps of the option fields.
int ClampBuffer(int v);   // RBP, SBP: 80..4096
int ClampRetries(int v);  // above 49 -> 40
int ClampTimeout(int v);  // 0 -> 65
int ClampPort(int v);     // up to 9 -> 21
int ClampFirePort(int v); // up to 27 -> 21

// Option pages outside options.cpp.
extern const PageDef g_soundsPage, g_convertPage, g_extensionsPage, g_assocPage;

// Main window: relayout by a one-pixel resize, list fonts, locations.
void RelayoutMain();
void ApplyListFont();
void SaveWindowLocations();
void ResetWindowLocations();
// The font dialog for the custom list font; 1 when a font was chosen.
int ChooseListFont(HWND owner);

// Extension and conversion lists (TESSEL.EXT, TESSEL.CNV).
std::vector<std::string> ReadListFile(const char *path, size_t maxLen, size_t minLen);
int WriteListFile(const char *path, const std::vector<std::string> &lines);

// Session sheet (tests may call it; Connect does).
int SessionSheet(HWND owner);

} // namespace t95

#endif
