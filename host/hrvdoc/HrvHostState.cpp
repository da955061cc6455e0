#include "host/hrvdoc/HrvHostState.h"

#include <algorithm>
#include <cmath>

#include "host/calc/CalcError.h"

namespace vx::host {

HrvHostState::HrvHostState(std::shared_ptr<Recording> recording, HrvHostOptions opts)
    : options(std::move(opts))
    , mRecording(recording)
    , mDocument(new HostDocument(std::move(recording)))
{
}

HrvHostState::~HrvHostState()
{
    mDocument->Release();
    for (auto& [id, child] : dataChildren)
        child->Release();
    for (auto& [index, object] : stored)
        object->Release();
    if (calcFactory)
        calcFactory->Release();
}

void HrvHostState::Updated(DWORD messageId, DWORD code)
{
    ++mUpdateCount;
    if (mRecorder)
        mRecorder->updates.emplace_back(messageId, code);
    if (options.updated)
        options.updated(messageId, code);
}

void HrvHostState::MessageShown(const std::wstring& text)
{
    if (mRecorder)
        mRecorder->messages.push_back(text);
    if (options.messageShown)
        options.messageShown(text);
}

std::wstring HrvHostState::ChannelName(const HRV::ChannelRef& ref) const
{
    const std::wstring* name = mDocument->NameOfNumber(ref.mChannel);
    return name ? *name : std::wstring();
}

int64_t HrvHostState::EventLimit(int32_t record) const
{
    if (record < 0 || record >= RecordCount())
        return 0;
    const Record& r = mRecording->records[static_cast<std::size_t>(record)];
    if (record != mRecording->samplingRecord || recordComplete)
        return r.length;
    const auto settle = static_cast<int64_t>(std::ceil(options.onlineSettleSeconds / r.interval));
    return std::max<int64_t>(0, r.length - settle);
}

bool HrvHostState::RecordGrowing(int32_t record) const
{
    return record >= 0 && record == mRecording->samplingRecord && !recordComplete;
}

void HrvHostState::EnsureCompiledForData()
{
    int64_t samples = 0;
    for (const Record& r : mRecording->records)
        samples += r.length;
    if (samples != mCompiledFor) {
        RecompileChannels();
        mCompiledFor = samples;
    }
}

void HrvHostState::RecompileChannels()
{
    for (const std::wstring& name : names)
        if (Engine().HasChannel(name)) {
            try {
                Engine().SetFormula(name, Engine().Formula(name));
            } catch (const calc::CalcError&) {
                // A channel that no longer compiles keeps its previous form; its reader reports it.
            }
        }
}

} // namespace vx::host
