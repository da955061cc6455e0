#pragma once
// The host's settings registrar of plot state (IPlotStateRegistrar): keeps the last message of
// each kind per plot and item for the life of the process and hands every message to the plot
// controls attached to it.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/PlotStateInterfaces.h"

namespace caf {

// A kept message with its own copies of the texts.
struct StoredPlotState {
    DWORD number = 0;
    std::wstring plotId;
    std::wstring itemId;
    double first = 0;
    double second = 0;
    std::wstring text;
    BYTE flag = 0;

    PlotStateMessage View() const;
    bool operator==(const StoredPlotState&) const = default;
};

class PlotStateStore {
public:
    HRESULT Post(const PlotStateMessage* message);
    HRESULT Attach(IPlotStateSink* sink);
    HRESULT Detach(IPlotStateSink* sink);
    // What is kept, in the order first kept.
    std::vector<StoredPlotState> Snapshot();
    // What a saved session kept, in place of what is kept now, handed to the attached sinks.
    void Restore(std::vector<StoredPlotState> kept);
    // Counts the changes to what is kept (a message that repeats the kept state changes nothing),
    // so whoever saves the state can tell whether there is anything new since.
    std::uint64_t Changes();

private:
    std::mutex mMutex;
    std::vector<StoredPlotState> mKept;
    std::uint64_t mChanges = 0;
    std::vector<IPlotStateSink*> mSinks; // not held
};

// The registrar the framework's shared host object hands out: one for the process, never freed.
class PlotStateRegistrar final : public SimpleUnknownImp1<IPlotStateRegistrar, 1> {
public:
    HRESULT Post(const PlotStateMessage* message) override { return mStore.Post(message); }
    HRESULT Attach(IPlotStateSink* sink) override { return mStore.Attach(sink); }
    HRESULT Detach(IPlotStateSink* sink) override { return mStore.Detach(sink); }
    PlotStateStore& Store() { return mStore; }

private:
    PlotStateStore mStore;
};
PlotStateRegistrar* PlotStateRegistrarObject();

} // namespace caf
