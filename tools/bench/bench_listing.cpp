// Decodes one million UNIX and one million Windows listing lines and prints
// how many lines per second the decoder manages: the best of three rounds,
// counted in the CPU time of this thread, since the machine it runs on is
// shared (wall-clock time would count the other programs' turns).
#include "direntry.h"

#include <chrono>
#include <time.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

static double CpuSeconds()
{
    struct timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Seconds of CPU time (and, in *wall, of wall-clock time) for count lines.
static double Run(int hostType, const std::vector<std::string> &lines, long count, long *names,
                  double *wall)
{
    DirEntry e;
    auto start = std::chrono::steady_clock::now();
    double cpu = CpuSeconds();
    long total = 0;
    for (long i = 0; i < count; ++i)
        total += TESSEL_DecodeLine(&e, lines[size_t(i) % lines.size()].c_str(), hostType, "", "") > 0;
    cpu = CpuSeconds() - cpu;
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    *names = total;
    *wall = took.count();
    return cpu;
}

int main(int argc, char **argv)
{
    long count = argc > 1 ? atol(argv[1]) : 1000000;
    const std::vector<std::string> unixLines = {
        "drwxr-xr-x   5 joe      staff        512 Jan 12  2023 .",
        "-rw-r--r--   1 joe      staff       1834 Mar  3 09:15 README",
        "lrwxrwxrwx   1 joe      staff         11 Feb 28 17:02 latest -> releases/v2",
        "drwxr-sr-x   2 joe      staff        512 Apr  1 12:00 my documents/",
        "-rw-r-----   1 joe      staff   77123456 Dec 24 23:59 notes for 2023.txt",
        "-rw-r--r--   1 joe        1834 Mar  3 09:15 no group.txt",
        "drwxr-xr-x   2 ann  Domain Users  4096 Mar  2 15:13 reports",
        "-rw-r--r--   1 ftp      ftp      5368709120 2011-03-14 09:30 disk image.iso",
        "total 24",
    };
    const std::vector<std::string> ntLines = {
        "02-15-24  03:31PM       <DIR>          foo",
        "01-01-00  12:15AM                  123 a.txt",
        "11-30-98  09:05AM              5242880 Setup Files.zip",
        "12-24-01  12:00PM                    0 noon.txt",
        "2013-09-02  18:48       <DIR>          Reports",
        "2013-09-02  19:06                9,730 notes.txt",
    };
    struct {
        const char *label;
        int type;
        const std::vector<std::string> *lines;
    } runs[] = {{"UNIX", 6010, &unixLines}, {"Windows", 6016, &ntLines}};
    for (const auto &r : runs) {
        long names = 0;
        double seconds = 0, wall = 0;
        for (int round = 0; round < 3; ++round) {
            double w;
            double s = Run(r.type, *r.lines, count, &names, &w);
            if (round == 0 || s < seconds)
                seconds = s, wall = w;
        }
        printf("%-7s %ld lines in %.3f s of CPU (%.3f s wall): %.0f lines/s (%ld entries)\n", r.label,
               count, seconds, wall, seconds > 0 ? count / seconds : 0.0, names);
    }
    return 0;
}
