// Storages and streams: their operations, errors, lifetimes and the decided safety rules.
#include <gtest/gtest.h>

#include <thread>
#include <unordered_map>

#include "CompoundFileChecker.h"
#include "TestSupport.h"
#include "foundation/storage/KELStream.h"
#include "log/Log.h"

using namespace vxtest;

namespace {

IStream* NewStream(IStorage* s, const wchar_t* name, DWORD mode = STGM_READWRITE)
{
    IStream* out = nullptr;
    EXPECT_EQ(s->CreateStream(name, mode, 0, 0, &out), S_OK) << "creating stream";
    return out;
}

std::uint64_t Size(IStream* s)
{
    STATSTG st;
    s->Stat(&st, STATFLAG_NONAME);
    return st.cbSize.QuadPart;
}

std::uint64_t Position(IStream* s)
{
    ULARGE_INTEGER pos;
    s->Seek({ 0 }, STREAM_SEEK_CUR, &pos);
    return pos.QuadPart;
}

const FileNode* Child(const FileNode& node, const std::u16string& name)
{
    for (const auto& child : node.children)
        if (child.name == name)
            return &child;
    return nullptr;
}

CheckedFile Checked(const MemoryFile& f)
{
    CheckedFile out;
    EXPECT_EQ(CheckCompoundFile(f.bytes->Bytes(), out), "");
    return out;
}

} // namespace

