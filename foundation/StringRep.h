#pragma once
// The representation behind KEL::String: one heap block holding a header and, directly behind it,
// the characters. A KEL::String points at the first character, so the header sits at a fixed
// distance before the text it holds. Representations made by another module built on this
// library have the same layout and report the same kind, and are shared the same way; they are
// told apart by their table of virtual operations, and each is destroyed by its own module.
#include <atomic>
#include <cstddef>

#include "foundation/IKELString.h"

namespace KELString {

class StringRepBase : public IKELString {
public:
    // Operations after the interface, in this order.
    virtual ULONG TextLength() const noexcept = 0; // characters without the terminator
    virtual void DeleteSelf() noexcept = 0; // Destroy(true)
    virtual HRESULT Reserved() noexcept = 0; // does nothing
    virtual wchar_t* Text() noexcept = 0; // the first character
    virtual void Destroy(bool freeBlock) noexcept = 0; // frees the narrow copy, then the block when asked

    // What the narrow copy holds.
    enum NarrowKind : ULONG { kNarrowNone = 0, kNarrowThreadAcp = 1, kNarrowUtf8 = 2 };

    char* mNarrow = nullptr; // last narrow conversion of the text, or null
    ULONG mNarrowKind = kNarrowNone;
    std::atomic<ULONG> mRefCount { 1 };
    ULONG mCapacity = 0; // characters the block holds, terminator included
    ULONG mLength = 1; // characters in use, terminator included

protected:
    StringRepBase() = default;
    ~StringRepBase() = default;
};

class StringRep final : public StringRepBase {
public:
    // The largest capacity a representation may have.
    static constexpr std::size_t kMaxCapacity = 0x7FFFFFFF;

    // A new representation with one reference, capacity max(capacity, 8) and an empty text.
    // Throws std::length_error above kMaxCapacity and std::bad_alloc when memory runs out.
    static StringRep* Create(std::size_t capacity);
    // The one empty representation of this module, with a reference added for the caller.
    static StringRep* SharedEmpty();
    // Whether a representation has this layout and can be shared: this module's own, or another
    // module's of the same kind.
    static bool IsShareable(IKELString* rep) noexcept;
    // Whether the representation was made by this module.
    static bool IsNative(const IKELString* rep) noexcept;

    static StringRepBase* FromText(const wchar_t* text) noexcept
    {
        return reinterpret_cast<StringRepBase*>(
            reinterpret_cast<char*>(const_cast<wchar_t*>(text)) - sizeof(StringRep));
    }
    static wchar_t* TextOf(StringRepBase* rep) noexcept
    {
        return reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(rep) + sizeof(StringRep));
    }

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SetFromBSTR(BSTR text) override;
    HRESULT GetBSTR(BSTR* out) override;
    HRESULT IsEmpty(VARIANT_BOOL* out) override;
    HRESULT GetLength(ULONG* out) override;
    HRESULT IsEqual(IKELString* other, VARIANT_BOOL* out) override;
    HRESULT IsShared(VARIANT_BOOL* out) override;
    HRESULT GetKind(ULONG* out) override;
    HRESULT CopyBytes(ULONG bufferBytes, void* buffer) override;
    HRESULT GetLengthAndCharSize(ULONG* length, ULONG* charSize) override;
    HRESULT GetCapacity(ULONG* out) override;
    HRESULT CreateNew(ULONG characters, IKELString** out) override;
    HRESULT ToVariant(VARIANT* out) override;
    ULONG TextLength() const noexcept override;
    void DeleteSelf() noexcept override;
    HRESULT Reserved() noexcept override;
    wchar_t* Text() noexcept override;
    void Destroy(bool freeBlock) noexcept override;

private:
    StringRep() = default;
    ~StringRep() = default;
};

// Releases one reference held on a representation; the last release destroys it through the
// module that made it.
void ReleaseRep(StringRepBase* rep) noexcept;

} // namespace KELString
