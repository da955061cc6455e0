#pragma once
// The directory of one storage: its child elements, read from and written to the storage's own
// element data ("directory stream": u32 n, u32 -n, n records of 160 bytes).
#include <memory>
#include <string>
#include <vector>

#include "foundation/storage/Element.h"

namespace KEL {

class StorageAllocator;

class ElementTable {
public:
    // A table over `self`'s directory. Nothing is read until Load.
    ElementTable(StorageAllocator& allocator, Element& self);
    ElementTable(const ElementTable&) = delete;
    ElementTable& operator=(const ElementTable&) = delete;

    // Reads the directory. STG_E_DOCFILECORRUPT when it is malformed, or the read error.
    HRESULT Load();
    // Rewrites the directory into fresh clusters; clears the changed mark on success.
    HRESULT Write();

    // The first element with that name and, unless `type` is 0, that type.
    Element* Find(const std::u16string& name, std::uint32_t type = 0) const;
    // Appends a new element. Throws the library's exception beyond kMaxElements entries.
    Element& Add(const std::u16string& name, std::uint32_t type, std::uint32_t mode);
    void Remove(Element* element);

    const std::vector<std::unique_ptr<Element>>& Children() const { return mChildren; }
    Element& Self() const { return mSelf; }
    StorageAllocator& Allocator() const { return mAllocator; }

    bool dirChanged = false;
    unsigned users = 0; // storage objects sharing this table

private:
    StorageAllocator& mAllocator;
    Element& mSelf;
    std::vector<std::unique_ptr<Element>> mChildren;
};

// Reads `size` bytes of an element's data from position 0 (the file's lock bytes, cluster by
// cluster). Fails when the chain is shorter than the size.
HRESULT ReadElementData(StorageAllocator& allocator, const Element& element, std::vector<std::uint8_t>& out);

} // namespace KEL
