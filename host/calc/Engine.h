#pragma once
// The host's calculation engine: named formula channels over a recording, evaluated block by block
// on demand. The host calls it from its user-interface thread; stages that an extension
// enumerator reads may be computed ahead of it on worker threads (see ReadAhead.h), which never
// touch the objects the host's thread uses.
#include "host/calc/Enumerator.h"
#include "host/calc/Functions.h"
#include "host/calc/Signal.h"

#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx::calc {

struct Node;

// What the engine reads: the recorded channels of a document. The bridge to the host document
// implements it.
class IRecording {
public:
    virtual ~IRecording() = default;
    virtual int RecordCount() const = 0;
    virtual int ChannelCount() const = 0;
    // Length and sample interval of a channel in a record; length 0 when it holds no data there.
    virtual TimeBase ChannelInfo(int channel, int record) const = 0;
    // The time base of formulas that read no channel (sinewave(f), constants): the record's tick
    // rate and length.
    virtual TimeBase RecordInfo(int record) const = 0;
    // Samples [start, start + out.size()), inside the channel's length, in physical units (or raw
    // ADC units when raw is set).
    virtual void ReadChannel(int channel, int record, int64_t start, std::span<float> out, bool raw) = 0;
    // True when the record's samples, and the channels and records of the recording, stay as they
    // are for as long as this holds, and ReadChannel may then be called from several threads at
    // once: the engine computes its stages ahead of an enumerator on worker threads. A recording
    // that is being sampled answers false.
    virtual bool ReadsConcurrently(int record) const
    {
        (void)record;
        return false;
    }
};

// A compiled formula: a sampled channel or an event channel.
struct Compiled {
    SignalPtr samples;
    EventSignalPtr events;
    bool IsEvents() const { return events != nullptr; }
};

class Engine {
public:
    explicit Engine(std::shared_ptr<IRecording> recording);
    ~Engine();

    // Makes a formula function of an extension enumerator callable ("fiducial(...)"). A name
    // that is already taken (built-in or registered) is refused with CalcError.
    void RegisterEnumerator(EnumeratorClass enumeratorClass);

    // Creates a named channel without a formula if it does not exist.
    void AddChannel(const std::wstring& name);
    // Parses, compiles and checks the formula against every record, then replaces the channel's
    // formula (creating the channel when needed). On any error it throws FormulaError/CalcError
    // and leaves the channel's previous formula in place.
    void SetFormula(const std::wstring& name, std::wstring_view formula);
    void RemoveChannel(const std::wstring& name);
    bool HasChannel(const std::wstring& name) const;
    std::wstring Formula(const std::wstring& name) const;
    // Lets vCh<n> (0-based n here) name the formula channel shown in position n.
    void BindChannelNumber(const std::wstring& name, int index);
    // Worker threads that compute the engine's stages ahead of an extension enumerator in records
    // that allow it (IRecording::ReadsConcurrently); 0 computes everything on the calling thread.
    // The default is one fewer than the hardware threads, at most 4: beyond that the enumerator's
    // own thread is the bottleneck and every worker costs a few MB. Results are the same whatever
    // the number.
    void SetWorkerThreads(int count);

    // The current compiled form of a named channel; throws CalcError when it has no formula or
    // its formula no longer compiles (for example a channel it names was removed).
    Compiled Channel(const std::wstring& name);
    // Compiles an unnamed formula (a calculation the host evaluates directly). It reads the named
    // channels as they are now.
    Compiled Compile(std::wstring_view formula);

private:
    struct Slot;
    struct CompileContext;
    // Recompiles the named channel and every channel that depends on it (all channels when the
    // name is empty); the others keep their compiled nodes and caches.
    void Rebuild(const std::wstring& changed = {});
    std::set<std::wstring> Dependants(const std::wstring& changed) const;
    Compiled CompileSlot(const std::wstring& name, CompileContext& ctx, std::size_t position);
    void Validate(const Compiled& c);
    bool BuiltinsOnly(const Node& node, std::set<std::wstring>& visited) const;

    std::shared_ptr<IRecording> mRecording;
    std::map<std::wstring, EnumeratorClass> mEnumerators; // key: lower-case function name
    std::map<std::wstring, std::unique_ptr<Slot>> mSlots;
    std::map<int, std::wstring> mBoundNumbers;
    std::shared_ptr<Signal> mRecordTimeBase;
    std::vector<SignalPtr> mRawChannels;
    int mWorkerThreads = 0;
};

} // namespace vx::calc
