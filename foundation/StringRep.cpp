#include "foundation/StringRep.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "foundation/base/RefCount.h"

namespace KELString {

static_assert(sizeof(StringRep) % alignof(wchar_t) == 0, "the characters follow the header directly");

namespace {

// Holds the static's own reference to the shared empty representation; releasing it at exit
// frees the representation once no other holder is left.
struct EmptyHolder {
    StringRep* rep;
    ~EmptyHolder() { ReleaseRep(rep); }
};

const void* TableOf(const void* object) noexcept
{
    const void* table;
    std::memcpy(&table, object, sizeof table);
    return table;
}

// The table of virtual operations of this module's representations, recorded by the first one
// made: until then no representation of this module exists to be recognised.
std::atomic<const void*> gOwnTable { nullptr };

} // namespace

StringRep* StringRep::Create(std::size_t capacity)
{
    if (capacity > kMaxCapacity)
        throw std::length_error("KEL::String size too big");
    if (capacity < 8)
        capacity = 8;
    void* block = std::malloc(sizeof(StringRep) + capacity * sizeof(wchar_t));
    if (!block)
        throw std::bad_alloc();
    auto* rep = new (block) StringRep;
    rep->mCapacity = static_cast<ULONG>(capacity);
    rep->mLength = 1;
    rep->Text()[0] = 0;
    if (!gOwnTable.load(std::memory_order_relaxed))
        gOwnTable.store(TableOf(rep), std::memory_order_release);
    return rep;
}

StringRep* StringRep::SharedEmpty()
{
    static EmptyHolder holder { [] {
        StringRep* rep = Create(9);
        std::memset(rep->Text(), 0, 9 * sizeof(wchar_t));
        return rep;
    }() };
    holder.rep->AddRef();
    return holder.rep;
}

bool StringRep::IsNative(const IKELString* rep) noexcept
{
    return rep && TableOf(rep) == gOwnTable.load(std::memory_order_acquire);
}

bool StringRep::IsShareable(IKELString* rep) noexcept
{
    if (!rep)
        return false;
    if (IsNative(rep))
        return true;
    ULONG kind = 0;
    return SUCCEEDED(rep->GetKind(&kind)) && kind == KEL::kStringRepKind;
}

HRESULT StringRep::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IKELString::kIid || iid == IAutoKELString::kIid) {
        AddRef();
        *out = static_cast<IKELString*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG StringRep::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG StringRep::Release()
{
    ULONG count = 0;
    if (vx::com::ReleaseCount(mRefCount, count))
        Destroy(true);
    return count;
}

HRESULT StringRep::SetFromBSTR(BSTR text)
{
    if (mRefCount.load() > 1)
        return E_FAIL;
    const UINT count = SysStringLen(text);
    if (text && count >= mCapacity)
        return E_FAIL;
    if (text)
        std::memcpy(Text(), text, count * sizeof(wchar_t));
    Text()[text ? count : 0] = 0;
    mLength = (text ? count : 0) + 1;
    mNarrowKind = kNarrowNone;
    return S_OK;
}

HRESULT StringRep::GetBSTR(BSTR* out)
{
    if (!out)
        return E_FAIL;
    SysFreeString(*out);
    *out = nullptr;
    if (mLength > 1) {
        // The whole text: its characters, not its length in bytes.
        *out = SysAllocStringLen(Text(), mLength - 1);
        if (!*out)
            return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT StringRep::IsEmpty(VARIANT_BOOL* out)
{
    if (!out)
        return E_POINTER;
    *out = mLength < 2 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT StringRep::GetLength(ULONG* out)
{
    if (!out)
        return E_POINTER;
    *out = mLength - 1;
    return S_OK;
}

HRESULT StringRep::IsEqual(IKELString* other, VARIANT_BOOL* out)
{
    if (!out)
        return E_POINTER;
    *out = VARIANT_FALSE;
    if (!other)
        return S_OK;
    if (other == static_cast<IKELString*>(this)) {
        *out = VARIANT_TRUE;
        return S_OK;
    }
    if (IsShareable(other)) {
        auto* rep = static_cast<StringRepBase*>(other);
        const bool equal
            = rep->mLength == mLength && std::memcmp(StringRep::TextOf(rep), Text(), mLength * sizeof(wchar_t)) == 0;
        *out = equal ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    BSTR text = nullptr;
    const HRESULT hr = other->GetBSTR(&text);
    if (FAILED(hr)) {
        SysFreeString(text);
        return hr;
    }
    const UINT count = SysStringLen(text);
    const bool equal = count == mLength - 1 && (count == 0 || std::memcmp(text, Text(), count * sizeof(wchar_t)) == 0);
    SysFreeString(text);
    *out = equal ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT StringRep::IsShared(VARIANT_BOOL* out)
{
    if (!out)
        return E_POINTER;
    *out = mRefCount.load() > 1 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT StringRep::GetKind(ULONG* out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::kStringRepKind;
    return S_OK;
}

HRESULT StringRep::CopyBytes(ULONG bufferBytes, void* buffer)
{
    if (!buffer || bufferBytes < std::size_t(mLength) * sizeof(wchar_t))
        return E_FAIL;
    std::memcpy(buffer, Text(), std::size_t(mLength) * sizeof(wchar_t));
    return S_OK;
}

HRESULT StringRep::GetLengthAndCharSize(ULONG* length, ULONG* charSize)
{
    if (!length || !charSize)
        return E_POINTER;
    *length = mLength - 1;
    *charSize = sizeof(wchar_t);
    return S_OK;
}

HRESULT StringRep::GetCapacity(ULONG* out)
{
    if (!out)
        return E_POINTER;
    *out = mCapacity - 1;
    return S_OK;
}

HRESULT StringRep::CreateNew(ULONG characters, IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    try {
        *out = Create(std::size_t(characters) + 1);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_INVALIDARG;
    }
}

HRESULT StringRep::ToVariant(VARIANT* out)
{
    if (!out)
        return E_POINTER;
    out->vt = VT_BSTR;
    out->bstrVal = nullptr;
    if (mLength > 1) {
        out->bstrVal = SysAllocStringLen(Text(), mLength - 1);
        if (!out->bstrVal)
            return E_OUTOFMEMORY;
    }
    return S_OK;
}

ULONG StringRep::TextLength() const noexcept
{
    return mLength - 1;
}

void StringRep::DeleteSelf() noexcept
{
    Destroy(true);
}

HRESULT StringRep::Reserved() noexcept
{
    return S_OK;
}

wchar_t* StringRep::Text() noexcept
{
    return TextOf(this);
}

void StringRep::Destroy(bool freeBlock) noexcept
{
    std::free(mNarrow);
    mNarrow = nullptr;
    this->~StringRep();
    if (freeBlock)
        std::free(this);
}

void ReleaseRep(StringRepBase* rep) noexcept
{
    ULONG count = 0;
    if (!vx::com::ReleaseCount(rep->mRefCount, count))
        return;
    if (StringRep::IsNative(rep))
        rep->Destroy(true);
    else
        rep->DeleteSelf();
}

} // namespace KELString