TEST(KELStorage, CreateStreamOfExistingName)
{
    MemoryFile f;
    IStream* s = NewStream(f.root, L"S");
    ASSERT_EQ(WriteAll(s, Pattern(40000, 1)), S_OK);
    s->Release();
    IStream* again = nullptr;
    EXPECT_EQ(f.root->CreateStream(L"s", STGM_READWRITE, 0, 0, &again), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(again, nullptr);
    ASSERT_EQ(f.root->OpenStream(L"S", nullptr, STGM_READWRITE, 0, &again), S_OK);
    EXPECT_EQ(ReadAll(again), Pattern(40000, 1));
    // STGM_CREATE on an element that is still open is refused as such.
    IStream* replaced = nullptr;
    EXPECT_EQ(f.root->CreateStream(L"S", STGM_CREATE | STGM_READWRITE, 0, 0, &replaced), STG_E_ACCESSDENIED);
    again->Release();
    ASSERT_EQ(f.root->CreateStream(L"S", STGM_CREATE | STGM_READWRITE, 0, 0, &replaced), S_OK);
    EXPECT_EQ(Size(replaced), 0u);
    replaced->Release();
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    const CheckedFile c = Checked(f);
    ASSERT_EQ(c.root.children.size(), 1u);
    EXPECT_TRUE(c.root.children[0].data.empty());
}

TEST(KELStorage, NamesAreCheckedAndCaseBlind)
{
    MemoryFile f;
    const std::wstring longName(32, L'n');
    IStream* s = nullptr;
    IStorage* st = nullptr;
    EXPECT_EQ(f.root->CreateStream(longName.c_str(), STGM_READWRITE, 0, 0, &s), STG_E_INVALIDNAME);
    EXPECT_EQ(f.root->CreateStorage(longName.c_str(), STGM_READWRITE, 0, 0, &st), STG_E_INVALIDNAME);
    EXPECT_EQ(f.root->CreateStream(L"", STGM_READWRITE, 0, 0, &s), STG_E_INVALIDNAME);
    EXPECT_EQ(f.root->CreateStream(nullptr, STGM_READWRITE, 0, 0, &s), STG_E_INVALIDPOINTER);
    s = NewStream(f.root, std::wstring(31, L'n').c_str());
    s->Release();
    s = NewStream(f.root, L"Stra\u00DFe");
    s->Release();
    s = NewStream(f.root, L"[x]");
    s->Release();
    // '{x}' differs from '[x]' only in bit 5 but is another name; so do space and NUL.
    s = NewStream(f.root, L"{x}");
    s->Release();
    EXPECT_EQ(f.root->RenameElement(L"{x}", L"STRA\u00DFE"), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(f.root->RenameElement(L"{x}", longName.c_str()), STG_E_INVALIDNAME);
    EXPECT_EQ(f.root->RenameElement(L"nothing", L"new"), STG_E_FILENOTFOUND);
    EXPECT_EQ(f.root->RenameElement(L"{X}", L"renamed"), S_OK);
    EXPECT_EQ(f.root->OpenStream(L"RENAMED", nullptr, STGM_READ, 0, &s), S_OK);
    s->Release();
    EXPECT_EQ(f.root->OpenStream(L"{x}", nullptr, STGM_READ, 0, &s), STG_E_FILENOTFOUND);
    // A name beyond the BMP takes two UTF-16 units.
    const std::wstring wide = std::wstring(15, L'a') + L"\U0001F600";
    s = NewStream(f.root, wide.c_str());
    s->Release();
    EXPECT_EQ(f.root->CreateStream((std::wstring(30, L'a') + L"\U0001F600").c_str(), STGM_READWRITE, 0, 0, &s),
        STG_E_INVALIDNAME);
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    const CheckedFile c = Checked(f);
    ASSERT_EQ(c.root.children.size(), 5u);
    EXPECT_EQ(c.root.children[4].name.size(), 17u);
}

TEST(KELStream, SeekReadAndSizeEdges)
{
    MemoryFile f;
    IStream* s = NewStream(f.root, L"S");
    ASSERT_EQ(WriteAll(s, Pattern(10, 2)), S_OK);
    ULARGE_INTEGER pos;
    EXPECT_EQ(s->Seek({ 0 }, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 10u);
    EXPECT_EQ(s->Seek({ 5 }, STREAM_SEEK_SET, &pos), S_OK);
    std::uint8_t buffer[100];
    ULONG read = 0;
    EXPECT_EQ(s->Read(buffer, 100, &read), S_OK);
    EXPECT_EQ(read, 5u);
    EXPECT_EQ(s->Read(buffer, 100, &read), S_OK);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(s->Seek({ -11 }, STREAM_SEEK_END, &pos), STG_E_INVALIDPOINTER);
    EXPECT_EQ(s->Seek({ 0 }, 7, &pos), STG_E_INVALIDFUNCTION);
    s->Release();

    IStream* empty = NewStream(f.root, L"E");
    EXPECT_EQ(empty->Seek({ 40000 }, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 40000u);
    EXPECT_EQ(Size(empty), 40000u);
    empty->Release();

    // A stream of exactly one cluster ends on it with the end bit; the next byte appends.
    IStream* full = NewStream(f.root, L"F");
    ASSERT_EQ(WriteAll(full, Pattern(32768, 3)), S_OK);
    EXPECT_EQ(Size(full), 32768u);
    ASSERT_EQ(WriteAll(full, { 1 }), S_OK);
    EXPECT_EQ(Size(full), 32769u);
    full->Release();
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    const CheckedFile c = Checked(f);
    ASSERT_EQ(c.root.children.size(), 3u);
    EXPECT_EQ(c.root.children[2].size, 32769u);
}

TEST(KELStream, EndCursorOfAFullClusterCarriesTheEndBit)
{
    MemoryFile f;
    IStream* s = NewStream(f.root, L"F");
    ASSERT_EQ(WriteAll(s, Pattern(32768, 3)), S_OK);
    s->Release();
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    const auto& b = f.bytes->Bytes();
    const std::uint64_t dir = ClusterAt(U32At(b, 184 + 72));
    const std::uint32_t first = U32At(b, dir + 8 + 72);
    EXPECT_EQ(U32At(b, dir + 8 + 88), first | 0x80000000u);
}

TEST(KELStream, CommittedDataSurvivesRewritesShrinksAndFailedCommits)
{
    MemoryFile f;
    IStream* s = NewStream(f.root, L"S");
    const auto original = Pattern(100000, 4);
    ASSERT_EQ(WriteAll(s, original), S_OK);
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);

    // A write into the middle of a committed cluster keeps every other byte of it...
    ASSERT_EQ(s->Seek({ 40000 }, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(WriteAll(s, { 9, 9, 9 }), S_OK);
    auto expected = original;
    expected[40000] = expected[40001] = expected[40002] = 9;
    EXPECT_EQ(ReadAll(s), expected);
    // ...and lands in a copy: the committed state on disk is unchanged until the next commit.
    CheckedFile c;
    ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c), "");
    EXPECT_EQ(c.root.children[0].data, original);

    // Shrinking does not make the clusters reusable before the next commit; writing after it
    // cannot land on them.
    const std::uint32_t freeBefore = Kel(f.root)->Allocator().Entry(0).next;
    ASSERT_EQ(s->SetSize({ 40000 }), S_OK);
    EXPECT_EQ(Kel(f.root)->Allocator().Entry(0).next, freeBefore);
    ASSERT_EQ(s->Seek({ 0 }, STREAM_SEEK_END, nullptr), S_OK);
    ASSERT_EQ(WriteAll(s, Pattern(60000, 5)), S_OK);
    ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c), "");
    EXPECT_EQ(c.root.children[0].data, original);

    // A commit that fails at any write leaves the last committed state readable.
    // Each failed commit says so in one diagnostic line with the text of the write's code.
    for (unsigned long k = 1; k < 12; ++k) {
        vx::log::Capture capture;
        f.bytes->FailWritesFrom(f.bytes->Writes() + k);
        const HRESULT hr = f.root->Commit(STGC_DEFAULT);
        f.bytes->FailWritesFrom(0);
        if (SUCCEEDED(hr))
            break;
        EXPECT_EQ(hr, STG_E_WRITEFAULT);
        ASSERT_EQ(capture.Lines().size(), 1u) << k;
        EXPECT_NE(capture.Lines()[0].find("A disk error occurred during a write operation"), std::string::npos)
            << capture.Lines()[0];
        ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c, false), "") << k;
        EXPECT_EQ(c.root.children[0].data, original) << k;
    }
    ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c), "");
    expected.resize(40000);
    const auto tail = Pattern(60000, 5);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(c.root.children[0].data, expected);
    s->Release();
}

