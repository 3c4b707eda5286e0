// ShellClassFactory: IClassFactory for the extension's two CLSIDs.
#ifndef TESSEL_CLASSFACTORY_H
#define TESSEL_CLASSFACTORY_H

#include <winsock2.h>
#include <objbase.h>

class ShellClassFactory : public IClassFactory {
public:
    explicit ShellClassFactory(REFCLSID clsid);
    virtual ~ShellClassFactory();

    STDMETHOD(QueryInterface)(REFIID riid, void **out) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateInstance)(IUnknown *outer, REFIID riid, void **out) override;
    STDMETHOD(LockServer)(BOOL lock) override;

private:
    volatile LONG refs_ = 1;
    CLSID clsid_;
};

#endif
