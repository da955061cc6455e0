#pragma once
// Sets of bit positions of unbounded length (channel selections). A set stores a run of 32-bit
// words and a tail flag that says whether every bit beyond the stored words is set, so "every
// channel from 5 on" or the complement of a finite set costs two words.
#include <cstdint>
#include <vector>

#include "foundation/base/SimpleUnknownImp.h"

// A bit set as it crosses interfaces. The holder that drops the last reference on an object of
// another implementation destroys it through DeleteIfUnreferenced.
struct IKELBitset : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0ED42EEC-5E8E-4D50-83DA-BCD139B6BB40}");
    // 1 for KEL::BitsetRep.
    virtual ULONG Kind() = 0;
    // E_FAIL while referenced; otherwise destroys the object and returns S_OK.
    virtual HRESULT DeleteIfUnreferenced() = 0;
    virtual ULONG WordCount() = 0;
    // Copies min(word count, n) words into buffer and the tail (0 or 0xFFFFFFFF) into *tail
    // (when not null); returns 1 when words were left out, else 0.
    virtual ULONG CopyWords(ULONG n, ULONG* buffer, ULONG* tail) = 0;
    // A new copy with one reference.
    virtual IKELBitset* Clone() = 0;

protected:
    ~IKELBitset() = default;
};

namespace KEL {

class BitsetRep final : public SimpleUnknownImp1<IKELBitset, 0> {
public:
    static constexpr ULONG kKind = 1;

    // `words` words, all clear, tail clear, count 0.
    explicit BitsetRep(std::uint32_t words = 2);

    // A new rep (count 0) of max(n, word count, 2) words: the words copied, added words filled
    // with the tail, the same tail.
    BitsetRep* Resize(std::uint32_t n) const;

    // A new rep (count 0) with the value of `other`: null gives an empty rep of 2 words, a rep
    // of this implementation is copied by Resize, any other is copied through its interface.
    static BitsetRep* Clone(IKELBitset* other);

    ULONG Kind() override { return kKind; }
    HRESULT DeleteIfUnreferenced() override;
    ULONG WordCount() override { return static_cast<ULONG>(mWords.size()); }
    ULONG CopyWords(ULONG n, ULONG* buffer, ULONG* tail) override;
    IKELBitset* Clone() override;

    std::uint32_t Words() const noexcept { return static_cast<std::uint32_t>(mWords.size()); }
    std::uint32_t Tail() const noexcept { return mTail; }
    std::uint32_t Word(std::uint32_t i) const noexcept { return mWords[i]; }
    std::uint32_t* WordData() noexcept { return mWords.data(); }
    void SetTail(std::uint32_t tail) noexcept { mTail = tail; }

private:
    std::uint32_t mTail = 0;
    std::vector<std::uint32_t> mWords;
};

// A bit-set value. Copies share one rep and a write first gives the writer a rep of its own
// (copy on write), so a rep handed to the host or to another value is never changed under it.
class Bitset {
public:
    static constexpr std::int32_t kNone = -1;

    // An empty set of `words` stored words (at least 2).
    explicit Bitset(std::uint32_t words = 2);
    // A copy of a set that came through an interface (null: the empty set).
    explicit Bitset(IKELBitset* other);
    Bitset(const Bitset& other) noexcept;
    Bitset(Bitset&& other) noexcept;
    Bitset& operator=(const Bitset& other) noexcept;
    Bitset& operator=(Bitset&& other) noexcept;
    ~Bitset();

    std::uint32_t WordCount() const noexcept { return mRep->Words(); }
    bool TailSet() const noexcept { return mRep->Tail() != 0; }
    std::uint32_t Word(std::uint32_t i) const noexcept { return i < mRep->Words() ? mRep->Word(i) : mRep->Tail(); }

    bool Test(std::uint32_t bit) const noexcept { return (Word(bit / 32) >> (bit % 32)) & 1u; }
    // No bit set: tail clear and every stored word 0.
    bool None() const noexcept;

    void Set(std::uint32_t bit, bool value = true);
    // Sets bits 0 to n-1.
    void SetLowBits(std::uint32_t n);
    // Makes the tail set (every bit beyond the stored words) or clear.
    void SetTail(bool set);
    // Stores at least n words; the value does not change.
    void Resize(std::uint32_t n);

    Bitset& operator|=(const Bitset& other);
    Bitset& operator^=(const Bitset& other);

    // Lowest set bit; with no stored bit set, word count x 32 when the tail is set, else kNone.
    std::int32_t FindFirstSet() const noexcept;

    // The rep, to hand across an interface; the callee takes its own reference if it keeps it.
    IKELBitset* Rep() const noexcept { return mRep; }

    friend bool operator==(const Bitset& a, const Bitset& b) noexcept;
    friend std::uint32_t* BitsetWordForWrite(Bitset& set, std::uint32_t i);

private:
    void MakeOwn(std::uint32_t words);
    void Adopt(BitsetRep* rep) noexcept;

    BitsetRep* mRep = nullptr;
};

// Word i of the set for writing: the set first gets a rep of its own (when shared) holding at
// least i + 1 words. The pointer is good until the set's next change.
std::uint32_t* BitsetWordForWrite(Bitset& set, std::uint32_t i);

} // namespace KEL
