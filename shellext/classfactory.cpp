// The class factory and the COM entry points that hand it out and decide
// whether the library may be unloaded.
#include "classfactory.h"
#include "guids.h"
#include "module.h"
#include "modulestate.h"
#include "rootfolder.h"
#include "sharedarea.h"
#include "sitesint.h"

#include <new>

ShellClassFactory::ShellClassFactory(REFCLSID clsid) : clsid_(clsid) { LiveObjectAdd(); }
ShellClassFactory::~ShellClassFactory() { LiveObjectRemove(); }

STDMETHODIMP ShellClassFactory::QueryInterface(REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ShellClassFactory::AddRef() { return (ULONG)InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) ShellClassFactory::Release()
{
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
        delete this;
    return (ULONG)n;
}

STDMETHODIMP ShellClassFactory::CreateInstance(IUnknown *outer, REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    FTPINFO settings;
    memset(&settings, 0, sizeof settings);
    settings.size = sizeof settings;
    TESSEL_GetFTPInfo(&settings, TRUE);
    TesselSharedArea *area = SharedArea();
    if (area && !(area->flags & SHARED_EMAIL_DEFAULTED) && !settings.email[0]) {
        strcpy(settings.email, TESSEL_PLACEHOLDER_EMAIL);
        InterlockedOr(&area->flags, SHARED_EMAIL_DEFAULTED);
        TESSEL_SetFTPInfo(&settings);
    }
    if (!IsEqualCLSID(clsid_, CLSID_TesselRoot))
        return E_INVALIDARG;
    ShellFolder *folder = new (std::nothrow) ShellFolder();
    if (!folder)
        return E_OUTOFMEMORY;
    HRESULT hr = folder->QueryInterface(riid, out);
    folder->Release();
    return hr;
}

STDMETHODIMP ShellClassFactory::LockServer(BOOL lock)
{
    if (lock)
        ServerLockAdd();
    else
        ServerLockRemove();
    return S_OK;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID rclsid, REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_TesselRoot) && !IsEqualCLSID(rclsid, CLSID_TesselSecondary))
        return CLASS_E_CLASSNOTAVAILABLE;
    // The shell's first use: the process that owns the shared area now
    // starts the thread that receives the copy hook's drops.
    Module().EnsureNotifyThread();
    ShellClassFactory *f = new (std::nothrow) ShellClassFactory(rclsid);
    if (!f)
        return E_OUTOFMEMORY;
    HRESULT hr = f->QueryInterface(riid, out);
    f->Release();
    return hr;
}

extern "C" HRESULT __stdcall DllCanUnloadNow(void)
{
    // The process that made the shared area runs the notification thread
    // the other processes post their drops to: it stays while they do.
    TesselSharedArea *area = SharedAreaCreatedHere() ? SharedArea() : nullptr;
    if (area && area->attachCount > 1)
        return S_FALSE;
    return LiveObjectCount() == 0 && ServerLockCount() == 0 ? S_OK : S_FALSE;
}
