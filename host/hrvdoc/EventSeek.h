#pragma once
// The seek both of the document's event enumerations make on records held in order of position.
#include <cstddef>
#include <cstdint>

namespace vx::host {

// The index of the first of `count` events at or after `start`; with `backward`, that of the last
// event before it when none stands exactly there. `position(i)` gives event i's position.
template <class PositionOf> std::size_t SeekEvent(std::size_t count, PositionOf position, int32_t start, bool backward)
{
    std::size_t i = 0;
    while (i < count && position(i) < start)
        ++i;
    if (backward && i > 0 && (i == count || position(i) != start))
        --i;
    return i;
}

} // namespace vx::host
