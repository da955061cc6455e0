#pragma once
// Named formula channels that one object owns in a host document, and small channel utilities:
// a channel's value range, unit and calculation, links between channels and the formula text of
// a channel reference.
#include <map>

#include "foundation/String.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/RecordingInterfaces.h"

namespace ExtLib {

// Class keys, each computed once from the host's type registry.
DWORD ArithmeticCalcClassId();
DWORD FormulaCalcClassKey();
DWORD FormulaSettingsClassKey();
DWORD ViewRangeKey();

// Orders names by their UTF-16 code units, case-sensitively.
struct CodeUnitLess {
    bool operator()(const KEL::String& a, const KEL::String& b) const;
};

class ArithmeticChannelManager {
public:
    ArithmeticChannelManager() = default;
    virtual ~ArithmeticChannelManager();
    ArithmeticChannelManager(const ArithmeticChannelManager&) = delete;
    ArithmeticChannelManager& operator=(const ArithmeticChannelManager&) = delete;

    // The document's channel source (IChannelNames and IChannelCollection); held.
    void SetChannelSource(IUnknown* source);
    IUnknown* ChannelSource() const { return mSource; }

    bool AddChannel(const KEL::String& name, const KEL::String& formula, const KEL::String& second);
    bool RemoveChannel(const KEL::String& name, bool clearFlag);
    bool FindChannel(const KEL::String& name, vx::hf::ChannelRef& ref);
    bool SetChannelFormula(vx::hf::ChannelRef ref, const KEL::String& formula, const KEL::String& second);

    const std::map<KEL::String, vx::hf::ChannelRef, CodeUnitLess>& Channels() const { return mChannels; }

protected:
    // The host's object factory and class keys; tests hand in their own.
    virtual IObjectFactory* ObjectFactory();
    virtual DWORD CalcClassKey() { return FormulaCalcClassKey(); }
    virtual DWORD SettingsClassKey() { return FormulaSettingsClassKey(); }

private:
    IUnknown* mSource = nullptr;
    std::map<KEL::String, vx::hf::ChannelRef, CodeUnitLess> mChannels;
};

// The largest of the document's three channel counts (16 for one it does not report; 16 for
// no document).
ULONG GetDocumentChannelCount(IRecordingDoc* document);

// The calculation of a channel when its class id is `classId`, with a reference.
bool GetChannelCalcOfClass(IUnknown* channelSource, ULONG channel, DWORD classId, IChannelCalc** out);

// The physical range of a channel's values: false when the document gives no channel values,
// when the stored range cannot be read or comes back inverted, or when no scaling is known.
bool GetChannelValueRange(IRecordingDoc* document, ULONG channel, double& low, double& high);

struct UnitRecord {
    std::wstring text;
    std::uint32_t prefix = 0;
};
// The channel's unit for a record (falling back to the default record -2).
bool GetChannelTextSetting(IChannelValues* values, ULONG channel, LONG record, UnitRecord& unit);

bool CreateChannelCalculation(IUnknown* channelSource, IObjectFactory* factory, DWORD calcClassKey,
    DWORD settingsClassKey, const KEL::String& formula, const KEL::String& second, vx::hf::ChannelRef ref);

bool AddChannelLink(IUnknown* channelSource, ULONG a, ULONG b);
bool RemoveChannelLink(IUnknown* channelSource, ULONG a, ULONG b);
bool HasChannelLink(IUnknown* channelSource, ULONG a, ULONG b);

// What a view shows: its selection when it has one, else its displayed range. startTick gets the
// start's tick offset; the double is a time step for the range, 1.0 when the view gives none.
// rangeKey: the key of the view's range object (0: ViewRangeKey()).
void ReadChannelSetup(IHostView* view, std::int32_t& startTick, vx::hf::DocPosition& start, vx::hf::DocPosition& end,
    double& step, DWORD rangeKey = 0);

// "RCh<n+1>" for kind 1, the channel's name for kind 4, "Ch<n+1>" for any other kind.
KEL::String FormatChannelReference(IUnknown* channelSource, vx::hf::ChannelRef ref);

} // namespace ExtLib
