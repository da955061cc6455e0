#include "foundation/core/Bitset.h"

#include <algorithm>
#include <bit>
#include <new>

namespace KEL {

namespace {
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;
} // namespace

BitsetRep::BitsetRep(std::uint32_t words)
    : mWords(words, 0u)
{
}

BitsetRep* BitsetRep::Resize(std::uint32_t n) const
{
    std::uint32_t words = std::max({ n, Words(), 2u });
    std::vector<std::uint32_t> copy(mWords);
    copy.resize(words, mTail);
    auto* rep = new BitsetRep(0);
    rep->mWords = std::move(copy);
    rep->mTail = mTail;
    return rep;
}

BitsetRep* BitsetRep::Clone(IKELBitset* other)
{
    if (!other)
        return new BitsetRep(2);
    // Only a rep whose type is known to be ours is read directly; another implementation is
    // read through its interface even when it reports our kind.
    if (auto* own = dynamic_cast<BitsetRep*>(other))
        return own->Resize(0);
    ULONG words = other->WordCount();
    auto* rep = new BitsetRep(std::max<ULONG>(words, 2));
    ULONG tail = 0;
    other->CopyWords(words, rep->mWords.data(), &tail);
    rep->mTail = tail ? kAllOnes : 0;
    return rep;
}

HRESULT BitsetRep::DeleteIfUnreferenced()
{
    if (RefCount() != 0)
        return E_FAIL;
    delete this;
    return S_OK;
}

ULONG BitsetRep::CopyWords(ULONG n, ULONG* buffer, ULONG* tail)
{
    ULONG copied = std::min<ULONG>(n, Words());
    if (buffer && copied)
        std::copy_n(mWords.begin(), copied, buffer);
    if (tail)
        *tail = mTail;
    return copied < Words() ? 1 : 0;
}

IKELBitset* BitsetRep::Clone()
{
    BitsetRep* copy = Resize(0);
    copy->AddRef();
    return copy;
}

Bitset::Bitset(std::uint32_t words)
{
    Adopt(new BitsetRep(std::max(words, 2u)));
}

Bitset::Bitset(IKELBitset* other)
{
    Adopt(BitsetRep::Clone(other));
}

Bitset::Bitset(const Bitset& other) noexcept
    : mRep(other.mRep)
{
    mRep->AddRef();
}

// A moved-from value keeps sharing the rep, so it stays a usable set and the move cannot fail.
Bitset::Bitset(Bitset&& other) noexcept
    : Bitset(static_cast<const Bitset&>(other))
{
}

Bitset& Bitset::operator=(const Bitset& other) noexcept
{
    if (mRep != other.mRep) {
        other.mRep->AddRef();
        mRep->Release();
        mRep = other.mRep;
    }
    return *this;
}

Bitset& Bitset::operator=(Bitset&& other) noexcept
{
    return *this = static_cast<const Bitset&>(other);
}

Bitset::~Bitset()
{
    // Our reps destroy themselves on the last Release, with the count parked by the guarded
    // release helper before the destructor runs.
    if (mRep)
        mRep->Release();
    mRep = nullptr;
}

void Bitset::Adopt(BitsetRep* rep) noexcept
{
    rep->AddRef();
    if (mRep)
        mRep->Release();
    mRep = rep;
}

void Bitset::MakeOwn(std::uint32_t words)
{
    if (mRep->RefCount() == 1 && words <= mRep->Words())
        return;
    Adopt(mRep->Resize(words));
}

std::uint32_t* BitsetWordForWrite(Bitset& set, std::uint32_t i)
{
    if (i == UINT32_MAX)
        throw std::bad_alloc();
    set.MakeOwn(i + 1);
    return set.mRep->WordData() + i;
}

bool Bitset::None() const noexcept
{
    if (mRep->Tail())
        return false;
    for (std::uint32_t i = 0; i < mRep->Words(); ++i)
        if (mRep->Word(i))
            return false;
    return true;
}

void Bitset::Set(std::uint32_t bit, bool value)
{
    if (Test(bit) == value)
        return;
    *BitsetWordForWrite(*this, bit / 32) ^= 1u << (bit % 32);
}

void Bitset::SetLowBits(std::uint32_t n)
{
    if (n == 0)
        return;
    std::uint32_t last = (n - 1) / 32;
    MakeOwn(last + 1);
    std::uint32_t* words = mRep->WordData();
    for (std::uint32_t i = 0; i < last; ++i)
        words[i] = kAllOnes;
    std::uint32_t rest = n - last * 32;
    words[last] |= rest == 32 ? kAllOnes : (1u << rest) - 1;
}

void Bitset::SetTail(bool set)
{
    if (TailSet() == set)
        return;
    MakeOwn(0);
    mRep->SetTail(set ? kAllOnes : 0);
}

void Bitset::Resize(std::uint32_t n)
{
    if (n > mRep->Words())
        MakeOwn(n);
}

Bitset& Bitset::operator|=(const Bitset& other)
{
    // Hold the right operand's rep: it may be this set's own.
    const Bitset b(other);
    std::uint32_t lb = b.WordCount();
    // Where the right operand stores more words than the left and the left's tail is clear, its
    // words decide the union there; the left grows to hold them all, since a zero word of the
    // right must stay clear even when the right's tail is set.
    if (lb > WordCount() && !TailSet())
        MakeOwn(lb);
    else
        MakeOwn(0);
    std::uint32_t la = WordCount();
    std::uint32_t* words = mRep->WordData();
    std::uint32_t common = std::min(la, lb);
    for (std::uint32_t i = 0; i < common; ++i)
        words[i] |= b.mRep->Word(i);
    if (b.TailSet())
        for (std::uint32_t i = lb; i < la; ++i)
            words[i] = kAllOnes;
    mRep->SetTail(mRep->Tail() | b.mRep->Tail());
    return *this;
}

Bitset& Bitset::operator^=(const Bitset& other)
{
    const Bitset b(other);
    std::uint32_t lb = b.WordCount();
    // The left grows to the right's word count first, so every stored word of the right,
    // zero or not, meets the left's own bits there before the tails are combined.
    MakeOwn(lb);
    std::uint32_t la = WordCount();
    std::uint32_t* words = mRep->WordData();
    for (std::uint32_t i = 0; i < lb; ++i)
        words[i] ^= b.mRep->Word(i);
    if (b.TailSet())
        for (std::uint32_t i = lb; i < la; ++i)
            words[i] = ~words[i];
    mRep->SetTail(mRep->Tail() ^ b.mRep->Tail());
    return *this;
}

std::int32_t Bitset::FindFirstSet() const noexcept
{
    for (std::uint32_t i = 0; i < mRep->Words(); ++i)
        if (std::uint32_t word = mRep->Word(i))
            return static_cast<std::int32_t>(i * 32 + static_cast<std::uint32_t>(std::countr_zero(word)));
    return mRep->Tail() ? static_cast<std::int32_t>(mRep->Words() * 32) : kNone;
}

bool operator==(const Bitset& a, const Bitset& b) noexcept
{
    std::uint32_t words = std::max(a.WordCount(), b.WordCount());
    for (std::uint32_t i = 0; i < words; ++i)
        if (a.Word(i) != b.Word(i))
            return false;
    return a.TailSet() == b.TailSet();
}

} // namespace KEL
