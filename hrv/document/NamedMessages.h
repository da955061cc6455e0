#pragma once
#include "hostframework/interfaces/HostServices.h"
// The five named document messages ("HRV_Analyze" to "HRV_ToggleEventMarkers") as message class
// objects: they describe the messages to the host under their names, so the host can send them
// from its macros and automation and write them back as text.
#include <array>
#include <cstdint>

#include "com/Variant.h"
#include "foundation/String.h"
#include "hostframework/base/ComObjectRoot.h"
#include "hostframework/interfaces/MessageInterfaces.h"
#include "hostframework/interfaces/MessageTextInterfaces.h"
#include "hostframework/messages/MsgIdMessageClassObjectRootImpl.h"

namespace HRV {

// The arguments the host passes when it creates a message from a macro: positional values
// first, named ones after them.
struct MessageArguments {
    const VARIANT* values = nullptr;
    UINT positional = 0;
    UINT named = 0;
};

constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);

struct IMsgIdMessageClassObject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3F0C6A41-2D7B-4E19-9C58-0A6E4B1D7F23}");
    virtual HRESULT GetMessageId(DWORD* id) = 0;
    virtual HRESULT GetName(KEL::String* name) = 0;
    virtual HRESULT GetGroup(KEL::String* group) = 0;
    virtual HRESULT GetDescription(IKELString** description) = 0;
    virtual HRESULT GetValue1(WORD* value) = 0;
    virtual HRESULT GetValue2(WORD* value) = 0;
    virtual HRESULT CreateMessage(const MessageArguments* arguments, IMessage** out) = 0;
    virtual HRESULT WriteMessage(IMessage* message, IMessageTextWriter* output, DWORD value) = 0;
    virtual HRESULT DescribeParameters(DWORD value, IUnknown* output, DWORD further) = 0;
    virtual HRESULT DescribeMessage(IMessageLineSink* sink, std::uintptr_t argument) = 0;

protected:
    ~IMsgIdMessageClassObject() = default;
};

class NamedMessageClass final : public IMsgIdMessageClassObject,
                                public KEL::MsgIdMessageClassObjectRootImpl,
                                public KEL::CComObjectRoot {
public:
    // `number` is 0x100 to 0x104; the message id is (document type index << 16) | number.
    NamedMessageClass(DWORD number, const wchar_t* name, const wchar_t* description);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return InternalAddRef(); }
    // The five objects are static: a release never deletes them.
    ULONG Release() override;

    HRESULT GetMessageId(DWORD* id) override;
    HRESULT GetName(KEL::String* name) override;
    HRESULT GetGroup(KEL::String* group) override;
    HRESULT GetDescription(IKELString** description) override;
    HRESULT GetValue1(WORD* value) override;
    HRESULT GetValue2(WORD* value) override;
    // A bad argument list gives DISP_E_BADPARAMCOUNT; an argument that cannot be copied or
    // turned into text gives the platform's result, nothing is thrown across the interface.
    HRESULT CreateMessage(const MessageArguments* arguments, IMessage** out) override;
    HRESULT WriteMessage(IMessage* message, IMessageTextWriter* output, DWORD value) override;
    HRESULT DescribeParameters(DWORD value, IUnknown* output, DWORD further) override;
    HRESULT DescribeMessage(IMessageLineSink* sink, std::uintptr_t argument) override;

    DWORD MessageId() const;

private:
    KEL::String mGroup;
};

// The five objects in message order (0x100 first).
const std::array<NamedMessageClass*, 5>& NamedMessageClasses();

} // namespace HRV