TEST(KELStream, EveryCursorOnAnElementFollowsCopiesAndShrinks)
{
    MemoryFile f;
    IStream* a = NewStream(f.root, L"S");
    ASSERT_EQ(WriteAll(a, Pattern(70000, 6)), S_OK);
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    IStream* b = nullptr;
    ASSERT_EQ(f.root->OpenStream(L"S", nullptr, STGM_READWRITE, 0, &b), S_OK);
    IStream* clone = nullptr;
    ASSERT_EQ(a->Clone(&clone), S_OK);
    ASSERT_EQ(b->Seek({ 33000 }, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(clone->Seek({ 65000 }, STREAM_SEEK_SET, nullptr), S_OK);
    // Copy-on-write of the second cluster through `a`: `b` must read the new bytes, not the
    // released original.
    ASSERT_EQ(a->Seek({ 32800 }, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(WriteAll(a, std::vector<std::uint8_t>(400, 0xEE)), S_OK);
    std::uint8_t byte = 0;
    ULONG read = 0;
    ASSERT_EQ(b->Read(&byte, 1, &read), S_OK);
    EXPECT_EQ(byte, 0xEE);
    // Shrinking moves every cursor beyond the new end to it.
    ASSERT_EQ(a->SetSize({ 40000 }), S_OK);
    EXPECT_EQ(Position(clone), 40000u);
    EXPECT_EQ(Position(b), 33001u);
    ASSERT_EQ(WriteAll(clone, { 7 }), S_OK);
    EXPECT_EQ(Size(b), 40001u);
    // SetSize(0) gives up every cluster; the other cursors hold none afterwards and still work.
    ASSERT_EQ(b->SetSize({ 0 }), S_OK);
    EXPECT_EQ(Position(a), 0u);
    ASSERT_EQ(WriteAll(clone, { 1, 2, 3 }), S_OK);
    EXPECT_EQ(ReadAll(a), (std::vector<std::uint8_t> { 1, 2, 3 }));
    a->Release();
    b->Release();
    clone->Release();
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    const CheckedFile c = Checked(f);
    EXPECT_EQ(c.root.children[0].data, (std::vector<std::uint8_t> { 1, 2, 3 }));
}

TEST(KELStorage, DestroyElementRefusesOpenElementsAndFreesWholeSubtrees)
{
    MemoryFile f;
    IStorage* sub = nullptr;
    ASSERT_EQ(f.root->CreateStorage(L"Sub", STGM_READWRITE, 0, 0, &sub), S_OK);
    IStorage* deeper = nullptr;
    ASSERT_EQ(sub->CreateStorage(L"Deeper", STGM_READWRITE, 0, 0, &deeper), S_OK);
    IStream* s = NewStream(deeper, L"Data");
    ASSERT_EQ(WriteAll(s, Pattern(50000, 7)), S_OK);
    EXPECT_EQ(f.root->DestroyElement(L"Sub"), STG_E_ACCESSDENIED);
    EXPECT_EQ(deeper->DestroyElement(L"Data"), STG_E_ACCESSDENIED);
    s->Release();
    deeper->Release();
    sub->Release();
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    CheckedFile c = Checked(f);
    ASSERT_EQ(c.root.children.size(), 1u);
    ASSERT_EQ(c.root.children[0].children.size(), 1u);
    EXPECT_EQ(c.root.children[0].children[0].children[0].data, Pattern(50000, 7));

    EXPECT_EQ(f.root->DestroyElement(L"sub"), S_OK);
    EXPECT_EQ(f.root->DestroyElement(L"sub"), STG_E_FILENOTFOUND);
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    c = Checked(f); // strict: no cluster of the subtree is lost
    EXPECT_TRUE(c.root.children.empty());
    // Destroying an element that never had a cluster leaves the lists intact.
    IStream* e = NewStream(f.root, L"Empty");
    e->Release();
    EXPECT_EQ(f.root->DestroyElement(L"Empty"), S_OK);
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    c = Checked(f);
}

TEST(KELStorage, SecondOpenSharesTheDirectory)
{
    MemoryFile f;
    IStorage* first = nullptr;
    ASSERT_EQ(f.root->CreateStorage(L"Sub", STGM_READWRITE, 0, 0, &first), S_OK);
    IStorage* second = nullptr;
    ASSERT_EQ(f.root->OpenStorage(L"Sub", nullptr, STGM_READWRITE, nullptr, 0, &second), S_OK);
    IStream* s = NewStream(first, L"One");
    s->Release();
    s = NewStream(second, L"Two");
    s->Release();
    EXPECT_EQ(first->OpenStream(L"Two", nullptr, STGM_READ, 0, &s), S_OK);
    s->Release();
    first->Release();
    second->Release();
    f.Close();
    CheckedFile c;
    ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c), "");
    ASSERT_EQ(c.root.children[0].children.size(), 2u);
}

TEST(KELStorage, LastChildReleaseRunsTheRootsClosingCommit)
{
    MemoryFile f;
    IStream* s = NewStream(f.root, L"S");
    IStorage* sub = nullptr;
    ASSERT_EQ(f.root->CreateStorage(L"Sub", STGM_READWRITE, 0, 0, &sub), S_OK);
    EXPECT_EQ(Kel(f.root)->RefCount(), 3u); // its own, the stream's, the child's
    EXPECT_EQ(f.root->Release(), 2u);
    f.root = nullptr;
    ASSERT_EQ(WriteAll(s, Pattern(10, 8)), S_OK);
    sub->Release();
    CheckedFile nothingYet;
    EXPECT_NE(CheckCompoundFile(f.bytes->Bytes(), nothingYet), ""); // no commit has reached the file
    EXPECT_EQ(s->Release(), 0u); // the root goes with it, committing the file
    CheckedFile c;
    ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c), "");
    ASSERT_EQ(c.root.children.size(), 2u);
    EXPECT_EQ(c.root.children[0].data, Pattern(10, 8));
}

