#include "hrv/document/NamedMessages.h"

#include <sstream>

#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"

namespace HRV {

NamedMessageClass::NamedMessageClass(DWORD number, const wchar_t* name, const wchar_t* description)
    : KEL::MsgIdMessageClassObjectRootImpl(
        number, KEL::String(name), KEL::String(description), KEL::String(), 0, 0, KEL::String())
    , mGroup(L"HRV")
{
}

DWORD NamedMessageClass::MessageId() const
{
    return (DWORD(TypeIndexOf<&GUID_HRVDocumentObj>::Get()) << 16) | Number();
}

HRESULT NamedMessageClass::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != IMsgIdMessageClassObject::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IMsgIdMessageClassObject*>(this);
    AddRef();
    return S_OK;
}

ULONG NamedMessageClass::Release()
{
    // Nothing is destroyed here, so the count is never parked: it only falls, and not below 0
    // (a surplus release from the host leaves the object usable).
    ULONG count = mRefCount.load();
    while (count != 0 && !mRefCount.compare_exchange_weak(count, count - 1)) { }
    return count == 0 ? 0 : count - 1;
}

HRESULT NamedMessageClass::GetMessageId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = MessageId();
    return S_OK;
}

HRESULT NamedMessageClass::GetName(KEL::String* name)
{
    if (!name)
        return E_POINTER;
    *name = Name();
    return S_OK;
}

HRESULT NamedMessageClass::GetGroup(KEL::String* group)
{
    if (!group)
        return E_POINTER;
    *group = mGroup;
    return S_OK;
}

HRESULT NamedMessageClass::GetDescription(IKELString** description)
{
    if (!description)
        return E_POINTER;
    *description = Description().CopyRep();
    return S_OK;
}

HRESULT NamedMessageClass::GetValue1(WORD* value)
{
    if (!value)
        return E_POINTER;
    *value = 65535;
    return S_OK;
}

HRESULT NamedMessageClass::GetValue2(WORD* value)
{
    if (!value)
        return E_POINTER;
    *value = 0;
    return S_OK;
}

namespace {

ITypeNameRegistry* TypeNames()
{
    ITypeIdRegistry* registry = CAFFrameWork::GetTypeIdRegistry();
    ITypeNameRegistry* names = nullptr;
    if (registry)
        registry->QueryInterface(ITypeNameRegistry::kIid, reinterpret_cast<void**>(&names));
    return names;
}

} // namespace

HRESULT NamedMessageClass::CreateMessage(const MessageArguments* arguments, IMessage** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!arguments || arguments->named != 0 || arguments->positional > 1
        || (arguments->positional == 1 && !arguments->values))
        return DISP_E_BADPARAMCOUNT;
    DWORD payload[2] = { 0, 0 };
    if (arguments->positional == 1) {
        VARIANT copy;
        VariantInit(&copy);
        HRESULT hr = VariantCopy(&copy, &arguments->values[0]);
        if (FAILED(hr))
            return hr;
        VARIANT text;
        VariantInit(&text);
        if (copy.vt == VT_BSTR) {
            hr = VariantCopy(&text, &copy);
        } else {
            hr = VariantChangeTypeEx(&text, &copy, 1033, 0, VT_BSTR);
        }
        VariantClear(&copy);
        if (FAILED(hr)) {
            VariantClear(&text);
            return hr;
        }
        DWORD id = 0;
        if (ITypeNameRegistry* names = TypeNames()) {
            if (FAILED(names->NameToId(text.bstrVal ? text.bstrVal : L"", &id)))
                id = 0;
            names->Release();
        }
        VariantClear(&text);
        payload[0] = id;
        payload[1] = 1;
    }
    IMessageCreator* creator = CAFFrameWork::GetMessageCreator();
    if (!creator)
        return E_FAIL;
    return creator->CreateMessage(TypeIndexOf<&GUID_HRVDocumentObj>::Get(), MessageId(), Value1(), 0, payload, out);
}

HRESULT NamedMessageClass::WriteMessage(IMessage* message, IMessageTextWriter* output, DWORD value)
{
    if (!output)
        return E_FAIL;
    std::wostringstream text;
    text.imbue(std::locale::classic());
    DWORD flags = 0;
    if (message && SUCCEEDED(message->GetFlags(&flags)) && (flags & 64)) {
        IMessagePayload* payload = nullptr;
        if (SUCCEEDED(message->QueryInterface(IMessagePayload::kIid, reinterpret_cast<void**>(&payload))) && payload) {
            DWORD typeId = 0, count = 0;
            payload->GetPayload(&typeId, &count);
            payload->Release();
            KEL::String name;
            if (ITypeNameRegistry* names = TypeNames()) {
                IKELString* rep = nullptr;
                if (SUCCEEDED(names->IdToName(typeId, &rep)) && rep)
                    name.AssignRep(rep);
                names->Release();
            }
            text << L"CAFId" << L"," << L"ViewType" << L"," << L"\"" << name.ToWString() << L"\"";
        }
    }
    return WriteMessageText(KEL::String(text.str().c_str()), output, value);
}

HRESULT NamedMessageClass::DescribeParameters(DWORD, IUnknown* output, DWORD further)
{
    if (!ParameterDescription().IsEmpty()) {
        IMessageLineSink* sink = nullptr;
        if (!output || FAILED(output->QueryInterface(IMessageLineSink::kIid, reinterpret_cast<void**>(&sink))))
            return E_FAIL;
        const HRESULT hr = sink->WriteLine(ParameterDescription().Rep(), further);
        sink->Release();
        return hr;
    }
    IMessageTextWriter* writer = nullptr;
    if (output)
        output->QueryInterface(IMessageTextWriter::kIid, reinterpret_cast<void**>(&writer));
    const HRESULT hr = WriteMessage(nullptr, writer, further);
    if (writer)
        writer->Release();
    return hr;
}

HRESULT NamedMessageClass::DescribeMessage(IMessageLineSink* sink, std::uintptr_t argument)
{
    return KEL::MsgIdMessageClassObjectRootImpl::DescribeMessage(ParameterDescription(), sink, argument);
}

const std::array<NamedMessageClass*, 5>& NamedMessageClasses()
{
    static NamedMessageClass analyze(
        0x100, L"HRV_Analyze", L"Performs the analysis currently set up in the HRV module");
    static NamedMessageClass clear(0x101, L"HRV_ClearAnalysis", L"Clears the last analysis performed by HRV");
    static NamedMessageClass reselect(
        0x102, L"HRV_ReselectAnalyzedRegion", L"Reselects the data that was used in the last HRV analysis");
    static NamedMessageClass online(
        0x103, L"HRV_ToggleOnlineMode", L"Enables/disables HRV from analyzing while sampling");
    static NamedMessageClass markers(
        0x104, L"HRV_ToggleEventMarkers", L"Enables/disables the event markers appearing on HRV events");
    static const std::array<NamedMessageClass*, 5> all { &analyze, &clear, &reselect, &online, &markers };
    return all;
}

} // namespace HRV
