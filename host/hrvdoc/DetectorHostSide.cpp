#include "host/hrvdoc/DetectorHostSide.h"

#include <algorithm>
#include <cstdio>

#include "foundation/base/ExceptionBoundary.h"
#include "host/calc/CalcError.h"
#include "host/hrvdoc/LogLines.h"

namespace vx::host {

namespace {

std::string Number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The engine's refusal of a detector channel in the user's words. The detector's only low-pass
// filter is its first stage, whose cut-off is the LowPassCutoff setting.
ChannelRefusal RefusalOf(const std::wstring& name, const calc::CalcError& e)
{
    if (const auto* cutoff = dynamic_cast<const calc::CutoffError*>(&e))
        return { "record " + std::to_string(cutoff->Record() + 1) + " is sampled at " + Number(cutoff->Rate())
                + " Hz, too slowly for the detector's low-pass cut-off LowPassCutoff of " + Number(cutoff->Cutoff())
                + " Hz, which must lie below half the sample rate (" + Number(0.5 * cutoff->Rate()) + " Hz)",
            "LowPassCutoff" };
    return { "the detector's channel " + NarrowText(name) + " cannot be made: " + e.what(), "" };
}

// A link between two channels, by their numbers and kinds.
std::pair<uint64_t, uint64_t> LinkKey(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return { (uint64_t(a.mChannel) << 32) | a.mKind, (uint64_t(b.mChannel) << 32) | b.mKind };
}

} // namespace

bool DetectorHostSide::HasData(const HRV::ChannelRef& c, int32_t record)
{
    if (c.mChannel >= static_cast<uint32_t>(mState.GetRecording().ChannelCount()) || record < 0
        || record >= RecordCount())
        return false;
    return mState.GetRecording().ChannelLength(static_cast<int>(c.mChannel), record) > 0;
}

double DetectorHostSide::SampleInterval(const HRV::ChannelRef& c, int32_t record)
{
    if (c.mChannel >= static_cast<uint32_t>(mState.GetRecording().ChannelCount()) || record < 0
        || record >= RecordCount())
        return 0.0;
    return mState.GetRecording().ChannelInfo(static_cast<int>(c.mChannel), record).interval;
}

bool DetectorHostSide::AddChannel(const wchar_t* nameText, const wchar_t* formulaText)
{
    return vx::hf::GuardedValue<bool>("host document: add channel", false, [&]() -> bool {
        if (!nameText || !formulaText)
            return false;
        const std::wstring name = nameText, formula = formulaText;
        mState.channelRequests.push_back(L"+" + name);
        vx::hf::ChannelRef ref;
        const bool existed = mState.Document().LookUp(0, name.c_str(), &ref) == S_OK;
        if (FAILED(mState.Document().CreateNamedChannel(0, name.c_str(), nullptr, &ref)))
            return false;
        ForgetRefusal(name);
        try {
            mState.Engine().SetFormula(name, formula);
        } catch (const calc::CalcError& e) {
            if (auto* log = mState.Log())
                log->push_back("channel refused " + NarrowText(name) + ": " + e.what());
            mState.refusals.emplace_back(name, RefusalOf(name, e));
            // A refused new channel leaves no empty name behind.
            if (!existed)
                mState.Document().RemoveName(0, name.c_str());
            return false;
        }
        if (std::find(mState.names.begin(), mState.names.end(), name) == mState.names.end())
            mState.names.push_back(name);
        return true;
    });
}

bool DetectorHostSide::RemoveChannel(const wchar_t* nameText, bool)
{
    return vx::hf::GuardedValue<bool>("host document: remove channel", false, [&]() -> bool {
        if (!nameText)
            return false;
        const std::wstring name = nameText;
        mState.channelRequests.push_back(L"-" + name);
        ForgetRefusal(name);
        if (!mState.Engine().HasChannel(name))
            return false;
        mState.names.erase(std::remove(mState.names.begin(), mState.names.end(), name), mState.names.end());
        return mState.Document().RemoveName(0, name.c_str()) == S_OK;
    });
}

void DetectorHostSide::ForgetRefusal(const std::wstring& name)
{
    std::erase_if(mState.refusals, [&](const auto& refusal) { return refusal.first == name; });
}

ChannelRefusal DetectorHostSide::StandingRefusal() const
{
    return mState.refusals.empty() ? ChannelRefusal {} : mState.refusals.front().second;
}

bool DetectorHostSide::FindChannel(const wchar_t* nameText, HRV::ChannelRef& out)
{
    return vx::hf::GuardedValue<bool>("host document: find channel", false, [&]() -> bool {
        if (!nameText)
            return false;
        const std::wstring name = nameText;
        vx::hf::ChannelRef ref;
        if (!mState.Engine().HasChannel(name) || mState.Document().LookUp(0, name.c_str(), &ref) != S_OK)
            return false;
        out = { ref.number, ref.kind };
        return true;
    });
}

bool DetectorHostSide::HasChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return mState.links.count(LinkKey(a, b)) > 0;
}
bool DetectorHostSide::AddChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return mState.links.insert(LinkKey(a, b)).second;
}
bool DetectorHostSide::RemoveChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return mState.links.erase(LinkKey(a, b)) > 0;
}

bool DetectorHostSide::SetChannelKept(const wchar_t* name, WORD state)
{
    if (!name || !mState.Engine().HasChannel(name))
        return false;
    mState.keptChannels[name].first = state;
    if (auto* log = mState.Log())
        log->push_back("channel.kept " + NarrowText(name) + " " + HexText(state));
    return true;
}

bool DetectorHostSide::SetChannelGroup(const wchar_t* name, const wchar_t* group)
{
    if (!name || !group || !mState.Engine().HasChannel(name))
        return false;
    mState.keptChannels[name].second = group;
    if (auto* log = mState.Log())
        log->push_back("channel.group " + NarrowText(name) + " " + NarrowText(group));
    return true;
}

} // namespace vx::host
