#include "hrv/core/Data.h"

#include "foundation/XKEL.h"
#include "foundation/stream/StorageBinStream.h"

namespace HRV {

namespace {
constexpr HRESULT kBadSection = MakeHResult(0xA0048206u);

[[noreturn]] void LegacyFails()
{
    throw XKEL(KEL::String(L"HRV::Data::Load: legacy data not converted"), kBadSection);
}
} // namespace

Data::Data(Settings* settings)
    : mSettings(settings)
{
    auto* events = new UserEventData();
    mUserEvents = vx::com::Ref<UserEventData>(events);
}

HRESULT Data::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == IPersist::kIid) {
        *out = static_cast<IPersist*>(this);
        AddRef();
        return S_OK;
    }
    return SimpleUnknownImp1<IPersistStreamInit, 0>::QueryInterface(iid, out);
}

HRESULT Data::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = GUID_HRVDocumentObj;
    return S_OK;
}

HRESULT Data::InitNew()
{
    return mUserEvents->Clear();
}

HRESULT Data::Load(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    KEL::StorageBinIStreamLite in(stream);
    const std::uint32_t version = in.GetU32();
    if (!in.Good()) {
        KEL::BootLog(std::wstring_view(L"HRV::Data::Load: the data stream ended before its version; "
                                       L"the beat corrections keep their values"));
    } else if (version == kLegacyDataVersion) {
        LoadLegacy(in); // a failed conversion is reported and the load still succeeds
    } else if (version > kDataVersion) {
        return KEL::kStreamVersionTooNew;
    } else {
        LoadSets(in);
    }
    mStoredWithHost = true;
    mLoaded = true;
    mDirty = 0;
    return S_OK;
}

void Data::LoadSets(KEL::BinIStream& in)
{
    mUserEvents->Clear();
    for (DWORD set = 0; set < 2 && in.Good(); ++set) {
        // The count is untrusted: elements are added as they arrive, never reserved by it.
        const std::uint32_t count = in.GetU32();
        for (std::uint32_t i = 0; i < count && in.Good(); ++i) {
            Position p;
            p.mRecord = in.GetI32();
            p.mOffset = in.GetI32();
            if (in.Good())
                mUserEvents->Set(set).insert(p);
        }
    }
    if (!in.Good())
        KEL::BootLog(std::wstring_view(
            L"HRV::Data::Load: the data stream ended early; only the beat corrections read completely were kept"));
}

HRESULT Data::LoadLegacy(KEL::BinIStream& in)
{
    try {
        const std::uint32_t subVersion = in.GetU32();
        if (subVersion < 101 || subVersion > 103 || in.GetU32() != 0x10008)
            LegacyFails();
        in.GetU32();
        in.GetF64();
        (void)in.GetString();
        in.GetU32();
        if (subVersion == 101 || !in.Good())
            LegacyFails();
        in.GetU32();
        for (int i = 0; i < 5; ++i)
            (void)in.GetString();
        if (in.GetU32() != 0x10009)
            LegacyFails();
        in.GetU32();
        in.GetU32();
        Position start, end;
        start.mRecord = in.GetI32();
        start.mOffset = in.GetI32();
        end.mRecord = in.GetI32();
        end.mOffset = in.GetI32();
        if (!in.Good())
            LegacyFails();
        if (mSettings) {
            mSettings->mRangeStart = start;
            mSettings->mRangeEnd = end;
        }
        return S_OK;
    } catch (const XKEL&) {
        return E_FAIL;
    }
}

HRESULT Data::Save(IStream* stream, BOOL clearDirty)
{
    KEL::StorageBinOStreamLite out(stream);
    out.PutU32(kDataVersion);
    for (DWORD set = 0; set < 2; ++set) {
        const auto& positions = mUserEvents->Set(set);
        out.PutU32(static_cast<std::uint32_t>(positions.size()));
        for (const Position& p : positions) {
            out.PutI32(p.mRecord);
            out.PutI32(p.mOffset);
        }
    }
    if (out.Flush() != S_OK)
        return E_FAIL; // a failed write is not a save: the dirty flag stays
    if (clearDirty)
        mDirty = 0;
    return S_OK;
}

} // namespace HRV
