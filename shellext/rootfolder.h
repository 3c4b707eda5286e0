// ShellFolder: the extension's shell folder.  So far only the namespace
// root as the class factory makes it: it names its class and enumerates
// nothing.
#ifndef TESSEL_ROOTFOLDER_H
#define TESSEL_ROOTFOLDER_H

#include <winsock2.h>
#include <shlobj.h>

class ShellFolder : public IShellFolder, public IPersistFolder {
public:
    ShellFolder();
    virtual ~ShellFolder();

    // IUnknown
    STDMETHOD(QueryInterface)(REFIID riid, void **out) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    // IPersist / IPersistFolder
    STDMETHOD(GetClassID)(CLSID *out) override;
    STDMETHOD(Initialize)(LPCITEMIDLIST pidl) override;
    // IShellFolder
    STDMETHOD(ParseDisplayName)(HWND, LPBC, LPOLESTR, ULONG *, LPITEMIDLIST *, ULONG *) override;
    STDMETHOD(EnumObjects)(HWND, SHCONTF, IEnumIDList **) override;
    STDMETHOD(BindToObject)(LPCITEMIDLIST, LPBC, REFIID, void **) override;
    STDMETHOD(BindToStorage)(LPCITEMIDLIST, LPBC, REFIID, void **) override;
    STDMETHOD(CompareIDs)(LPARAM, LPCITEMIDLIST, LPCITEMIDLIST) override;
    STDMETHOD(CreateViewObject)(HWND, REFIID, void **) override;
    STDMETHOD(GetAttributesOf)(UINT, LPCITEMIDLIST *, SFGAOF *) override;
    STDMETHOD(GetUIObjectOf)(HWND, UINT, LPCITEMIDLIST *, REFIID, UINT *, void **) override;
    STDMETHOD(GetDisplayNameOf)(LPCITEMIDLIST, SHGDNF, STRRET *) override;
    STDMETHOD(SetNameOf)(HWND, LPCITEMIDLIST, LPCOLESTR, SHGDNF, LPITEMIDLIST *) override;

private:
    volatile LONG refs_ = 1;
};

#endif