TEST(KELStorage, FailedClosingCommitIsLoggedNotThrown)
{
    MemoryFile f;
    IStream* s = NewStream(f.root, L"S");
    s->Release();
    f.bytes->FailWritesFrom(1);
    vx::log::Capture capture;
    f.Close();
    // The failed write's line, then the closing commit's with the code.
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("A disk error occurred during a write operation"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("0x8003001D"), std::string::npos) << lines[1];
}

TEST(KELStorage, EnumeratorHoldsASnapshot)
{
    MemoryFile f;
    for (const wchar_t* name : { L"a", L"b", L"c" }) {
        IStream* s = NewStream(f.root, name);
        s->Release();
    }
    IEnumSTATSTG* e = nullptr;
    ASSERT_EQ(f.root->EnumElements(0, nullptr, 0, &e), S_OK);
    EXPECT_EQ(f.root->DestroyElement(L"b"), S_OK);
    f.Close(); // the enumerator keeps the root alive
    STATSTG items[10];
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(10, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    EXPECT_STREQ(items[1].pwcsName, L"b");
    EXPECT_EQ(items[1].type, STGTY_STREAM);
    for (ULONG i = 0; i < fetched; ++i)
        CoTaskMemFree(items[i].pwcsName);
    EXPECT_EQ(e->Skip(1), S_FALSE);
    EXPECT_EQ(e->Release(), 0u);
    CheckedFile c;
    ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c), "");
    EXPECT_EQ(c.root.children.size(), 2u);
}

