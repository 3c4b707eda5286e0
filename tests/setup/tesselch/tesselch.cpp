// Test stand-in for the companion copy-hook library: Explorer's copy hook
// that forwards every copy callback to tesselcore's DllCopyCallback, with
// registration entry points as the library's own registration calls them.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

// {5A3C1E77-0B42-4D19-8E6A-3F20C7D41A10}
const CLSID kClsid = {0x5a3c1e77, 0x0b42, 0x4d19, {0x8e, 0x6a, 0x3f, 0x20, 0xc7, 0xd4, 0x1a, 0x10}};
const char kClsidText[] = "{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A10}";
const char kHookKey[] = "Directory\\shellex\\CopyHookHandlers\\Quillfold";

HMODULE g_self;
LONG g_objects;

typedef UINT(__stdcall *CopyCallbackFn)(HWND, UINT, UINT, LPCSTR, DWORD, LPCSTR, DWORD);

std::string Folder()
{
    char buf[MAX_PATH] = "";
    GetModuleFileNameA(g_self, buf, sizeof buf);
    std::string s = buf;
    return s.substr(0, s.find_last_of("\\/"));
}

class CopyHook : public ICopyHookA {
public:
    CopyHook() { InterlockedIncrement(&g_objects); }
    virtual ~CopyHook() { InterlockedDecrement(&g_objects); }
    STDMETHODIMP QueryInterface(REFIID riid, void **out) override
    {
        if (riid == IID_IUnknown || riid == IID_IShellCopyHookA) {
            *out = static_cast<ICopyHookA *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return (ULONG)InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0)
            delete this;
        return (ULONG)n;
    }
    STDMETHODIMP_(UINT) CopyCallback(HWND wnd, UINT op, UINT flags, LPCSTR src, DWORD srcAttr, LPCSTR dst,
                                     DWORD dstAttr) override
    {
        HMODULE core = LoadLibraryA((Folder() + "\\tesselcore.dll").c_str());
        CopyCallbackFn fn = core ? (CopyCallbackFn)(void *)GetProcAddress(core, "DllCopyCallback") : nullptr;
        UINT answer = fn ? fn(wnd, op, flags, src, srcAttr, dst, dstAttr) : IDYES;
        if (core)
            FreeLibrary(core);
        return answer;
    }

private:
    LONG refs_ = 1;
};

class Factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void **out) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **out) override
    {
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        CopyHook *hook = new CopyHook;
        HRESULT hr = hook->QueryInterface(riid, out);
        hook->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

void SetText(const std::string &path, const char *value, const std::string &text)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1);
        RegCloseKey(key);
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_self = inst;
    return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void **out)
{
    *out = nullptr;
    if (clsid != kClsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, out);
}

extern "C" HRESULT __stdcall DllCanUnloadNow(void) { return g_objects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT __stdcall DllRegisterServer(void)
{
    char file[MAX_PATH] = "";
    GetModuleFileNameA(g_self, file, sizeof file);
    std::string k = std::string("CLSID\\") + kClsidText;
    SetText(k, nullptr, "Quillfold copy hook");
    SetText(k + "\\InprocServer32", nullptr, file);
    SetText(k + "\\InprocServer32", "ThreadingModel", "Apartment");
    SetText(kHookKey, nullptr, kClsidText);
    return S_OK;
}

extern "C" HRESULT __stdcall DllUnregisterServer(void)
{
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kHookKey);
    std::string k = std::string("CLSID\\") + kClsidText;
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (k + "\\InprocServer32").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, k.c_str());
    return S_OK;
}
