// tessel95.exe itself: its import and export tables, and the unattended
// command line against the real vsftpd (byte-identical files, exit codes,
// no message box with -quiet, the stay-connected case).
#include "clienttest.h"
#include "fakeftp.h"

#include <algorithm>
#include <stdlib.h>
#include <string>
#include <vector>

using namespace t95;

namespace {

std::string BuildDir()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    return std::string(exe, strrchr(exe, '\\') - exe);
}

std::string ReadAll(const std::string &path)
{
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

void WriteAll(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string RandomBytes(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    srand(seed);
    for (auto &c : s)
        c = (char)(rand() & 0xFF);
    return s;
}

// Runs tessel95.exe in dir; returns its exit code, or -1 when it was still
// running after ms (it is then closed through its window, else killed).
int RunClient(const std::string &args, const std::string &dir, DWORD ms, DWORD *pid = nullptr,
              HANDLE *keep = nullptr)
{
    std::string cmd = "\"" + BuildDir() + "\\tessel95.exe\" " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
        return -2;
    CloseHandle(pi.hThread);
    if (pid)
        *pid = pi.dwProcessId;
    if (keep) {
        *keep = pi.hProcess;
        return 0;
    }
    DWORD w = WaitForSingleObject(pi.hProcess, ms);
    int code = -1;
    if (w == WAIT_OBJECT_0) {
        DWORD c;
        GetExitCodeProcess(pi.hProcess, &c);
        code = (int)c;
    } else {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    return code;
}

struct Bed {
    ct::TempDir dir;
    std::string home;
    explicit Bed(const std::string &extra = "")
    {
        home = fake::VsftpdRoot() + "\\home";
        WriteAll(dir.File("TESSEL.INI"), "[_config_]\r\nBELL=0\r\nAUTOSTART=0\r\n" + extra + "[vs]\r\nHOST=127.0.0.1\r\nPORT=" +
                                             std::to_string(fake::VsftpdPort()) + "\r\nUID=tessel\r\n");
    }
    std::string Log() const { return ReadAll(dir.File("xferlog.txt")); }
};

// --------------------------------------------------------------------- PE tables

// Reads PE32 (i686) and PE32+ (x86_64) images alike: only the optional
// header's data directories and the thunk width differ.
struct Pe {
    std::string data;
    const IMAGE_NT_HEADERS *nt = nullptr;
    bool pe32plus = false;
    explicit Pe(const std::string &path) : data(ReadAll(path))
    {
        const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)data.data();
        if (data.size() > sizeof *dos && dos->e_magic == IMAGE_DOS_SIGNATURE)
            nt = (const IMAGE_NT_HEADERS *)(data.data() + dos->e_lfanew);
        if (nt)
            pe32plus = nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    }
    const IMAGE_DATA_DIRECTORY &Dir(int i) const
    {
        return pe32plus ? ((const IMAGE_NT_HEADERS64 *)nt)->OptionalHeader.DataDirectory[i]
                        : ((const IMAGE_NT_HEADERS32 *)nt)->OptionalHeader.DataDirectory[i];
    }
    const char *At(DWORD rva) const
    {
        const IMAGE_SECTION_HEADER *s = IMAGE_FIRST_SECTION(nt);
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++s)
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + s->Misc.VirtualSize)
                return data.data() + s->PointerToRawData + (rva - s->VirtualAddress);
        return nullptr;
    }
    // The import thunks at RVA: {by ordinal, ordinal or name RVA}.
    std::vector<std::pair<bool, ULONGLONG>> Thunks(DWORD rva) const
    {
        std::vector<std::pair<bool, ULONGLONG>> out;
        const char *p = At(rva);
        for (;; p += pe32plus ? 8 : 4) {
            ULONGLONG v = pe32plus ? *(const ULONGLONG *)p : *(const DWORD *)p;
            if (!v)
                break;
            bool ord = pe32plus ? (v & IMAGE_ORDINAL_FLAG64) != 0 : (v & IMAGE_ORDINAL_FLAG32) != 0;
            out.push_back({ord, v & (ord ? 0xFFFF : 0x7FFFFFFF)});
        }
        return out;
    }
};

} // namespace

