#pragma once
// A place in a recording: a sample offset within a record and the record index. Record
// 0x7FFFFFFF means "not set"; in an end position offset 0x7FFFFFFF is the end of the record and
// record 0x7FFFFFFE the last record.
#include <compare>
#include <cstdint>

namespace HRV {

constexpr std::int32_t kPositionNotSet = 0x7FFFFFFF;
constexpr std::int32_t kLastRecord = 0x7FFFFFFE;

struct Position {
    std::int32_t mOffset = kPositionNotSet;
    std::int32_t mRecord = kPositionNotSet;

    bool IsSet() const noexcept { return mRecord != kPositionNotSet; }
    friend bool operator==(const Position&, const Position&) = default;
    // Ordered by record, then offset.
    friend std::strong_ordering operator<=>(const Position& a, const Position& b) noexcept
    {
        if (auto c = a.mRecord <=> b.mRecord; c != 0)
            return c;
        return a.mOffset <=> b.mOffset;
    }
};

inline constexpr Position kUnsetPosition {};

} // namespace HRV
