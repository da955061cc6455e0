#pragma once
// Host command objects (menu commands, separators, command groups) and the host factories that
// make them and the per-class host objects.
#include "com/Unknown.h"
#include "foundation/IKELString.h"
#include "res/Resource.h"

// One host command. Its id is (type index << 16) | number. (The stand-in host's own id.)
struct ICAFCommand : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{34EC8333-6B0A-4467-81AB-4D75D83FC784}");
    virtual HRESULT SetId(DWORD id) = 0;
    virtual HRESULT GetId(DWORD* id) = 0;

protected:
    ~ICAFCommand() = default;
};

// The command's id as the host's command tables see it.
struct ICAFCommandId : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5F2C4030-33A3-49D6-AC57-2548895C5F7F}");
    virtual HRESULT SetId(DWORD reserved, DWORD id) = 0;

protected:
    ~ICAFCommandId() = default;
};

// The command's attribute: where the host places it (an anchor such as "settings").
struct ICAFCommandAttribute : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2F2D19E9-687A-4664-BAC6-92610BD87F45}");
    virtual HRESULT SetAttribute(IKELString* value) = 0;

protected:
    ~ICAFCommandAttribute() = default;
};

// Where a class registers its menu items: the host object made for the class answers it.
struct ICommandRegistration : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0B7E5D12-4C3A-4E8F-A1D6-93F2C7B84E05}");
    virtual HRESULT AddCommand(ICAFCommand* command) = 0;

protected:
    ~ICommandRegistration() = default;
};

// Where the host has placed a registered menu item (0: not placed).
struct ICAFCommandPlacement : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5A9C3E71-8D24-4B6F-9E10-2C7D4F6A3B98}");
    virtual HRESULT GetPlacement(DWORD* value) = 0;

protected:
    ~ICAFCommandPlacement() = default;
};

// The host's factory of command objects (built-in class key 0x80000013).
struct IHostCommandFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{812082B1-B7F0-11D3-80C8-005004AD3C53}");
    // A command group or a separator. `kind` 2 makes a separator.
    virtual HRESULT CreateGroup(DWORD reserved1, DWORD reserved2, IKELString* caption, DWORD reserved4, DWORD reserved5,
        DWORD reserved6, IKELString* separator, DWORD reserved8, DWORD reserved9, DWORD style, DWORD kind,
        DWORD reserved12, DWORD order, ICAFCommand** out)
        = 0;
    // A command whose resources (texts by id) come from `module`.
    virtual HRESULT CreateCommand(DWORD commandId, HMODULE module, DWORD textId, IKELString* caption, DWORD second,
        IKELString* group, IKELString* text, DWORD first, DWORD reserved1, DWORD reserved2, ICAFCommand** out,
        DWORD flag)
        = 0;

protected:
    ~IHostCommandFactory() = default;
};

// The host's factory of per-class host objects (built-in class key 0x80000014).
struct IHostClassFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{812082B6-B7F0-11D3-80C8-005004AD3C53}");
    // The host object for a class: `handler` receives the class's commands, `owner` is the
    // class object (or what the class passes for it).
    virtual HRESULT CreateClassObject(REFGUID classGuid, IUnknown* handler, IUnknown* owner, IUnknown** out) = 0;

protected:
    ~IHostClassFactory() = default;
};