TEST(ClientBinary, ImportsTheFiveFunctionsByOrdinalAndExportsItsOwn)
{
    Pe pe(BuildDir() + "\\tessel95.exe");
    ASSERT_TRUE(pe.nt);
    EXPECT_EQ(pe.pe32plus, sizeof(void *) == 8) << "the client is built for the test's architecture";
    const IMAGE_DATA_DIRECTORY &imp = pe.Dir(IMAGE_DIRECTORY_ENTRY_IMPORT);
    const IMAGE_IMPORT_DESCRIPTOR *d = (const IMAGE_IMPORT_DESCRIPTOR *)pe.At(imp.VirtualAddress);
    ASSERT_TRUE(d);
    std::vector<int> ordinals;
    std::vector<std::string> dlls;
    for (; d->Name; ++d) {
        std::string dll = pe.At(d->Name);
        for (auto &c : dll)
            c = (char)tolower((unsigned char)c);
        dlls.push_back(dll);
        if (dll != "tesselcore.dll")
            continue;
        for (const auto &t : pe.Thunks(d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk)) {
            EXPECT_TRUE(t.first) << "imported by name";
            ordinals.push_back((int)t.second);
        }
    }
    std::sort(ordinals.begin(), ordinals.end());
    EXPECT_EQ(ordinals, (std::vector<int>{910, 920, 930, 940, 950}));
    // Nothing but system DLLs besides the library.
    for (const auto &dll : dlls)
        EXPECT_TRUE(dll.find("libgcc") == std::string::npos && dll.find("libstdc") == std::string::npos &&
                    dll.find("winpthread") == std::string::npos)
            << dll;

    const IMAGE_DATA_DIRECTORY &exp = pe.Dir(IMAGE_DIRECTORY_ENTRY_EXPORT);
    const IMAGE_EXPORT_DIRECTORY *e = (const IMAGE_EXPORT_DIRECTORY *)pe.At(exp.VirtualAddress);
    ASSERT_TRUE(e);
    std::vector<std::string> names;
    const DWORD *nameRvas = (const DWORD *)pe.At(e->AddressOfNames);
    for (DWORD i = 0; i < e->NumberOfNames; ++i)
        names.push_back(pe.At(nameRvas[i]));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"PreInitCINFO", "WndProc"}));
}

TEST(ClientUnattended, DownloadsAndUploadsSingleFilesByteIdentical)
{
    REQUIRE_VSFTPD();
    Bed bed;
    std::string data = RandomBytes(300000, 7);
    WriteAll(bed.home + "\\t95single.bin", data);
    EXPECT_EQ(RunClient("-quiet -w tessel vs:/t95single.bin", bed.dir.path, 60000), 0) << bed.Log();
    EXPECT_TRUE(ReadAll(bed.dir.File("t95single.bin")) == data);
    EXPECT_NE(bed.Log().find("Successful transfer"), std::string::npos);

    // ftp://host/dir/file names the same file; a local destination with a
    // drive needs "local:"; backslashes are fine.
    std::string dst = "local:" + bed.dir.File("copy.bin");
    EXPECT_EQ(RunClient("-quiet -w tessel ftp://vs/t95single.bin " + dst, bed.dir.path, 60000), 0) << bed.Log();
    EXPECT_TRUE(ReadAll(bed.dir.File("copy.bin")) == data);

    std::string up = RandomBytes(200001, 9);
    WriteAll(bed.dir.File("up.bin"), up);
    DeleteFileA((bed.home + "\\t95uploaded.bin").c_str());
    EXPECT_EQ(RunClient("-quiet -u tessel -w tessel local:" + bed.dir.File("up.bin") + " vs:/t95uploaded.bin",
                        bed.dir.path, 60000),
              0)
        << bed.Log();
    EXPECT_TRUE(ReadAll(bed.home + "\\t95uploaded.bin") == up);
    // The password never reaches the log.
    EXPECT_EQ(bed.Log().find("PASS tessel"), std::string::npos);
}

TEST(ClientUnattended, WildcardSetsBothWays)
{
    REQUIRE_VSFTPD();
    Bed bed;
    CreateDirectoryA((bed.home + "\\t95wild").c_str(), nullptr);
    std::string a1 = RandomBytes(5000, 1), a2 = RandomBytes(70000, 2);
    WriteAll(bed.home + "\\t95wild\\a1.dat", a1);
    WriteAll(bed.home + "\\t95wild\\a2.dat", a2);
    WriteAll(bed.home + "\\t95wild\\b.dat", "not me");
    EXPECT_EQ(RunClient("-quiet -w tessel vs:/t95wild/a*.dat", bed.dir.path, 60000), 0) << bed.Log();
    EXPECT_TRUE(ReadAll(bed.dir.File("a1.dat")) == a1);
    EXPECT_TRUE(ReadAll(bed.dir.File("a2.dat")) == a2);
    EXPECT_EQ(ReadAll(bed.dir.File("b.dat")), "<missing>");

    // Uploads go to the user's own (writable) folder.
    CreateDirectoryA(bed.dir.File("src").c_str(), nullptr);
    std::string x1 = RandomBytes(1234, 3), x2 = RandomBytes(65537, 4);
    for (const char *n : {"wup1.txt", "wup2.txt", "wuq.txt"})
        DeleteFileA((bed.home + "\\" + n).c_str());
    WriteAll(bed.dir.File("src\\wup1.txt"), x1);
    WriteAll(bed.dir.File("src\\wup2.txt"), x2);
    WriteAll(bed.dir.File("src\\wuq.txt"), "not me");
    CreateDirectoryA(bed.dir.File("src\\wupdir.txt").c_str(), nullptr);
    EXPECT_EQ(RunClient("-quiet -w tessel \"local:" + bed.dir.File("src\\wup*.txt") + "\" vs:/", bed.dir.path, 60000),
              0)
        << bed.Log();
    EXPECT_TRUE(ReadAll(bed.home + "\\wup1.txt") == x1);
    EXPECT_TRUE(ReadAll(bed.home + "\\wup2.txt") == x2);
    EXPECT_EQ(ReadAll(bed.home + "\\wuq.txt"), "<missing>");
}

