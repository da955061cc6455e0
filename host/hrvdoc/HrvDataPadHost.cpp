#include "host/hrvdoc/HrvDataPadHost.h"

namespace vx::host {

HrvDataAccess::HrvDataAccess(HrvHostDocument& document)
    : mDocument(document)
{
}

HRESULT HrvDataAccess::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IDataAccess::kIid)
        *out = static_cast<IDataAccess*>(this);
    else if (iid == HRV::IRecordData::kIid)
        *out = static_cast<HRV::IRecordData*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG HrvDataAccess::Release()
{
    const ULONG count = --mCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT HrvDataAccess::GetChannelSetting(DWORD, LONG, LONG, IUnknown** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT HrvDataAccess::GetText(DWORD, LONG, LONG, BSTR* text)
{
    if (text)
        *text = nullptr;
    return E_NOTIMPL;
}

HRESULT HrvDataAccess::GetSourceDescriptor(DWORD, vx::hf::SourceDescriptor* out)
{
    if (!out)
        return E_POINTER;
    *out = vx::hf::SourceDescriptor {};
    return S_OK;
}

HRESULT HrvDataAccess::ResolvePosition(std::int64_t* position, DWORD)
{
    if (!position)
        return E_POINTER;
    int32_t record = vx::hf::TickRecord(*position);
    const int32_t last = mDocument.LastRecord();
    if (record == HRV::kLastRecord)
        record = last;
    if (record < 0 || record > last)
        return E_INVALIDARG;
    int32_t offset = vx::hf::TickOffset(*position);
    if (offset == 0x7FFFFFFF)
        offset = static_cast<int32_t>(mDocument.GetRecording().records[static_cast<std::size_t>(record)].length);
    *position = vx::hf::MakeTickPosition(record, offset);
    return S_OK;
}

HrvHostDocumentObject::HrvHostDocumentObject(HrvHostDocument& document)
    : mDocument(document)
    , mAccess(new HrvDataAccess(document))
{
}

HrvHostDocumentObject::~HrvHostDocumentObject()
{
    DetachChildren();
    mAccess->Release();
}

HRESULT HrvHostDocumentObject::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == HRV::IDataPadSource::kIid)
        *out = static_cast<HRV::IDataPadSource*>(this);
    else if (iid == HRV::IDocumentHostProvider::kIid)
        *out = static_cast<HRV::IDocumentHostProvider*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG HrvHostDocumentObject::Release()
{
    const ULONG count = --mCount;
    if (count == 0)
        delete this;
    return count;
}

void HrvHostDocumentObject::AttachChild(DWORD classKey, IUnknown* document)
{
    if (document)
        document->AddRef();
    auto [it, added] = mChildren.emplace(classKey, document);
    if (!added) {
        if (it->second)
            it->second->Release();
        it->second = document;
    }
}

void HrvHostDocumentObject::DetachChildren()
{
    auto children = std::move(mChildren);
    mChildren.clear();
    for (auto& [key, child] : children)
        if (child)
            child->Release();
}

HRESULT HrvHostDocumentObject::GetDataAccess(const vx::hf::SourceDescriptor* source, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!source || source->code != vx::hf::kNoSourceCode)
        return E_INVALIDARG;
    mAccess->AddRef();
    *out = static_cast<IDataAccess*>(mAccess);
    return S_OK;
}

HRESULT HrvHostDocumentObject::GetChildDocument(DWORD classKey, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const auto it = mChildren.find(classKey);
    if (it == mChildren.end() || !it->second)
        return S_FALSE;
    it->second->AddRef();
    *out = it->second;
    return S_OK;
}

HRESULT HrvHostDocumentObject::PositionToTime(
    IUnknown*, const vx::hf::SourceDescriptor*, std::int64_t position, DWORD, DWORD, VARIANT* out)
{
    if (!out)
        return E_POINTER;
    HRV::RecordInfo info;
    int32_t record = vx::hf::TickRecord(position);
    if (record == HRV::kLastRecord)
        record = mDocument.LastRecord();
    if (!mDocument.GetRecordInfo(record, info))
        return E_INVALIDARG;
    VariantClear(out);
    out->vt = VT_R8;
    out->dblVal = HRV::TimeOfPosition(info, vx::hf::TickOffset(position));
    return S_OK;
}

} // namespace vx::host
