#pragma once
// The host's class-object service as registration sees it: holds what it is given.
#include <vector>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/HostServices.h"

namespace HRV::test {

class HoldingCollector final : public SimpleUnknownImp1<IHostClassObject, 1> {
public:
    ~HoldingCollector() override
    {
        for (IUnknown* o : objects)
            o->Release();
    }
    HRESULT CreateObject(DWORD, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT RegisterClassObject(IUnknown* object) override
    {
        object->AddRef();
        objects.push_back(object);
        return S_OK;
    }
    std::vector<IUnknown*> objects;
};

} // namespace HRV::test
