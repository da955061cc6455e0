#pragma once
// Tick positions: one 64-bit value with the record in the high 32 bits and the sample offset in
// the low 32 bits; 0x7FFFFFFF in either half means "not set".
#include <cstdint>

namespace vx::hf {
inline constexpr std::int64_t MakeTickPosition(std::int32_t record, std::int32_t offset)
{
    return static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(record)) << 32) | static_cast<std::uint32_t>(offset));
}
inline constexpr std::int32_t TickRecord(std::int64_t p)
{
    return static_cast<std::int32_t>(static_cast<std::uint64_t>(p) >> 32);
}
inline constexpr std::int32_t TickOffset(std::int64_t p)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p));
}
inline constexpr std::int64_t kNoTickPosition = MakeTickPosition(0x7FFFFFFF, 0x7FFFFFFF);
} // namespace vx::hf
