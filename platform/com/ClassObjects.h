#pragma once
// The process-wide table of class objects, in place of the platform's class registration
// (CoRegisterClassObject, CoRevokeClassObject, CoGetClassObject), and OLE initialisation.
//
// A registration holds one reference on the class object until it is revoked. Lookups match a
// registration whose class context shares a bit with the context asked for; when a class is
// registered more than once, the earliest live registration answers. The table lives for the
// whole process and is safe to use from any thread.
#include "com/Unknown.h"

// Class contexts. CLSCTX_SERVER is the context the extension passes on every lookup (23).
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER
    = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Registration flags. Only multiple use is offered: every lookup may hand out the class object.
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

constexpr HRESULT OLE_E_NOCONNECTION = MakeHResult(0x80040004u);

// Server information for remote activation; never used in this process-local table.
struct COSERVERINFO;

// Finds the class object registered for `clsid` in one of the contexts of `context` and asks it
// for `iid`. *out is null on failure. REGDB_E_CLASSNOTREG when no registration matches,
// E_INVALIDARG for a null out pointer or a zero context, otherwise the class object's answer.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID iid, void** out);

// Registers `object` for `clsid` (one reference is taken) and writes a non-zero cookie.
// E_INVALIDARG for a null object or cookie, a zero context or flags other than REGCLS_MULTIPLEUSE.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD context, DWORD flags, DWORD* cookie);

// Removes the registration and drops its reference. OLE_E_NOCONNECTION for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD cookie);

// OLE initialisation has nothing to set up here; it keeps the platform's answers so callers
// behave as they would there: S_OK for the first call on a thread, S_FALSE when the thread is
// already initialised. Each successful call is balanced by one OleUninitialize.
HRESULT OleInitialize(void* reserved);
void OleUninitialize();

namespace vx::com {
// Number of live registrations (tests use it to prove that every registration was revoked).
std::size_t RegisteredClassObjectCount();
} // namespace vx::com