TEST(ClientUnattended, FailuresExitWithCodeOneAndNoMessageBox)
{
    REQUIRE_VSFTPD();
    // A message box would keep the process alive: the time-out catches it.
    Bed bed("SESSION=vs\r\n");
    EXPECT_EQ(RunClient("-quiet -w tessel vs:/no/such/file.bin", bed.dir.path, 30000), 1) << bed.Log();
    EXPECT_NE(bed.Log().find("! Transfer failed for /no/such/file.bin from 127.0.0.1"), std::string::npos)
        << bed.Log();
    EXPECT_EQ(RunClient("-quiet local:a.txt local:b.txt", bed.dir.path, 30000), 1);
    EXPECT_NE(bed.Log().find("! Unknown batch command!"), std::string::npos);
    // Wrong password: login fails on every attempt; RETRIES bounds them.
    WritePrivateProfileStringA("vs", "RETRIES", "2", bed.dir.File("TESSEL.INI").c_str());
    EXPECT_EQ(RunClient("-quiet -w wrong vs:/x.bin", bed.dir.path, 60000), 1);
    EXPECT_NE(bed.Log().find("! Connect failed to 127.0.0.1"), std::string::npos);
}

TEST(ClientUnattended, RemotePathEndingInSlashStaysConnected)
{
    REQUIRE_VSFTPD();
    Bed bed;
    CreateDirectoryA((bed.home + "\\t95stay").c_str(), nullptr);
    WriteAll(bed.home + "\\t95stay\\inside.txt", "x");
    // Another instance's view copy in the temporary folder must survive.
    char tmp[MAX_PATH], foreign[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    GetTempFileNameA(tmp, "DSP", 0, foreign);
    HANDLE proc = nullptr;
    DWORD pid = 0;
    RunClient("-w tessel vs:/t95stay/", bed.dir.path, 0, &pid, &proc);
    ASSERT_TRUE(proc);
    // Still running once the listing is there.
    std::string log;
    for (int i = 0; i < 200 && log.find("226 ") == std::string::npos; ++i) {
        Sleep(100);
        log = bed.Log();
    }
    EXPECT_NE(log.find("250 "), std::string::npos) << log;
    EXPECT_EQ(WaitForSingleObject(proc, 1000), (DWORD)WAIT_TIMEOUT) << "left open for interactive use";
    // Close it through its window, as a user would.
    HWND wnd = nullptr;
    while ((wnd = FindWindowExA(nullptr, wnd, T95_APPNAME, nullptr))) {
        DWORD owner;
        GetWindowThreadProcessId(wnd, &owner);
        if (owner == pid)
            break;
    }
    ASSERT_TRUE(wnd);
    char title[300];
    GetWindowTextA(wnd, title, sizeof title);
    EXPECT_STREQ(title, T95_APPNAME " 127.0.0.1");
    PostMessageA(wnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(proc, 20000), (DWORD)WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(proc, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(proc);
    EXPECT_NE(bed.Log().find("QUIT"), std::string::npos);
    EXPECT_NE(GetFileAttributesA(foreign), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(foreign);
}

TEST(ClientUnattended, BatchFileRunsEachLine)
{
    REQUIRE_VSFTPD();
    Bed bed;
    std::string one = RandomBytes(1000, 11), two = RandomBytes(2000, 12);
    WriteAll(bed.home + "\\t95one.bin", one);
    WriteAll(bed.home + "\\t95two.bin", two);
    WriteAll(bed.dir.File("batch.txt"), "-w tessel vs:/t95one.bin\r\n-w tessel -d local:" + bed.dir.File("2.bin") +
                                            " -s vs:/t95two.bin\r\n");
    EXPECT_EQ(RunClient("-quiet -m batch.txt", bed.dir.path, 60000), 0) << bed.Log();
    EXPECT_TRUE(ReadAll(bed.dir.File("t95one.bin")) == one);
    EXPECT_TRUE(ReadAll(bed.dir.File("2.bin")) == two);
}
