#pragma once
// The growable arrays of pointers in which the libraries keep their lists: raw pointers
// (CArrayVoidP), held interfaces (IUnknownArray, InterfaceArray), owned or weakly held objects
// (CIArray with a deletion policy, WeakInterfaceArray), and small values constructed in place
// (CArrayCtor, CArrayCtorInit).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "com/Unknown.h"

namespace KEL::detail {

// The capacity that the growth rules give for `needed` slots: the next multiple of the step
// strictly above `needed`, or with grow-by-half at least 1.5 times the current capacity. A step
// of 0 counts as 1, so an array built with it still grows one slot at a time instead of dividing
// by zero. Throws std::bad_alloc when the result does not fit in 32 bits.
std::uint32_t GrownCapacity(std::uint32_t capacity, std::uint32_t needed, std::uint32_t growBy, bool growByHalf);

// (capacity x 3 + 1) / 2 without wrapping; std::bad_alloc past 32 bits.
std::uint32_t HalfAgain(std::uint32_t capacity);

} // namespace KEL::detail

template <class T> class Array;

// The common base of the pointer arrays. Slots beyond the count are always null.
template <> class Array<void*> {
public:
    Array(std::uint32_t capacity, std::uint32_t growBy, bool ownsElements, bool growByHalf);
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    virtual ~Array();

    std::uint32_t Count() const noexcept { return mCount; }
    std::uint32_t Capacity() const noexcept { return mCapacity; }
    std::uint32_t GrowBy() const noexcept { return mGrowBy; }
    bool OwnsElements() const noexcept { return mOwnsElements; }
    bool GrowByHalf() const noexcept { return mGrowByHalf; }

    // Slot i, which must be below the count.
    void* GetAt(std::uint32_t i) const noexcept { return mElements[i]; }

    // Only grows: a smaller n changes nothing. New slots are null.
    void SetSize(std::uint32_t n);

    // A reference to slot i, growing the array so that it holds slot i.
    void*& GetAtGrow(std::uint32_t i);

    // Appends p and returns its index.
    std::uint32_t Add(void* p);

    // Removes the slots [first, end) (end clipped to the count); when the array owns its elements
    // they are released first. False when there was nothing to remove.
    bool RemoveRange(std::uint32_t first, std::uint32_t end);

protected:
    // Moves the slots into a new allocation of newCapacity slots.
    virtual void Reallocate(std::uint32_t newCapacity, std::uint32_t oldCapacity);
    // Gives up the elements of [first, end); the plain array has nothing to give up.
    virtual void ReleaseRange(std::uint32_t, std::uint32_t) { }

    // Index of the first slot holding p, or -1.
    std::int64_t Find(const void* p) const noexcept;
    // Releases every element and empties the array; for the destructors of owning arrays.
    void ReleaseAll();

    void** Slots() const noexcept { return mElements; }

private:
    std::uint32_t mCapacity = 0;
    void** mElements = nullptr;
    std::uint32_t mCount = 0;
    std::uint32_t mGrowBy = 0;
    bool mOwnsElements = false;
    bool mGrowByHalf = false;
};

// Raw pointers, never released.
class CArrayVoidP : public Array<void*> {
public:
    explicit CArrayVoidP(std::uint32_t capacity = 0, std::uint32_t growBy = 8)
        : Array(capacity, growBy, false, false)
    {
    }
};

// Held interfaces: every stored interface carries one reference, given up on removal.
class IUnknownArray : public Array<void*> {
public:
    IUnknownArray()
        : Array(8, 8, true, true)
    {
    }
    ~IUnknownArray() override { ReleaseAll(); }

    // Stores p (which may be null) with a reference of its own; returns its index.
    std::uint32_t Add(IUnknown* p)
    {
        if (p)
            p->AddRef();
        try {
            return Array<void*>::Add(p);
        } catch (...) {
            if (p)
                p->Release();
            throw;
        }
    }

    // Releases the interface in slot i (when not null) and closes the gap. Nothing for i at or
    // above the count.
    void RemoveAt(std::uint32_t i)
    {
        if (i >= Count())
            return;
        ReleaseOne(i);
        RemoveRange(i, i + 1);
    }

protected:
    // Last first; each slot is nulled before its Release, so an object that looks at the array
    // while it goes never sees itself.
    void ReleaseRange(std::uint32_t first, std::uint32_t end) override
    {
        for (std::uint32_t i = end; i > first; --i)
            ReleaseOne(i - 1);
    }

private:
    void ReleaseOne(std::uint32_t i)
    {
        auto* p = static_cast<IUnknown*>(Slots()[i]);
        Slots()[i] = nullptr;
        if (p)
            p->Release();
    }
};

template <class I> class InterfaceArray : public IUnknownArray {
public:
    I* operator[](std::uint32_t i) const noexcept { return static_cast<I*>(static_cast<IUnknown*>(GetAt(i))); }
    std::uint32_t Add(I* p) { return IUnknownArray::Add(p); }
    // Index of p, or -1.
    std::int64_t IndexOf(const I* p) const noexcept { return Find(static_cast<const IUnknown*>(p)); }
};

