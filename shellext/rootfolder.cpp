// The namespace root as far as it goes yet: it answers its class and
// enumerates nothing; the other folder operations come with the folders.
#include "rootfolder.h"
#include "guids.h"
#include "module.h"

ShellFolder::ShellFolder()
{
    LiveObjectAdd();
    FolderCountAdd();
}

ShellFolder::~ShellFolder()
{
    FolderCountRemove();
    LiveObjectRemove();
}

STDMETHODIMP ShellFolder::QueryInterface(REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellFolder))
        *out = static_cast<IShellFolder *>(this);
    else if (IsEqualIID(riid, IID_IPersistFolder) || IsEqualIID(riid, IID_IPersist))
        *out = static_cast<IPersistFolder *>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ShellFolder::AddRef() { return (ULONG)InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) ShellFolder::Release()
{
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
        delete this;
    return (ULONG)n;
}

STDMETHODIMP ShellFolder::GetClassID(CLSID *out)
{
    if (!out)
        return E_POINTER;
    *out = CLSID_TesselRoot;
    return S_OK;
}

STDMETHODIMP ShellFolder::Initialize(LPCITEMIDLIST) { return S_OK; }

STDMETHODIMP ShellFolder::ParseDisplayName(HWND, LPBC, LPOLESTR, ULONG *, LPITEMIDLIST *out, ULONG *)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ShellFolder::EnumObjects(HWND, SHCONTF, IEnumIDList **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return S_FALSE; // nothing to enumerate
}

STDMETHODIMP ShellFolder::BindToObject(LPCITEMIDLIST, LPBC, REFIID, void **out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ShellFolder::BindToStorage(LPCITEMIDLIST, LPBC, REFIID, void **out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ShellFolder::CompareIDs(LPARAM, LPCITEMIDLIST, LPCITEMIDLIST) { return E_NOTIMPL; }

STDMETHODIMP ShellFolder::CreateViewObject(HWND, REFIID, void **out)
{
    if (out)
        *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ShellFolder::GetAttributesOf(UINT, LPCITEMIDLIST *, SFGAOF *) { return E_NOTIMPL; }

STDMETHODIMP ShellFolder::GetUIObjectOf(HWND, UINT, LPCITEMIDLIST *, REFIID, UINT *, void **out)
{
    if (out)
        *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ShellFolder::GetDisplayNameOf(LPCITEMIDLIST, SHGDNF, STRRET *) { return E_NOTIMPL; }

STDMETHODIMP ShellFolder::SetNameOf(HWND, LPCITEMIDLIST, LPCOLESTR, SHGDNF, LPITEMIDLIST *out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}
