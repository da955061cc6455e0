#include "foundation/storage/ElementTable.h"

#include <algorithm>

#include "foundation/storage/ElementName.h"
#include "foundation/storage/StorageAllocator.h"
#include "foundation/storage/StorageError.h"

namespace KEL {

using namespace StorageFormat;

ElementRecord Element::ToRecord() const
{
    ElementRecord r;
    r.name = name;
    r.firstCluster = FirstCluster();
    r.size = end.position;
    r.endCluster = end.cluster;
    r.mtime = mtime;
    r.ctime = ctime;
    r.atime = atime;
    r.clsid = clsid;
    r.stateBits = stateBits;
    r.type = type;
    return r;
}

void Element::FromRecord(const ElementRecord& r)
{
    name = r.name;
    type = r.type;
    start = { 0, r.firstCluster };
    end = { r.size, r.endCluster };
    mtime = r.mtime;
    ctime = r.ctime;
    atime = r.atime;
    clsid = r.clsid;
    stateBits = r.stateBits;
}

void ClampCursors(Element& element, std::uint64_t size)
{
    for (Cursor* cursor : element.cursors)
        if (cursor->position > size)
            cursor->position = size;
}

void MarkElementChanged(Element& element)
{
    element.changed = true;
    if (element.owner)
        element.owner->dirChanged = true;
}

HRESULT ReadElementData(StorageAllocator& allocator, const Element& element, std::vector<std::uint8_t>& out)
{
    out.assign(static_cast<std::size_t>(element.Size()), 0);
    Cursor cursor = element.start;
    std::size_t done = 0;
    while (done < out.size()) {
        ULONG got = 0;
        const ULONG want = static_cast<ULONG>(std::min<std::size_t>(out.size() - done, kClusterSize));
        const HRESULT hr = allocator.ReadChunk(element, cursor, out.data() + done, want, &got);
        if (FAILED(hr))
            return hr;
        if (got == 0)
            return STG_E_DOCFILECORRUPT;
        done += got;
    }
    return S_OK;
}

ElementTable::ElementTable(StorageAllocator& allocator, Element& self)
    : mAllocator(allocator)
    , mSelf(self)
{
}

HRESULT ElementTable::Load()
{
    mChildren.clear();
    const std::uint64_t size = mSelf.Size();
    if (size == 0)
        return mSelf.loadResult = S_OK; // a storage never committed has an empty directory
    if (size < kDirectoryHeaderSize || size > kDirectoryHeaderSize + kRecordSize * kMaxElements)
        return mSelf.loadResult = STG_E_DOCFILECORRUPT;
    std::vector<std::uint8_t> bytes;
    HRESULT hr = ReadElementData(mAllocator, mSelf, bytes);
    if (FAILED(hr))
        return mSelf.loadResult = hr;
    const std::uint32_t n = GetU32(bytes.data());
    if (n + GetU32(bytes.data() + 4) != 0 || n > kMaxElements
        || size != kDirectoryHeaderSize + std::uint64_t(n) * kRecordSize)
        return mSelf.loadResult = STG_E_DOCFILECORRUPT;
    for (std::uint32_t i = 0; i < n; ++i) {
        ElementRecord record;
        if (!DecodeRecord(bytes.data() + kDirectoryHeaderSize + i * kRecordSize, record) || record.name.empty()) {
            mChildren.clear();
            return mSelf.loadResult = STG_E_DOCFILECORRUPT;
        }
        auto element = std::make_unique<Element>();
        element->FromRecord(record);
        element->owner = this;
        element->loadResult = S_OK;
        element->committedOnce = true;
        mChildren.push_back(std::move(element));
    }
    return mSelf.loadResult = S_OK;
}

HRESULT ElementTable::Write()
{
    std::vector<std::uint8_t> bytes(kDirectoryHeaderSize + kRecordSize * mChildren.size());
    const auto n = static_cast<std::uint32_t>(mChildren.size());
    PutU32(bytes.data(), n);
    PutU32(bytes.data() + 4, 0u - n);
    for (std::size_t i = 0; i < mChildren.size(); ++i)
        EncodeRecord(mChildren[i]->ToRecord(), bytes.data() + kDirectoryHeaderSize + i * kRecordSize);
    // The directory always goes to fresh clusters: the committed one stays intact until the
    // commit that replaces it has reached the file.
    mAllocator.ReleaseChain(mSelf);
    HRESULT hr = mAllocator.EnsureFirstCluster(mSelf);
    if (FAILED(hr))
        return hr;
    Cursor cursor = mSelf.start;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ULONG wrote = 0;
        hr = mAllocator.WriteChunk(mSelf, cursor, bytes.data() + done, static_cast<ULONG>(bytes.size() - done), &wrote);
        if (FAILED(hr))
            return hr;
        if (wrote == 0)
            return E_FAIL;
        done += wrote;
    }
    ++mSelf.chainVersion;
    dirChanged = false;
    for (auto& child : mChildren)
        child->changed = false;
    return S_OK;
}

Element* ElementTable::Find(const std::u16string& name, std::uint32_t type) const
{
    for (const auto& child : mChildren)
        if ((type == 0 || child->type == type) && NamesEqual(child->name, name))
            return child.get();
    return nullptr;
}

Element& ElementTable::Add(const std::u16string& name, std::uint32_t type, std::uint32_t mode)
{
    if (mChildren.size() >= kMaxElements) {
        // The capacity grows in steps of 4: the message names the capacity the growth asked for.
        const std::size_t asked = (mChildren.size() / 4 + 1) * 4;
        std::wstring text = L"ElementTable::Resize : too many entries (" + std::to_wstring(asked) + L")";
        STATSTG stat;
        if (SUCCEEDED(mAllocator.LockBytes()->Stat(&stat, STATFLAG_DEFAULT)) && stat.pwcsName) {
            text += L" in file ";
            text += stat.pwcsName;
            text += L" | " + NameToWide(mSelf.name);
        }
        CoTaskMemFree(stat.pwcsName);
        ThrowStorageError(static_cast<HRESULT>(0xA0048210u), text);
    }
    auto element = std::make_unique<Element>();
    element->name = name;
    element->type = type;
    element->mode = mode;
    element->owner = this;
    element->loadResult = S_OK;
    mChildren.push_back(std::move(element));
    MarkElementChanged(*mChildren.back());
    return *mChildren.back();
}

void ElementTable::Remove(Element* element)
{
    auto it = std::find_if(mChildren.begin(), mChildren.end(), [element](const auto& p) { return p.get() == element; });
    if (it != mChildren.end())
        mChildren.erase(it);
    dirChanged = true;
}

} // namespace KEL
