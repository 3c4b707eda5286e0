// A stand-in viewer, associated program and editor for the client tests.
// It appends its own command line to the file named by T95_RECORD; with
// T95_EDIT_SECONDS it waits that long and then appends a line to the file
// its last argument names (or deletes it with T95_EDIT_DELETE=1).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    const char *record = getenv("T95_RECORD");
    if (record && *record) {
        FILE *f = fopen(record, "ab");
        if (f) {
            fprintf(f, "%s\n", GetCommandLineA());
            fclose(f);
        }
    }
    const char *seconds = getenv("T95_EDIT_SECONDS");
    if (seconds && *seconds && argc > 1) {
        Sleep((DWORD)atoi(seconds) * 1000);
        const char *del = getenv("T95_EDIT_DELETE");
        if (del && !strcmp(del, "1")) {
            DeleteFileA(argv[argc - 1]);
        } else {
            FILE *f = fopen(argv[argc - 1], "ab");
            if (f) {
                fputs("edited by the recorder\n", f);
                fclose(f);
            }
        }
    }
    return 0;
}
