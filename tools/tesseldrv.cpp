// tesseldrv: a small command-line driver over tesselcore's exports, used by
// the demo and the benchmarks.
//   tesseldrv HOST PORT USER PASS [COMMAND ...]
// Connects, runs each COMMAND ("PWD", "CWD dir", ...) and prints the session
// log that the engine wrote into its (hidden) log window.
#include "tessel_engine.h"
#include "hosttypes.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void PrintLog(HWND edit)
{
    int len = GetWindowTextLengthA(edit);
    char *text = (char *)malloc((size_t)len + 1);
    GetWindowTextA(edit, text, len + 1);
    fputs(text, stdout);
    free(text);
}

int main(int argc, char **argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: tesseldrv HOST PORT USER PASS [COMMAND ...]\n");
        return 2;
    }
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_POPUP | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 600,
                                400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    CINFO *ci = TESSEL_InitCINFO(nullptr, edit, 0, CINFO_OWN_WINSOCK | CINFO_BLOCKING_HOOK);
    if (!ci)
        return 3;
    int rc = TESSEL_Connect(ci, argv[1], atoi(argv[2]), argv[3], argv[4]);
    int status = rc / 100 == 2 ? 0 : 1;
    if (status == 0) {
        for (int i = 5; i < argc; ++i) {
            char word[64];
            const char *sp = strchr(argv[i], ' ');
            size_t wl = sp ? (size_t)(sp - argv[i]) : strlen(argv[i]);
            if (wl >= sizeof word)
                wl = sizeof word - 1;
            memcpy(word, argv[i], wl);
            word[wl] = 0;
            int r = TESSEL_DoCmd(ci, word, sp ? sp + 1 : nullptr);
            if (r / 100 > 3)
                status = 1;
        }
        TESSEL_DoCmd(ci, "QUIT", nullptr);
        TESSEL_CloseConnect(ci, 0);
    } else {
        printf("connect: %d %s\n", rc, TESSEL_ReturnLastErrorString(ci));
    }
    TESSEL_FreeCINFO(ci);
    PrintLog(edit);
    DestroyWindow(edit);
    return status;
}