TEST(KELStorage, DirectoryHoldsAtMost1024Elements)
{
    MemoryFile f;
    for (int i = 0; i < 1024; ++i) {
        IStream* s = NewStream(f.root, (L"s" + std::to_wstring(i)).c_str());
        s->Release();
    }
    vx::log::Capture capture;
    IStream* s = nullptr;
    EXPECT_EQ(f.root->CreateStream(L"one too many", STGM_READWRITE, 0, 0, &s), STG_E_INSUFFICIENTMEMORY);
    ASSERT_FALSE(capture.Lines().empty());
    EXPECT_NE(capture.Lines()[0].find("ElementTable::Resize : too many entries (1028)"), std::string::npos);
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    const CheckedFile c = Checked(f);
    EXPECT_EQ(c.root.children.size(), 1024u);
}

TEST(KELStorage, CopyToAnotherFileAndWithinOne)
{
    MemoryFile from, to;
    IStorage* sub = nullptr;
    ASSERT_EQ(from.root->CreateStorage(L"Sub", STGM_READWRITE, 0, 0, &sub), S_OK);
    const CLSID clsid = vx::com::MakeGuid("{11111111-2222-3333-4444-555555555555}");
    sub->SetClass(clsid);
    IStream* s = NewStream(sub, L"Data");
    ASSERT_EQ(WriteAll(s, Pattern(70000, 9)), S_OK);
    s->Release();
    sub->Release();
    s = NewStream(from.root, L"Skip");
    s->Release();
    OLECHAR skip[] = L"SKIP";
    OLECHAR* exclude[] = { skip, nullptr };
    EXPECT_EQ(from.root->CopyTo(1, nullptr, nullptr, to.root), STG_E_INVALIDPARAMETER);
    EXPECT_EQ(from.root->CopyTo(0, nullptr, nullptr, nullptr), STG_E_INVALIDPOINTER);
    // Both files are used from another thread meanwhile: nothing may deadlock.
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) {
            IStream* t = nullptr;
            if (SUCCEEDED(to.root->CreateStream(L"T", STGM_CREATE | STGM_READWRITE, 0, 0, &t))) {
                WriteAll(t, Pattern(100, i));
                t->Release();
            }
        }
    });
    EXPECT_EQ(from.root->CopyTo(0, nullptr, exclude, to.root), S_OK);
    other.join();
    to.Close();
    CheckedFile c;
    ASSERT_EQ(CheckCompoundFile(to.bytes->Bytes(), c), "");
    ASSERT_EQ(c.root.children.size(), 2u); // "Sub" and the other thread's "T"
    const FileNode* copied = Child(c.root, u"Sub");
    ASSERT_NE(copied, nullptr);
    ASSERT_EQ(copied->children.size(), 1u);
    EXPECT_EQ(copied->children[0].data, Pattern(70000, 9));

    // Never into itself or below itself.
    IStorage* inner = nullptr;
    ASSERT_EQ(from.root->OpenStorage(L"Sub", nullptr, STGM_READWRITE, nullptr, 0, &inner), S_OK);
    EXPECT_EQ(from.root->CopyTo(0, nullptr, nullptr, inner), STG_E_ACCESSDENIED);
    EXPECT_EQ(inner->CopyTo(0, nullptr, nullptr, inner), STG_E_ACCESSDENIED);
    inner->Release();

    // Within one file: a storage copied into a new storage of the same root.
    IStorage* copy = nullptr;
    ASSERT_EQ(from.root->CreateStorage(L"Copy", STGM_READWRITE, 0, 0, &copy), S_OK);
    ASSERT_EQ(from.root->OpenStorage(L"Sub", nullptr, STGM_READ, nullptr, 0, &sub), S_OK);
    EXPECT_EQ(sub->CopyTo(0, nullptr, nullptr, copy), S_OK);
    sub->Release();
    copy->Release();
    from.Close();
    ASSERT_EQ(CheckCompoundFile(from.bytes->Bytes(), c), "");
    ASSERT_EQ(c.root.children.size(), 3u);
    EXPECT_EQ(c.root.children[2].children[0].data, Pattern(70000, 9));
}

