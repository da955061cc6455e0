#pragma once
// Cursors through which the extension's enumerators read their sources: the float samples of a
// channel (in blocks of at most 1,024) and the event records of another enumerator (eight at a
// time). Each holds one host source interface and a buffer; all offer the same operations.
#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <vector>

#include "hostframework/interfaces/CalcInterfaces.h"

// The head of every event record: its position in the record and the fraction of a sample.
struct KELEventBase {
    int32_t mPosition;
    float mFraction;
};

namespace EEH3 {

inline constexpr LONG kNoPosition = 0x7FFFFFFF;

class eeh_SourceEnum {
public:
    virtual ~eeh_SourceEnum() = default;
    virtual LONG Position() = 0;
    virtual bool Next() = 0;
    // False at the end; true with a buffered record; otherwise steps to the first one.
    virtual bool IsValid();
    virtual bool IsValidAgain() { return IsValid(); }
    virtual void SeekTo(LONG position) = 0;
    virtual void SetStart(LONG position) = 0;
    virtual HRESULT GetTimeBase(vx::hf::RateRatio* ratio) = 0;
    virtual void Reset();
    virtual bool HasBuffered() const { return mIndex < mCount; }

    bool AtEnd() const { return mAtEnd; }
    bool SeekRequested() const { return mSeekRequested; }
    LONG Limit() const { return mLimit; }
    // A record that is being sampled has grown: data reach a new limit. What was buffered is
    // dropped and the cursor is no longer at its end; it reads on after a SeekTo.
    virtual void SetLimit(LONG limit);

protected:
    eeh_SourceEnum(LONG readLimit, LONG limit)
        : mReadLimit(readLimit)
        , mLimit(limit)
    {
    }

    bool mAtEnd = false;
    LONG mReadLimit;
    LONG mLimit;
    ULONG mIndex = 0;
    ULONG mCount = 0;
    bool mSeekRequested = false;
};

// The samples of a channel, read in blocks of at most kBlock below the limit.
class FloatExWrapper : public eeh_SourceEnum {
public:
    static constexpr ULONG kBlock = 1024;

    // Holds the stream (null: a cursor that only counts positions).
    explicit FloatExWrapper(IFloatStreamEx* stream, LONG limit = kNoPosition);
    ~FloatExWrapper() override;
    FloatExWrapper(const FloatExWrapper&) = delete;
    FloatExWrapper& operator=(const FloatExWrapper&) = delete;

    LONG Position() override;
    bool Next() override;
    bool IsValid() override;
    void SeekTo(LONG position) override;
    void SetStart(LONG position) override;
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override;
    void Reset() override;

    // The current sample (valid while IsValid).
    float Value() const { return HasBuffered() ? mBuffer[mIndex] : 0.0f; }
    LONG BufferStart() const { return mBufferStart; }
    // The stream's length (S_FALSE while its record is being sampled and grows); E_FAIL without a
    // stream.
    HRESULT GetLength(LONG* length) const;
    // A new cursor over the same stream and limit, at its start (the stream is shared: every
    // cursor that reads it seeks it to where it reads first).
    std::unique_ptr<FloatExWrapper> Clone() const { return std::make_unique<FloatExWrapper>(mStream, mLimit); }

private:
    std::vector<float> mBuffer;
    LONG mBufferStart = 0;
    IFloatStreamEx* mStream;
};

// The event records of a source, read eight at a time.
class EventWrapper : public eeh_SourceEnum {
public:
    static constexpr ULONG kCapacity = 8;

    explicit EventWrapper(IEnumEventEx* source, LONG limit = kNoPosition);
    ~EventWrapper() override;
    EventWrapper(const EventWrapper&) = delete;
    EventWrapper& operator=(const EventWrapper&) = delete;

    LONG Position() override;
    bool Next() override;
    void SeekTo(LONG position) override;
    void SetStart(LONG position) override;
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override;

    void SetLimit(LONG limit) override;

    ULONG RecordSize() const { return mReportedRecordSize; }
    // True once a clone reads the same source (it could not be cloned): the source is then not
    // where this cursor's last read left it unless the cursor seeks it there.
    bool SharesSource() const { return mSharedSource; }
    // The bytes of the current record (RecordSize() of them), null when none is buffered.
    const std::byte* Current() const { return HasBuffered() ? mBuffer.data() + mIndex * mRecordSize : nullptr; }

protected:
    // A clone of the source with a reference for the caller, or the source with one more (both
    // cursors then share it).
    IEnumEventEx* CloneSource() const;
    mutable bool mSharedSource = false;

private:
    LONG RecordPosition(ULONG i) const;
    void Empty() { mIndex = mCount = 0; }

    LONG mBufferBytes = -1;
    LONG mRecordSize = -1;
    LONG mCapacity = -1;
    std::vector<std::byte> mBuffer;
    ULONG mReportedRecordSize = 0;
    IEnumEventEx* mSource;
};

// Event records read as a type T that begins with the record's 32-bit position.
template <class T> class EventWrapperEx : public EventWrapper {
public:
    using EventWrapper::EventWrapper;
    // A new cursor with the same limit over a clone of the source (the source itself when it
    // cannot be cloned), at its start.
    std::unique_ptr<EventWrapperEx> Clone() const
    {
        IEnumEventEx* copy = CloneSource();
        auto cursor = std::make_unique<EventWrapperEx>(copy, Limit());
        cursor->mSharedSource = mSharedSource;
        if (copy)
            copy->Release();
        return cursor;
    }
    // Copies the current record into out; false when none is buffered or the records are
    // smaller than T.
    bool Get(T& out) const
    {
        const std::byte* p = Current();
        if (!p || RecordSize() < sizeof(T))
            return false;
        std::memcpy(&out, p, sizeof(T));
        return true;
    }
};

// An owned cursor that is copied by cloning: the source list of an enumerator's parameters,
// copied whole when the enumerator is cloned.
template <class T> class CursorHandle {
public:
    CursorHandle() = default;
    explicit CursorHandle(std::unique_ptr<T> cursor)
        : mCursor(std::move(cursor))
    {
    }
    CursorHandle(const CursorHandle& o)
        : mCursor(o.mCursor ? o.mCursor->Clone() : nullptr)
    {
    }
    CursorHandle& operator=(const CursorHandle& o)
    {
        if (this != &o)
            mCursor = o.mCursor ? o.mCursor->Clone() : nullptr;
        return *this;
    }
    CursorHandle(CursorHandle&&) noexcept = default;
    CursorHandle& operator=(CursorHandle&&) noexcept = default;

    T* operator->() const { return mCursor.get(); }
    T& operator*() const { return *mCursor; }
    explicit operator bool() const { return mCursor != nullptr; }

private:
    std::unique_ptr<T> mCursor;
};

// Two positions {tick, record} read as "a b c d" (records a and c, ticks b and d) from a wide
// stream in the classic locale; out gets b, a, d, c. Unread values keep 0, 0, 0x7FFFFFFF,
// 0x7FFFFFFF; negative starts become 0 and negative ends 0x7FFFFFFF.
void ReadIntRect(std::wistream& in, int32_t out[4]);

// The unit of the selector enumerator's output: a new unit named "?" without prefix, with one
// reference for the caller.
HRESULT SelectorUnit(IUnitName** out);

} // namespace EEH3
