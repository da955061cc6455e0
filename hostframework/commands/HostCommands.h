#pragma once
// Host objects that class objects and the module entry need: the per-class host object, menu
// commands and separators, and the build label of a pre-release module.
#include <cstdint>

#include "foundation/String.h"
#include "hostframework/interfaces/CommandInterfaces.h"

// What the host makes for a class object; its owner keeps (and releases) the object.
struct HostClassObjectPair {
    BYTE flag = 0;
    IUnknown* object = nullptr;
};

// A command id as its two halves.
struct HostCommandId {
    WORD number = 0;
    WORD typeIndex = 0;
};

// The host's factories, made once through the host class object and kept for the life of the
// process (no reference for the caller); null without a host.
IHostClassFactory* GetHostClassFactory();
IHostCommandFactory* GetHostCommandFactory();

// Overwrites `out` with {0, null}, then has the host class factory make the class's host object
// into it. S_FALSE when there is no class factory, else the factory's result.
HRESULT CreateHostObjectForClass(HostClassObjectPair& out, REFGUID classGuid, IUnknown* handler, IUnknown* owner);

// A separator or group entry for `text` ("-": a plain separator). A command held in `out` is
// released first. E_FAIL when there is no command factory, else the factory's result.
HRESULT CreateHostSeparator(ICAFCommand*& out, const KEL::String& text);

// A menu command made by the command factory with this module's resources. With a zero id, the
// command's own id (when it has one) is used. The id and the attribute are set through the
// command's interfaces that it offers. A command held in `out` is released first. E_FAIL when
// there is no command factory, else the factory's result.
HRESULT CreateHostCommand(ICAFCommand*& out, DWORD commandId, const DWORD* textId, const KEL::String& caption,
    HostCommandId id, DWORD first, DWORD second, const KEL::String& attribute, const KEL::String& group,
    const KEL::String& text);
HRESULT CreateHostCommandSimple(ICAFCommand*& out, DWORD commandId, const DWORD* textId, const KEL::String& caption);

// Hands the host the label of this module when its version marks an alpha, beta or final
// pre-release build and the host wants build labels. The arguments are not used.
void ShowModuleVersionInHost(std::uintptr_t, std::uintptr_t);