TEST(KELStorage, ReopenedFileGivesBackItsTree)
{
    MemoryFile f;
    IStorage* sub = nullptr;
    ASSERT_EQ(f.root->CreateStorage(L"Sub", STGM_READWRITE, 0, 0, &sub), S_OK);
    IStream* s = NewStream(sub, L"Data");
    ASSERT_EQ(WriteAll(s, Pattern(33000, 10)), S_OK);
    s->Release();
    sub->Release();
    f.Close();
    auto* copy = new KEL::MemoryLockBytes(f.bytes->Bytes());
    IStorage* root = nullptr;
    ASSERT_EQ(KEL::KELStorage::OpenOnLockBytes(copy, &root), S_OK);
    ASSERT_EQ(root->OpenStorage(L"SUB", nullptr, STGM_READWRITE, nullptr, 0, &sub), S_OK);
    ASSERT_EQ(sub->OpenStream(L"data", nullptr, STGM_READWRITE, 0, &s), S_OK);
    EXPECT_EQ(ReadAll(s), Pattern(33000, 10));
    ASSERT_EQ(WriteAll(s, { 1 }), S_OK);
    s->Release();
    sub->Release();
    root->Release();
    CheckedFile c;
    ASSERT_EQ(CheckCompoundFile(copy->Bytes(), c), "");
    EXPECT_EQ(c.root.children[0].children[0].data.size(), 33001u);
    copy->Release();

    // Bad bytes are refused with a clear error.
    auto* junk = new KEL::MemoryLockBytes(std::vector<std::uint8_t>(600, 0x41));
    EXPECT_EQ(KEL::KELStorage::OpenOnLockBytes(junk, &root), STG_E_INVALIDHEADER);
    junk->Release();
}

TEST(KELStorage, QueryInterfaceAndCounts)
{
    MemoryFile f;
    void* p = nullptr;
    EXPECT_EQ(f.root->QueryInterface(IKELStorage::kIid, &p), S_OK);
    static_cast<IKELStorage*>(p)->Release();
    EXPECT_EQ(f.root->QueryInterface(IStream::kIid, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    IStream* s = NewStream(f.root, L"S");
    EXPECT_EQ(s->QueryInterface(IKELStream::kIid, &p), S_OK);
    static_cast<IKELStream*>(p)->Release();
    EXPECT_EQ(static_cast<KEL::KELStream*>(s)->RefCount(), 1u);
    EXPECT_EQ(Kel(f.root)->RefCount(), 2u);
    STATSTG st;
    EXPECT_EQ(s->Stat(&st, STATFLAG_DEFAULT), S_OK);
    EXPECT_STREQ(st.pwcsName, L"S");
    CoTaskMemFree(st.pwcsName);
    EXPECT_EQ(s->Revert(), E_NOTIMPL);
    s->Release();
    EXPECT_EQ(Kel(f.root)->RefCount(), 1u);
    EXPECT_EQ(vx::com::LiveTaskMemCount(), 0);
}

namespace {

// A byte array that keeps only the pages written, so that a file whose clusters lie far apart
// costs little memory.
class SparseLockBytes final : public ILockBytes {
public:
    HRESULT QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++mRefs; }
    ULONG Release() override
    {
        if (--mRefs == 0) {
            delete this;
            return 0;
        }
        return mRefs;
    }
    HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG cb, ULONG* read) override
    {
        auto* out = static_cast<std::uint8_t*>(buffer);
        ULONG n
            = offset.QuadPart >= mSize ? 0 : static_cast<ULONG>(std::min<std::uint64_t>(cb, mSize - offset.QuadPart));
        for (ULONG i = 0; i < n; ++i) {
            const std::uint64_t at = offset.QuadPart + i;
            auto page = mPages.find(at / kPage);
            out[i] = page == mPages.end() ? 0 : page->second[at % kPage];
        }
        *read = n;
        return S_OK;
    }
    HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG cb, ULONG* written) override
    {
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        for (ULONG i = 0; i < cb; ++i) {
            const std::uint64_t at = offset.QuadPart + i;
            auto& page = mPages[at / kPage];
            page.resize(kPage);
            page[at % kPage] = in[i];
        }
        mSize = std::max<std::uint64_t>(mSize, offset.QuadPart + cb);
        *written = cb;
        return S_OK;
    }
    HRESULT Flush() override { return S_OK; }
    HRESULT SetSize(ULARGE_INTEGER size) override
    {
        mSize = size.QuadPart;
        return S_OK;
    }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return S_OK; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* st, DWORD) override
    {
        *st = STATSTG {};
        st->cbSize.QuadPart = mSize;
        return S_OK;
    }

