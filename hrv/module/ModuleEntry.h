#pragma once
// The extension's entries: the library's attach and detach, and the registration of every class
// object the extension offers, in the order the host is told of them.
#include "hostframework/interfaces/HostServices.h"

namespace HRV {

// Registers the module's class objects with the framework the host gave; S_OK once `host` is
// not null, E_FAIL for null. A registration the host refuses is written as one diagnostic line
// and registration goes on.
HRESULT RegisterModuleClassObjects(IUnknown* host);
// The same with the host's services given: its class-object service, message factory and type
// registry (each may be null).
HRESULT RegisterModuleClassObjectsWith(IHostClassObject* classes, IMessageFactory* messages, ITypeIdRegistry* types);

} // namespace HRV
