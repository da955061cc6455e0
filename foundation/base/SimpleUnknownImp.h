#pragma once
// Reference-counting bases for objects with one or two interfaces.
#include <atomic>

#include "com/Unknown.h"
#include "foundation/base/RefCount.h"

// One interface I (deriving from IUnknown). The count starts at n: 0 for objects whose creator
// takes the first reference explicitly, 1 for objects born holding their creator's reference.
template <class I, ULONG n = 0> class SimpleUnknownImp1 : public I {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IUnknown::kIid || iid == I::kIid) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    ULONG AddRef() override { return vx::com::AddRefCount(mRefCount); }

    ULONG Release() override
    {
        ULONG count = 0;
        if (vx::com::ReleaseCount(mRefCount, count))
            delete this;
        return count;
    }

    // Declared after the operations of I, so it follows them in the table of virtual operations.
    virtual ~SimpleUnknownImp1() = default;

    // The current count, for tests and diagnostics.
    ULONG RefCount() const noexcept { return mRefCount.load(); }

protected:
    SimpleUnknownImp1() = default;
    SimpleUnknownImp1(const SimpleUnknownImp1&)
        : mRefCount(n)
    {
    }
    SimpleUnknownImp1& operator=(const SimpleUnknownImp1&) { return *this; }

private:
    std::atomic<ULONG> mRefCount { n };
};

// Two interfaces with one count (that of the first base). IUnknown reached through I2 forwards
// to the first base, since the final overriders below serve both.
template <class I1, class I2, ULONG n = 0> class SimpleUnknownImp2 : public SimpleUnknownImp1<I1, n>, public I2 {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == I2::kIid) {
            *out = static_cast<I2*>(this);
            AddRef();
            return S_OK;
        }
        return SimpleUnknownImp1<I1, n>::QueryInterface(iid, out);
    }
    ULONG AddRef() override { return SimpleUnknownImp1<I1, n>::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1<I1, n>::Release(); }
};

// As SimpleUnknownImp2 for an I1 that derives from a further interface I1Base (IPersistStreamInit
// on IPersist); the further base is answered with the first sub-object too.
template <class I1, class I1Base, class I2, ULONG n = 0>
class SimpleUnknownImp2_1 : public SimpleUnknownImp2<I1, I2, n> {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (out && iid == I1Base::kIid) {
            *out = static_cast<I1Base*>(static_cast<I1*>(this));
            this->AddRef();
            return S_OK;
        }
        return SimpleUnknownImp2<I1, I2, n>::QueryInterface(iid, out);
    }
};