// Deletion policies of CIArray.
template <class T> struct CIArray_CallDelete {
    static void Delete(T* p) { delete p; }
};
template <class T> struct CIArray_NeverCallDeleteAtRuntime {
    static void Delete(T*) { }
};

// Owned (or, with CIArray_NeverCallDeleteAtRuntime, merely listed) objects.
template <class T, class Policy = CIArray_CallDelete<T>> class CIArray : public Array<void*> {
public:
    explicit CIArray(std::uint32_t capacity = 0, std::uint32_t growBy = 8, bool growByHalf = false)
        : Array(capacity, growBy, true, growByHalf)
    {
    }
    ~CIArray() override { ReleaseAll(); }

    T* operator[](std::uint32_t i) const noexcept { return static_cast<T*>(GetAt(i)); }

    // Appends p; the array owns it from here on (it is deleted even when growing fails).
    std::uint32_t Add(T* p)
    {
        try {
            return Array::Add(p);
        } catch (...) {
            Policy::Delete(p);
            throw;
        }
    }

    virtual std::int64_t IndexOf(const T* p) const noexcept { return Find(p); }

protected:
    // From the end of the range down to its first slot, each slot nulled before its deletion.
    void ReleaseRange(std::uint32_t first, std::uint32_t end) override
    {
        for (std::uint32_t i = end; i > first; --i) {
            T* p = static_cast<T*>(Slots()[i - 1]);
            Slots()[i - 1] = nullptr;
            if (p)
                Policy::Delete(p);
        }
    }
};

// Interfaces listed without a reference of their own.
template <class I> using WeakInterfaceArray = CIArray<I, CIArray_NeverCallDeleteAtRuntime<I>>;

// Small values (colours, 32-bit numbers, cluster entries) stored in place. kGrowBy is the growth
// step and kInitialCapacity the capacity allocated at construction; the libraries use 1 and 1.
template <class T, std::uint32_t kGrowBy = 1, std::uint32_t kInitialCapacity = 1> class CArrayCtor {
    static_assert(std::is_trivially_copyable_v<T>, "values are moved by copying their bytes");

public:
    CArrayCtor() { Reallocate(kInitialCapacity); }
    CArrayCtor(const CArrayCtor&) = delete;
    CArrayCtor& operator=(const CArrayCtor&) = delete;
    virtual ~CArrayCtor()
    {
        mCount = 0;
        ::operator delete(mElements);
    }

    std::uint32_t Count() const noexcept { return mCount; }
    std::uint32_t Capacity() const noexcept { return mCapacity; }
    std::uint32_t GrowBy() const noexcept { return mGrowBy; }
    T& operator[](std::uint32_t i) noexcept { return mElements[i]; }
    const T& operator[](std::uint32_t i) const noexcept { return mElements[i]; }
    T* Data() noexcept { return mElements; }

    // Moves the values into an allocation of exactly `capacity` values; values beyond it are
    // dropped. Throws std::bad_alloc with the array unchanged.
    virtual void Reallocate(std::uint32_t capacity)
    {
        T* elements = static_cast<T*>(::operator new(static_cast<std::size_t>(capacity) * sizeof(T)));
        std::uint32_t keep = mCount < capacity ? mCount : capacity;
        if (keep)
            std::memcpy(static_cast<void*>(elements), mElements, static_cast<std::size_t>(keep) * sizeof(T));
        ::operator delete(mElements);
        mElements = elements;
        mCapacity = capacity;
        mCount = keep;
    }

protected:
    T* mElements = nullptr;
    std::uint32_t mCapacity = 0;
    std::uint32_t mCount = 0;
    std::uint32_t mGrowBy = kGrowBy;
};

template <class T, std::uint32_t kGrowBy = 1, std::uint32_t kInitialCapacity = 1>
class CArrayCtorInit : public CArrayCtor<T, kGrowBy, kInitialCapacity> {
    using Base = CArrayCtor<T, kGrowBy, kInitialCapacity>;

public:
    // Makes the count n, new values 0. Growing past the capacity reallocates to the larger of
    // 1.5 times the capacity and the next multiple of the step above n. False, with the array
    // unchanged, when the memory cannot be had.
    virtual bool GrowToSize(std::uint32_t n)
    {
        if (n <= this->mCount)
            return true;
        if (n > this->mCapacity) {
            try {
                std::uint32_t half = KEL::detail::HalfAgain(this->mCapacity);
                std::uint32_t multiple = KEL::detail::GrownCapacity(this->mCapacity, n, this->mGrowBy, false);
                this->Reallocate(half > multiple ? half : multiple);
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        ConstructUpTo(n);
        return true;
    }

    // Zero-initialises the values from the count up to n (at most the capacity) and makes that
    // the count.
    virtual void ConstructUpTo(std::uint32_t n)
    {
        if (n > this->mCapacity)
            n = this->mCapacity;
        for (std::uint32_t i = this->mCount; i < n; ++i)
            new (&this->mElements[i]) T {};
        if (n > this->mCount)
            this->mCount = n;
    }

    // Appends a value; false when the memory cannot be had.
    bool Add(const T& value)
    {
        std::uint32_t i = this->mCount;
        if (i == UINT32_MAX || !GrowToSize(i + 1))
            return false;
        this->mElements[i] = value;
        return true;
    }
};
