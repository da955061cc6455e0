#include "com/ClassObjects.h"

#include <cstddef>
#include <mutex>
#include <vector>

namespace {

struct Registration {
    DWORD cookie;
    CLSID clsid;
    DWORD context;
    IUnknown* object;
};

struct ClassTable {
    std::mutex mutex;
    std::vector<Registration> rows; // in order of registration
    DWORD nextCookie = 1;
};

// Never destroyed: class objects may be revoked by exit-time code of any library, after the
// destructors of this library's statics would have run.
ClassTable& Table()
{
    static ClassTable* table = new ClassTable;
    return *table;
}

thread_local unsigned tOleInitCount = 0;

} // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO*, REFIID iid, void** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (context == 0)
        return E_INVALIDARG;
    IUnknown* object = nullptr;
    {
        ClassTable& table = Table();
        std::lock_guard lock(table.mutex);
        for (const Registration& row : table.rows)
            if (row.clsid == clsid && (row.context & context) != 0) {
                object = row.object;
                object->AddRef();
                break;
            }
    }
    if (!object)
        return REGDB_E_CLASSNOTREG;
    // Asked outside the lock: a class object may itself look up other classes while answering.
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    if (FAILED(hr))
        *out = nullptr;
    return hr;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD context, DWORD flags, DWORD* cookie)
{
    if (cookie)
        *cookie = 0;
    if (!object || !cookie || context == 0 || flags != REGCLS_MULTIPLEUSE)
        return E_INVALIDARG;
    object->AddRef();
    ClassTable& table = Table();
    std::lock_guard lock(table.mutex);
    const DWORD assigned = table.nextCookie++;
    if (table.nextCookie == 0)
        table.nextCookie = 1;
    table.rows.push_back({ assigned, clsid, context, object });
    *cookie = assigned;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie)
{
    IUnknown* object = nullptr;
    {
        ClassTable& table = Table();
        std::lock_guard lock(table.mutex);
        for (auto it = table.rows.begin(); it != table.rows.end(); ++it)
            if (it->cookie == cookie) {
                object = it->object;
                table.rows.erase(it);
                break;
            }
    }
    if (!object)
        return OLE_E_NOCONNECTION;
    // Released outside the lock: the last release may run code that uses the table again.
    object->Release();
    return S_OK;
}

HRESULT OleInitialize(void*)
{
    return tOleInitCount++ == 0 ? S_OK : S_FALSE;
}

void OleUninitialize()
{
    if (tOleInitCount > 0)
        --tOleInitCount;
}

namespace vx::com {
std::size_t RegisteredClassObjectCount()
{
    ClassTable& table = Table();
    std::lock_guard lock(table.mutex);
    return table.rows.size();
}
} // namespace vx::com
