// Opens arbitrary bytes as a compound file, through the test-side validating reader and through
// the storage objects, walks the tree, and commits a change. Whatever the bytes, nothing may crash,
// leak or hang; a file the validator accepts must open and read the same through the objects; and
// a commit on any file that opened must leave a file the validator accepts in full.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "CompoundFileChecker.h"
#include "foundation/storage/KELStorage.h"
#include "foundation/storage/MemoryLockBytes.h"

namespace {

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "fuzz_compound_file: %s\n", what);
    std::abort();
}

// Walks a storage; when `expected` is given, the tree must match it.
void Walk(IStorage* storage, const vxtest::FileNode* expected, int depth)
{
    if (depth > 64)
        return;
    IEnumSTATSTG* e = nullptr;
    if (FAILED(storage->EnumElements(0, nullptr, 0, &e)))
        return;
    STATSTG st;
    ULONG fetched = 0;
    std::size_t index = 0;
    while (e->Next(1, &st, &fetched) == S_OK) {
        const vxtest::FileNode* node = nullptr;
        if (expected) {
            if (index >= expected->children.size())
                Broken("objects list more elements than the validator");
            node = &expected->children[index];
        }
        ++index;
        if (st.type == STGTY_STORAGE) {
            IStorage* child = nullptr;
            if (storage->OpenStorage(st.pwcsName, nullptr, STGM_READ, nullptr, 0, &child) == S_OK) {
                Walk(child, node, depth + 1);
                child->Release();
            } else if (node) {
                Broken("a storage the validator read does not open");
            }
        } else {
            IStream* stream = nullptr;
            if (storage->OpenStream(st.pwcsName, nullptr, STGM_READ, 0, &stream) == S_OK) {
                std::vector<std::uint8_t> bytes(
                    static_cast<std::size_t>(std::min<ULONGLONG>(st.cbSize.QuadPart, 1 << 20)));
                ULONG read = 0;
                const HRESULT hr = stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
                if (node) {
                    if (hr != S_OK || read != bytes.size() || node->size != st.cbSize.QuadPart)
                        Broken("a stream the validator read does not read back");
                    for (std::size_t i = 0; i < read; ++i)
                        if (bytes[i] != (i < node->data.size() ? node->data[i] : 0))
                            Broken("a stream reads other bytes than the validator saw");
                }
                stream->Release();
            } else if (node) {
                Broken("a stream the validator read does not open");
            }
        }
        CoTaskMemFree(st.pwcsName);
    }
    if (expected && index != expected->children.size())
        Broken("objects list fewer elements than the validator");
    e->Release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (4u << 20))
        return 0;
    std::vector<std::uint8_t> bytes(data, data + size);
    vxtest::CheckedFile checked;
    const bool valid = vxtest::CheckCompoundFile(bytes, checked, false).empty();

    auto* lockBytes = new KEL::MemoryLockBytes(bytes);
    IStorage* root = nullptr;
    const HRESULT hr = KEL::KELStorage::OpenOnLockBytes(lockBytes, &root);
    if (valid && hr != S_OK)
        Broken("the objects refuse a file the validator accepts");
    if (SUCCEEDED(hr)) {
        Walk(root, valid ? &checked.root : nullptr, 0);
        // A change committed on whatever opened must give a wholly valid file.
        IStream* stream = nullptr;
        if (SUCCEEDED(root->CreateStream(L"fuzz", STGM_CREATE | STGM_READWRITE, 0, 0, &stream))) {
            const std::uint8_t payload[40] = { 1, 2, 3 };
            ULONG written = 0;
            stream->Write(payload, sizeof payload, &written);
            stream->Release();
        }
        if (root->Commit(STGC_DEFAULT) == S_OK) {
            vxtest::CheckedFile after;
            const std::string error = vxtest::CheckCompoundFile(lockBytes->Bytes(), after, true);
            if (!error.empty()) {
                std::fprintf(stderr, "%s\n", error.c_str());
                Broken("a commit on an opened file left an invalid file");
            }
        }
        root->Release();
    }
    lockBytes->Release();
    return 0;
}
