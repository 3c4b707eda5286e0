// tesseldrv: a small command-line driver over tesselcore's exports, used by
// the demo and the benchmarks.
//   tesseldrv HOST PORT USER PASS [COMMAND ...]
// Connects, runs each COMMAND in turn and prints the session log that the
// engine wrote into its (hidden) log window.  COMMAND is one of
//   ls [ARG]             remote listing (ARG: one argument "ls ARG"); prints
//                        "ls ENTRIES MS PATH", then the entries unless quiet
//   get REMOTE LOCAL     download
//   put LOCAL REMOTE     upload
//   ascii | binary       transfer mode of the following get and put (binary)
//   active               data connections by PORT from here on
//   quiet                from here on print no entries, and no session log
//   "WORD [ARG]"         any other control command ("PWD", "CWD dir", ...)
// Transfers print one line "get|put CODE BYTES MS" on stdout.
#include "tessel_engine.h"
#include "tessel_transfer.h"
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

static const char *KindName(int kind)
{
    return kind == LISTING_DIR ? "dir " : kind == LISTING_LINK ? "link" : "file";
}

static double Ms(const LARGE_INTEGER &from, const LARGE_INTEGER &to)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return (double)(to.QuadPart - from.QuadPart) * 1000.0 / (double)f.QuadPart;
}

static int List(CINFO *ci, const char *arg, int quiet)
{
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    DirectoryListing *dir = TESSEL_GetDirectory(ci, arg);
    QueryPerformanceCounter(&t1);
    if (!dir) {
        printf("ls: %s\n", TESSEL_ReturnLastErrorString(ci));
        return 1;
    }
    int n = 0;
    for (ListingEntry *e = dir->firstEntry; e; e = e->next)
        ++n;
    printf("ls %d %.1f %s\n", n, Ms(t0, t1), dir->path);
    for (ListingEntry *e = dir->firstEntry; e && !quiet; e = e->next)
        printf("%s %10lu %04lu-%02lu-%02lu %02lu:%02lu %s\n", KindName(e->kind), (unsigned long)e->size,
               (unsigned long)e->year, (unsigned long)e->month, (unsigned long)e->day, (unsigned long)e->hour,
               (unsigned long)e->minute, e->name);
    if (!quiet)
        printf("== %d files, %d directories, %d links\n", (int)dir->fileCount, (int)dir->dirCount,
               (int)dir->linkCount);
    TESSEL_FreeDirectory(dir);
    return 0;
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
    int quiet = 0;
    if (status == 0) {
        int binary = 1;
        for (int i = 5; i < argc; ++i) {
            const char *c = argv[i];
            if (!strcmp(c, "ls") || !strncmp(c, "ls ", 3)) {
                status |= List(ci, c[2] ? c + 3 : nullptr, quiet);
            } else if ((!strcmp(c, "get") || !strcmp(c, "put")) && i + 2 < argc) {
                const int get = c[0] == 'g';
                const char *from = argv[++i], *to = argv[++i];
                LARGE_INTEGER t0, t1;
                QueryPerformanceCounter(&t0);
                int r = get ? TESSEL_RecvFile(ci, from, to, binary) : TESSEL_SendFile(ci, from, to, binary);
                QueryPerformanceCounter(&t1);
                printf("%s %d %lu %.1f %s\n", c, r, (unsigned long)(uint32_t)ci->byteCount, Ms(t0, t1),
                       TESSEL_ReturnLastErrorString(ci));
                if (r / 100 != 2)
                    status = 1;
            } else if (!strcmp(c, "ascii") || !strcmp(c, "binary")) {
                binary = c[0] == 'b';
            } else if (!strcmp(c, "active")) {
                ci->usePassive = 0;
            } else if (!strcmp(c, "quiet")) {
                quiet = 1;
            } else {
                char word[64];
                const char *sp = strchr(c, ' ');
                size_t wl = sp ? (size_t)(sp - c) : strlen(c);
                if (wl >= sizeof word)
                    wl = sizeof word - 1;
                memcpy(word, c, wl);
                word[wl] = 0;
                int r = TESSEL_DoCmd(ci, word, sp ? sp + 1 : nullptr);
                if (r / 100 > 3)
                    status = 1;
            }
        }
        TESSEL_DoCmd(ci, "QUIT", nullptr);
        TESSEL_CloseConnect(ci, 0);
    } else {
        printf("connect: %d %s\n", rc, TESSEL_ReturnLastErrorString(ci));
    }
    TESSEL_FreeCINFO(ci);
    if (!quiet)
        PrintLog(edit);
    DestroyWindow(edit);
    return status;
}
