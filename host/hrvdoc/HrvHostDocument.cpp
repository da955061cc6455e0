#include "host/hrvdoc/HrvHostDocument.h"

#include <algorithm>
#include <cmath>

#include "host/extcalc/ExtensionEnumerators.h"

namespace vx::host {

HrvHostDocument::HrvHostDocument(std::shared_ptr<Recording> recording, HrvHostOptions opts)
    : HrvHostState(std::move(recording), std::move(opts))
    , DetectorHostSide(static_cast<HrvHostState&>(*this))
    , AnalysisHostSide(static_cast<HrvHostState&>(*this))
    , AnalysisManagerSide(static_cast<HrvHostState&>(*this))
    , DialogServiceSide(static_cast<HrvHostState&>(*this))
    , DocumentHostSide(static_cast<HrvHostState&>(*this),
          { static_cast<DialogServiceSide*>(this), static_cast<AnalysisManagerSide*>(this),
              static_cast<DetectorHostSide*>(this), static_cast<AnalysisHostSide*>(this) })
{
    Document().SetChannelSetupListener(
        [this](std::uint32_t channel, IChannelCalc* calc) { NotifyChannelSetup(channel, calc); });
}

HrvHostDocument::~HrvHostDocument()
{
    // A paced play ends with the sinks told, while they are still there.
    mPlay.reset();
    Document().SetChannelSetupListener({});
    Detach();
    if (onlineSink)
        Document().RemoveSink(onlineSink);
}

void HrvHostDocument::Attach(IUnknown* document)
{
    Detach();
    if (document) {
        document->QueryInterface(IMessageHandler::kIid, reinterpret_cast<void**>(&documentHandler));
        document->QueryInterface(IObserver::kIid, reinterpret_cast<void**>(&documentObserver));
    }
}

void HrvHostDocument::Detach()
{
    if (documentHandler)
        documentHandler->Release();
    documentHandler = nullptr;
    if (documentObserver)
        documentObserver->Release();
    documentObserver = nullptr;
}

void HrvHostDocument::NotifyChannelSetup(std::uint32_t channel, IChannelCalc* calc)
{
    if (auto* log = Log())
        log->push_back("channel setup " + std::to_string(channel) + (calc ? " calculated" : " plain"));
    // The channel number and its calculation (null when it lost it), as the notification's two
    // values.
    if (documentObserver && channelSetupEvent)
        documentObserver->OnNotify(nullptr, channelSetupEvent, channel, reinterpret_cast<std::uintptr_t>(calc));
}

int HrvHostDocument::RegisterEnumerators(const std::vector<IUnknown*>& classObjects)
{
    return extcalc::RegisterExtensionEnumerators(
        Engine(), classObjects, DataStore(), [this](int record) { return RecordGrowing(record); });
}

void HrvHostDocument::RegisterCalculationClasses(const std::vector<IUnknown*>& classObjects, ITypeIdRegistry* types)
{
    calcClasses.RegisterAll(classObjects);
    // The host's formula calculation and its settings, as the calculations' glue names them.
    constexpr GUID kArithmeticCalcType = vx::com::MakeGuid("{88736FEF-F85F-4B09-862A-B4E59B348DE4}");
    constexpr GUID kFormulaCalcType = vx::com::MakeGuid("{C3397303-5AAD-11D3-AB07-00A0CC40B4CE}");
    WORD calcIndex = 0, settingsIndex = 0;
    if (types) {
        types->GetTypeIndex(kArithmeticCalcType, &calcIndex);
        types->GetTypeIndex(kFormulaCalcType, &settingsIndex);
    }
    if (calcFactory)
        calcFactory->Release();
    calcFactory = new HostObjectFactory(DWORD(calcIndex) << 16, DWORD(settingsIndex) << 16 | 1);
    // The recording's notifications, under the type of the host's recording events.
    constexpr GUID kRecordingEventsType = vx::com::MakeGuid("{3A7D80F0-59D6-11D3-80AE-005004AD3C53}");
    WORD eventsIndex = 0;
    if (types && SUCCEEDED(types->GetTypeIndex(kRecordingEventsType, &eventsIndex)) && eventsIndex)
        channelSetupEvent = DWORD(eventsIndex) << 16 | 6;
}

// ---- Online play

bool HrvHostDocument::BeginOnline(const Recording& source, int sourceRecord)
{
    if (sourceRecord < 0 || sourceRecord >= source.RecordCount()
        || source.ChannelCount() != GetRecording().ChannelCount())
        return false;
    const Record& from = source.records[static_cast<std::size_t>(sourceRecord)];
    recordComplete = false;
    if (!Document().StartSampling(from.interval)) {
        if (auto* log = Log())
            log->push_back("online.refused");
        return false;
    }
    // Channels decoded from a file on first read are shared, not copied: the record being sampled
    // shows more of them block by block, and a channel nothing reads is never decoded.
    Record& sampled = GetRecording().records[static_cast<std::size_t>(GetRecording().samplingRecord)];
    std::vector<SampleStore> shared;
    for (const SampleStore& s : from.channels)
        if (auto prefix = SampleStore::Prefix(s, 0))
            shared.push_back(std::move(*prefix));
    const bool share = shared.size() == sampled.channels.size() && sampled.length == 0;
    mOnlineShared = share;
    if (share)
        sampled.channels = std::move(shared);
    // Otherwise the record being sampled holds what the source's channels hold (16-bit samples
    // stay 16-bit) and has room for the whole record: it never grows by copying itself.
    for (std::size_t c = 0; c < sampled.channels.size() && !share; ++c) {
        if (sampled.channels[c].Length() == 0 && from.channels[c].IsInt16())
            sampled.channels[c] = SampleStore(std::vector<int16_t> {});
        sampled.channels[c].Reserve(sampled.channels[c].Length() + from.channels[c].Length());
    }
    if (options.online)
        options.online(GetRecording().samplingRecord, HrvHostOptions::OnlineStep::Started);
    return true;
}

void HrvHostDocument::DeliverOnline(const std::vector<std::span<const float>>& block)
{
    const int record = GetRecording().samplingRecord;
    // A record that shares the source's channels only shows more of them.
    if (mOnlineShared)
        Document().DeliverShared(block.empty() ? 0 : static_cast<int64_t>(block.front().size()));
    else
        Document().DeliverBlock(block);
    if (options.online)
        options.online(record, HrvHostOptions::OnlineStep::Block);
}

void HrvHostDocument::EndOnline()
{
    const int record = GetRecording().samplingRecord;
    // The record has all its data from here on: what it holds has settled.
    recordComplete = true;
    Document().StopSampling();
    recordComplete = false;
    if (options.online && record >= 0)
        options.online(record, HrvHostOptions::OnlineStep::Stopped);
}

bool HrvHostDocument::PlayOnline(const Recording& source, int sourceRecord, double blockSeconds)
{
    if (OnlinePlaying() || !BeginOnline(source, sourceRecord))
        return false;
    const Record& from = source.records[static_cast<std::size_t>(sourceRecord)];
    const auto block = std::max<int64_t>(1, static_cast<int64_t>(std::llround(blockSeconds / from.interval)));
    std::vector<std::vector<float>> values(static_cast<std::size_t>(source.ChannelCount()));
    std::vector<std::span<const float>> spans(values.size());
    for (int64_t at = 0; at < from.length; at += block) {
        const int64_t n = std::min(block, from.length - at);
        if (mOnlineShared) {
            Document().DeliverShared(n);
            if (options.online)
                options.online(GetRecording().samplingRecord, HrvHostOptions::OnlineStep::Block);
            continue;
        }
        for (std::size_t c = 0; c < values.size(); ++c) {
            values[c].resize(static_cast<std::size_t>(n));
            from.channels[c].Read(at, values[c]);
            spans[c] = values[c];
        }
        DeliverOnline(spans);
    }
    EndOnline();
    return true;
}

bool HrvHostDocument::StartOnlinePlay(
    std::shared_ptr<const Recording> source, int sourceRecord, double blockSeconds, double speed)
{
    if (OnlinePlaying() || !source || !(speed > 0) || !(blockSeconds > 0) || sourceRecord < 0
        || sourceRecord >= source->RecordCount())
        return false;
    const Record& from = source->records[static_cast<std::size_t>(sourceRecord)];
    const auto block = std::max<int64_t>(1, static_cast<int64_t>(std::llround(blockSeconds / from.interval)));
    // A block is due when the acquisition would have finished it.
    const double periodMs = static_cast<double>(block) * from.interval / speed * 1000.0;
    PlaybackTarget target;
    target.channels = GetRecording().ChannelCount();
    const Recording* played = source.get();
    target.start = [this, played, sourceRecord](
                       double) { return BeginOnline(*played, sourceRecord) ? GetRecording().samplingRecord : -1; };
    target.deliver = [this](int, const std::vector<std::span<const float>>& block) { DeliverOnline(block); };
    target.stop = [this] { EndOnline(); };
    mPlay = std::make_unique<TimedPlayback>(std::move(source), sourceRecord, std::move(target), block,
        static_cast<UINT>(std::clamp(std::llround(periodMs), 10LL, 3600000LL)));
    if (!mPlay->Start()) {
        mPlay.reset();
        return false;
    }
    return true;
}

bool HrvHostDocument::OnlinePlaying() const
{
    return mPlay && mPlay->Running();
}

void HrvHostDocument::StopOnlinePlay()
{
    if (mPlay)
        mPlay->Stop();
}

} // namespace vx::host