private:
    static constexpr std::uint64_t kPage = 4096;
    ULONG mRefs = 1;
    std::uint64_t mSize = 0;
    std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> mPages;
};

} // namespace

TEST(StorageAllocator, CommitWithAnEmptyFreeListGrowsTheMap)
{
    auto* bytes = new SparseLockBytes();
    IStorage* root = nullptr;
    ASSERT_EQ(KEL::KELStorage::CreateOnLockBytes(bytes, &root), S_OK);
    IStream* s = NewStream(root, L"Big");
    // 4093 clusters: with the directory's cluster the first map's 4094 clusters are all in use
    // when the commit looks for a place for the map.
    ASSERT_EQ(s->SetSize({ 4093ull * 32768 }), S_OK);
    ASSERT_EQ(WriteAll(s, { 1 }), S_OK); // the first cluster exists already: nothing new
    auto& allocator = Kel(root)->Allocator();
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(allocator.Count(), 8192u);
    s->Release();
    root->Release();
    IStorage* again = nullptr;
    ASSERT_EQ(KEL::KELStorage::OpenOnLockBytes(bytes, &again), S_OK);
    ASSERT_EQ(again->OpenStream(L"big", nullptr, STGM_READ, 0, &s), S_OK);
    EXPECT_EQ(Size(s), 4093ull * 32768);
    std::uint8_t first = 0;
    ULONG read = 0;
    EXPECT_EQ(s->Read(&first, 1, &read), S_OK);
    EXPECT_EQ(first, 1);
    s->Release();
    again->Release();
    bytes->Release();
}

TEST(KELStorage, StatNameAllocationFailure)
{
    MemoryFile f;
    IStream* s = NewStream(f.root, L"S");
    STATSTG st;
    vx::com::FailNextTaskMemAllocs(1);
    EXPECT_EQ(s->Stat(&st, STATFLAG_DEFAULT), STG_E_INSUFFICIENTMEMORY);
    EXPECT_EQ(st.pwcsName, nullptr);
    EXPECT_EQ(st.type, STGTY_STREAM);
    s->Release();
}

TEST(KELStorage, ThreadsShareOneFile)
{
    MemoryFile f;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&f, t] {
            IStorage* sub = nullptr;
            const std::wstring name = L"T" + std::to_wstring(t);
            ASSERT_EQ(f.root->CreateStorage(name.c_str(), STGM_READWRITE, 0, 0, &sub), S_OK);
            IStream* s = NewStream(sub, L"Data");
            for (int i = 0; i < 20; ++i) {
                ASSERT_EQ(WriteAll(s, Pattern(5000, t)), S_OK);
                if (i % 5 == 0) {
                    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
                }
            }
            s->Release();
            sub->Release();
        });
    for (auto& t : threads)
        t.join();
    f.Close();
    CheckedFile c;
    ASSERT_EQ(CheckCompoundFile(f.bytes->Bytes(), c), "");
    ASSERT_EQ(c.root.children.size(), 4u);
    for (const auto& child : c.root.children)
        EXPECT_EQ(child.children[0].data.size(), 100000u);
}
