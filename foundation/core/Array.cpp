#include "foundation/core/Array.h"

#include <cstdlib>

namespace KEL::detail {

std::uint32_t HalfAgain(std::uint32_t capacity)
{
    std::uint64_t grown = (std::uint64_t { capacity } * 3 + 1) / 2;
    if (grown > UINT32_MAX)
        throw std::bad_alloc();
    return static_cast<std::uint32_t>(grown);
}

std::uint32_t GrownCapacity(std::uint32_t capacity, std::uint32_t needed, std::uint32_t growBy, bool growByHalf)
{
    std::uint64_t step = growBy ? growBy : 1;
    std::uint64_t grown = step - needed % step + needed;
    if (growByHalf) {
        std::uint64_t half = (std::uint64_t { capacity } * 3 + 1) / 2;
        if (half > grown)
            grown = half;
    }
    if (grown > UINT32_MAX)
        throw std::bad_alloc();
    return static_cast<std::uint32_t>(grown);
}

} // namespace KEL::detail

Array<void*>::Array(std::uint32_t capacity, std::uint32_t growBy, bool ownsElements, bool growByHalf)
    : mGrowBy(growBy)
    , mOwnsElements(ownsElements)
    , mGrowByHalf(growByHalf)
{
    if (capacity)
        Reallocate(capacity, 0);
}

Array<void*>::~Array()
{
    std::free(mElements);
}

void Array<void*>::Reallocate(std::uint32_t newCapacity, std::uint32_t oldCapacity)
{
    if (static_cast<std::uint64_t>(newCapacity) > SIZE_MAX / sizeof(void*))
        throw std::bad_alloc();
    auto** slots = static_cast<void**>(std::calloc(newCapacity ? newCapacity : 1, sizeof(void*)));
    if (!slots)
        throw std::bad_alloc();
    std::uint32_t keep = oldCapacity < newCapacity ? oldCapacity : newCapacity;
    if (keep > mCount)
        keep = mCount;
    if (keep)
        std::memcpy(slots, mElements, keep * sizeof(void*));
    std::free(mElements);
    mElements = slots;
    mCapacity = newCapacity;
}

void Array<void*>::SetSize(std::uint32_t n)
{
    if (n <= mCount)
        return;
    if (n > mCapacity)
        Reallocate(KEL::detail::GrownCapacity(mCapacity, n, mGrowBy, mGrowByHalf), mCapacity);
    for (std::uint32_t i = mCount; i < n; ++i)
        mElements[i] = nullptr;
    mCount = n;
}

void*& Array<void*>::GetAtGrow(std::uint32_t i)
{
    if (i >= mCount) {
        if (i == UINT32_MAX)
            throw std::bad_alloc();
        if (i >= mCapacity) {
            std::uint64_t grown = std::uint64_t { i } + mGrowBy;
            if (mGrowByHalf) {
                std::uint64_t half = (std::uint64_t { mCapacity } * 3 + 1) / 2;
                if (half > grown)
                    grown = half;
            }
            // A step of 0 would leave slot i outside the allocation; SetSize below then grows
            // by its own rule.
            if (grown > i && grown <= UINT32_MAX)
                Reallocate(static_cast<std::uint32_t>(grown), mCapacity);
        }
        SetSize(i + 1);
    }
    return mElements[i];
}

std::uint32_t Array<void*>::Add(void* p)
{
    std::uint32_t i = mCount;
    GetAtGrow(i) = p;
    return i;
}

bool Array<void*>::RemoveRange(std::uint32_t first, std::uint32_t end)
{
    if (end > mCount)
        end = mCount;
    if (first >= end)
        return false;
    if (mOwnsElements)
        ReleaseRange(first, end);
    // Releasing may have let an element remove others; work with the count as it is now.
    if (end > mCount)
        end = mCount;
    if (first >= end)
        return true;
    std::memmove(mElements + first, mElements + end, (mCount - end) * sizeof(void*));
    std::uint32_t removed = end - first;
    for (std::uint32_t i = mCount - removed; i < mCount; ++i)
        mElements[i] = nullptr;
    mCount -= removed;
    return true;
}

std::int64_t Array<void*>::Find(const void* p) const noexcept
{
    for (std::uint32_t i = 0; i < mCount; ++i)
        if (mElements[i] == p)
            return i;
    return -1;
}

void Array<void*>::ReleaseAll()
{
    if (mOwnsElements && mCount)
        ReleaseRange(0, mCount);
    mCount = 0;
}
