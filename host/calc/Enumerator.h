#pragma once
// Extension enumerators as the engine sees them. An extension publishes a calculation enumerator
// class under a formula function name ("fiducial", "HRVSelector"); a formula that calls that name
// gets one enumerator per record. The bridge to the extension's COM-style ICalcEnum/IEnumEventEx
// interfaces implements IEventEnumerator by forwarding, and wraps EnumeratorSource into the
// host-side channel and event cursors the extension reads.
#include "host/calc/Signal.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vx::calc {

// One source of an enumerator during one record: either a sampled channel or an event channel.
// The pointers stay valid for as long as the enumerator lives.
struct EnumeratorSource {
    Signal* samples = nullptr;
    EventSignal* events = nullptr;
    int record = 0;
    TimeBase info;
};

class IEventEnumerator {
public:
    static constexpr int32_t kEnd = 0x7FFFFFFF;

    virtual ~IEventEnumerator() = default;
    virtual uint32_t RecordSize() const = 0;
    // The type of its events as the extension reports it (what the host draws their marks by);
    // 0 when it reports none.
    virtual uint32_t EventType() const { return 0; }
    // Numeric parameters as text in the classic locale: the function name, the number of sources,
    // then every numeric argument in formula order, separated by single spaces
    // (for example "fiducial 2 0.08 0 0.8 1.2 1 1.5 0 0 0 0 0"). Throws CalcError when refused.
    virtual void SetParams(const std::wstring& text) = 0;
    // Starts a record: its sources and the sample interval of the first source.
    virtual void Init(int record, const std::vector<EnumeratorSource>& sources, double sampleInterval) = 0;
    virtual void Seek(int32_t position) = 0;
    // Writes whole event records into buffer (at most buffer.size() / RecordSize()) with positions
    // before endOffset; count gets the number written and next the position to continue from.
    // Returns false when the record has no more events (next is then kEnd). True with no record
    // and next not beyond where the call started: no more events for now (a record that is being
    // sampled has no settled data beyond next yet).
    virtual bool Next(std::span<std::byte> buffer, int32_t endOffset, std::size_t& count, int32_t& next) = 0;
};

struct EnumeratorParam {
    enum class Kind { Samples, Events, Number };
    std::string name;
    Kind kind = Kind::Number;
    double minimum = -std::numeric_limits<double>::max();
    double maximum = std::numeric_limits<double>::max();
};

struct EnumeratorClass {
    std::string functionName; // matched case-insensitively
    std::vector<EnumeratorParam> params; // sources first, then numbers, in formula order
    std::function<std::unique_ptr<IEventEnumerator>()> create;
};

// The parameter text of a call (see IEventEnumerator::SetParams): the function name, the number of
// sources, then the numbers in the classic locale, shortest round trip.
std::wstring FormatEnumeratorParams(
    const EnumeratorClass& cls, const std::vector<double>& numbers, std::size_t sources);

} // namespace vx::calc
