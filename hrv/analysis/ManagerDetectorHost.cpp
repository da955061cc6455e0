#include "hrv/analysis/ManagerDetectorHost.h"

#include "hostframework/interfaces/RecordingInterfaces.h"

namespace HRV {

ManagerDetectorHost::ManagerDetectorHost(ExtLib::ArithmeticChannelManager& manager, IRecordingDoc* document)
    : mManager(manager)
    , mDocument(document)
{
    if (mDocument)
        mDocument->AddRef();
}

ManagerDetectorHost::~ManagerDetectorHost()
{
    if (mDocument)
        mDocument->Release();
}

int32_t ManagerDetectorHost::RecordCount()
{
    if (!mDocument)
        return 0;
    IDocumentTime* time = nullptr;
    if (FAILED(mDocument->QueryInterface(IDocumentTime::kIid, reinterpret_cast<void**>(&time))) || !time)
        return 0;
    LONG count = 0;
    if (FAILED(time->GetRecordCount(&count)))
        count = 0;
    time->Release();
    return count;
}

bool ManagerDetectorHost::HasData(const ChannelRef& channel, int32_t record)
{
    return SampleInterval(channel, record) > 0;
}

double ManagerDetectorHost::SampleInterval(const ChannelRef& channel, int32_t record)
{
    double interval = 0;
    if (!mDocument || FAILED(mDocument->GetSampleInterval(channel.mKind, record, channel.mChannel, &interval)))
        return 0.0;
    return interval;
}

bool ManagerDetectorHost::AddChannel(const wchar_t* name, const wchar_t* formula)
{
    return mManager.AddChannel(KEL::String(name), KEL::String(formula), KEL::String(L""));
}

bool ManagerDetectorHost::RemoveChannel(const wchar_t* name, bool clear)
{
    return mManager.RemoveChannel(KEL::String(name), clear);
}

bool ManagerDetectorHost::FindChannel(const wchar_t* name, ChannelRef& out)
{
    vx::hf::ChannelRef ref;
    if (!mManager.FindChannel(KEL::String(name), ref) || !ref.Known())
        return false;
    out = { ref.number, ref.kind };
    return true;
}

bool ManagerDetectorHost::HasChannelLink(const ChannelRef& from, const ChannelRef& to)
{
    return ExtLib::HasChannelLink(mManager.ChannelSource(), from.mChannel, to.mChannel);
}

bool ManagerDetectorHost::AddChannelLink(const ChannelRef& from, const ChannelRef& to)
{
    return ExtLib::AddChannelLink(mManager.ChannelSource(), from.mChannel, to.mChannel);
}

bool ManagerDetectorHost::RemoveChannelLink(const ChannelRef& from, const ChannelRef& to)
{
    return ExtLib::RemoveChannelLink(mManager.ChannelSource(), from.mChannel, to.mChannel);
}

} // namespace HRV
