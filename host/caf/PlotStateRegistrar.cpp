#include "caf/PlotStateRegistrar.h"

#include <algorithm>

namespace caf {

namespace {

bool KnownNumber(DWORD number)
{
    return number >= PlotStateMessage::kItemPosition && number <= PlotStateMessage::kYRange;
}

// One message stands for the state of one plot's range, or of one item's position or text.
bool SameSlot(const StoredPlotState& kept, const PlotStateMessage& message)
{
    if (kept.number != message.number || kept.plotId != message.plotId)
        return false;
    const bool ranged = message.number == PlotStateMessage::kXRange || message.number == PlotStateMessage::kYRange;
    return ranged || kept.itemId == message.itemId;
}

const wchar_t* Text(const wchar_t* text)
{
    return text ? text : L"";
}

} // namespace

PlotStateMessage StoredPlotState::View() const
{
    PlotStateMessage message;
    message.number = number;
    message.plotId = plotId.c_str();
    message.itemId = itemId.c_str();
    message.first = first;
    message.second = second;
    message.text = text.c_str();
    message.flag = flag;
    return message;
}

HRESULT PlotStateStore::Post(const PlotStateMessage* message)
{
    if (!message || !KnownNumber(message->number))
        return E_INVALIDARG;
    PlotStateMessage safe = *message;
    safe.plotId = Text(message->plotId);
    safe.itemId = Text(message->itemId);
    safe.text = Text(message->text);
    std::vector<IPlotStateSink*> sinks;
    {
        std::lock_guard lock(mMutex);
        StoredPlotState stored { safe.number, safe.plotId, safe.itemId, safe.first, safe.second, safe.text, safe.flag };
        auto slot = std::find_if(
            mKept.begin(), mKept.end(), [&](const StoredPlotState& kept) { return SameSlot(kept, safe); });
        if (slot == mKept.end()) {
            mKept.push_back(std::move(stored));
            ++mChanges;
        } else if (!(*slot == stored)) {
            *slot = std::move(stored);
            ++mChanges;
        }
        sinks = mSinks;
    }
    // Delivered outside the lock: a sink may post or detach while it handles the message.
    for (IPlotStateSink* sink : sinks)
        sink->OnPlotState(&safe);
    return S_OK;
}

HRESULT PlotStateStore::Attach(IPlotStateSink* sink)
{
    if (!sink)
        return E_INVALIDARG;
    for (const StoredPlotState& kept : Snapshot()) {
        const PlotStateMessage message = kept.View();
        sink->OnPlotState(&message);
    }
    std::lock_guard lock(mMutex);
    if (std::find(mSinks.begin(), mSinks.end(), sink) == mSinks.end())
        mSinks.push_back(sink);
    return S_OK;
}

HRESULT PlotStateStore::Detach(IPlotStateSink* sink)
{
    std::lock_guard lock(mMutex);
    auto found = std::find(mSinks.begin(), mSinks.end(), sink);
    if (found == mSinks.end())
        return S_FALSE;
    mSinks.erase(found);
    return S_OK;
}

std::vector<StoredPlotState> PlotStateStore::Snapshot()
{
    std::lock_guard lock(mMutex);
    return mKept;
}

void PlotStateStore::Restore(std::vector<StoredPlotState> kept)
{
    std::vector<IPlotStateSink*> sinks;
    {
        std::lock_guard lock(mMutex);
        mKept.clear();
        for (StoredPlotState& state : kept) {
            if (!KnownNumber(state.number))
                continue;
            const PlotStateMessage message = state.View();
            auto slot = std::find_if(
                mKept.begin(), mKept.end(), [&](const StoredPlotState& k) { return SameSlot(k, message); });
            if (slot != mKept.end())
                *slot = std::move(state);
            else
                mKept.push_back(std::move(state));
        }
        ++mChanges;
        sinks = mSinks;
    }
    for (const StoredPlotState& state : Snapshot()) {
        const PlotStateMessage message = state.View();
        for (IPlotStateSink* sink : sinks)
            sink->OnPlotState(&message);
    }
}

std::uint64_t PlotStateStore::Changes()
{
    std::lock_guard lock(mMutex);
    return mChanges;
}

PlotStateRegistrar* PlotStateRegistrarObject()
{
    static PlotStateRegistrar* const registrar = new PlotStateRegistrar;
    return registrar;
}

} // namespace caf
