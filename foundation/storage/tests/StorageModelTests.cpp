// Long random sequences of storage operations against an in-memory model of the tree. The file
// is read back by the test-side validator after every commit and after every failure, and a
// "crash" (the process gone without a successful commit) must leave the last committed state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <random>

#include "CompoundFileChecker.h"
#include "TestSupport.h"
#include "log/Log.h"

using namespace vxtest;

namespace {

struct MNode {
    std::wstring name;
    bool storage = false;
    std::vector<std::int16_t> data; // -1: a byte whose value is not defined (a grown region)
    std::vector<std::unique_ptr<MNode>> children;
    int handles = 0;
    MNode* parent = nullptr;

    std::unique_ptr<MNode> Clone(MNode* newParent = nullptr) const
    {
        auto copy = std::make_unique<MNode>();
        copy->name = name;
        copy->storage = storage;
        copy->data = data;
        copy->parent = newParent;
        for (const auto& child : children)
            copy->children.push_back(child->Clone(copy.get()));
        return copy;
    }
    bool Busy() const
    {
        if (handles > 0)
            return true;
        return std::any_of(children.begin(), children.end(), [](const auto& c) { return c->Busy(); });
    }
    int Depth() const { return parent ? parent->Depth() + 1 : 0; }
};

bool SameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

MNode* FindChild(MNode& dir, const std::wstring& name)
{
    for (auto& child : dir.children)
        if (SameName(child->name, name))
            return child.get();
    return nullptr;
}

void RemoveChild(MNode& dir, MNode* node)
{
    dir.children.erase(
        std::find_if(dir.children.begin(), dir.children.end(), [node](const auto& c) { return c.get() == node; }));
}

std::string CompareTree(const FileNode& file, const MNode& model, const std::string& path)
{
    if (file.type != (model.storage ? 1u : 2u))
        return path + ": type differs";
    if (model.storage) {
        if (file.children.size() != model.children.size())
            return path + ": " + std::to_string(file.children.size()) + " elements, model has "
                + std::to_string(model.children.size());
        for (std::size_t i = 0; i < file.children.size(); ++i) {
            const std::wstring name(file.children[i].name.begin(), file.children[i].name.end());
            if (name != model.children[i]->name)
                return path + ": element " + std::to_string(i) + " has another name";
            const std::string sub
                = CompareTree(file.children[i], *model.children[i], path + "/" + std::string(name.begin(), name.end()));
            if (!sub.empty())
                return sub;
        }
        return {};
    }
    if (file.size != model.data.size())
        return path + ": size " + std::to_string(file.size) + ", model " + std::to_string(model.data.size());
    for (std::size_t i = 0; i < model.data.size(); ++i) {
        const int actual = i < file.data.size() ? file.data[i] : 0;
        if (model.data[i] >= 0 && model.data[i] != actual)
            return path + ": byte " + std::to_string(i) + " differs";
    }
    return {};
}

class ModelRun {
public:
    explicit ModelRun(unsigned seed)
        : mRandom(seed)
    {
        mBytes = new KEL::MemoryLockBytes();
        EXPECT_EQ(KEL::KELStorage::CreateOnLockBytes(mBytes, &mRoot), S_OK);
        mModel = std::make_unique<MNode>();
        mModel->storage = true;
        mCommitted = mModel->Clone();
        mStorages.push_back({ mRoot, mModel.get() });
    }
    ~ModelRun()
    {
        CloseAll();
        mBytes->Release();
    }

    void Step()
    {
        const int op = Pick(100);
        if (std::getenv("VX_MODEL_TRACE"))
            std::fprintf(
                stderr, "step %d op %d streams %zu storages %zu\n", mStep, op, mStreams.size(), mStorages.size());
        if (op < 14)
            CreateElement(false);
        else if (op < 18)
            CreateElement(true);
        else if (op < 24)
            OpenElement();
        else if (op < 44)
            Write();
        else if (op < 52)
            Read();
        else if (op < 58)
            SetSize();
        else if (op < 62)
            Rename();
        else if (op < 68)
            Destroy();
        else if (op < 78)
            ReleaseHandle();
        else if (op < 92)
            Commit();
        else if (op < 97)
            Crash();
        else
            CloseAndReopen();
    }

    std::string failure;
    int commits = 0, failedCommits = 0, crashes = 0;

private:
    struct StreamHandle {
        IStream* stream;
        MNode* node;
        std::uint64_t position;
    };
    struct StorageHandle {
        IStorage* storage;
        MNode* node;
    };

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(mRandom); }
    void Fail(const std::string& what)
    {
        if (failure.empty())
            failure = what;
    }
    void Expect(HRESULT actual, HRESULT expected, const char* what)
    {
        if (actual != expected) {
            char text[160];
            std::snprintf(text, sizeof text, "%s: got 0x%08X, expected 0x%08X (step %d)", what, unsigned(actual),
                unsigned(expected), mStep);
            Fail(text);
        }
    }
    std::wstring NameFor(bool exact, const std::wstring& name)
    {
        if (exact)
            return name;
        std::wstring mixed = name;
        for (auto& c : mixed)
            if (Pick(2))
                c = static_cast<wchar_t>(std::iswlower(c) ? std::towupper(c) : std::towlower(c));
        return mixed;
    }
    std::wstring RandomName()
    {
        static const wchar_t* const kNames[] = { L"a", L"B", L"c", L"Data", L"Log", L"x1", L"Settings", L"z" };
        return kNames[Pick(8)];
    }
    StorageHandle& RandomDir() { return mStorages[Pick(static_cast<int>(mStorages.size()))]; }

    void CreateElement(bool storage)
    {
        StorageHandle& dir = RandomDir();
        if (storage && dir.node->Depth() >= 3)
            return;
        const std::wstring name = RandomName();
        const bool create = Pick(3) == 0;
        const DWORD mode = STGM_READWRITE | (create ? STGM_CREATE : 0);
        MNode* existing = FindChild(*dir.node, name);
        HRESULT expected = S_OK;
        if (existing && !create)
            expected = STG_E_FILEALREADYEXISTS;
        else if (existing && existing->Busy())
            expected = STG_E_ACCESSDENIED;
        HRESULT hr;
        IStream* stream = nullptr;
        IStorage* child = nullptr;
        if (storage)
            hr = dir.storage->CreateStorage(NameFor(true, name).c_str(), mode, 0, 0, &child);
        else
            hr = dir.storage->CreateStream(NameFor(true, name).c_str(), mode, 0, 0, &stream);
        Expect(hr, expected, storage ? "CreateStorage" : "CreateStream");
        if (FAILED(hr))
            return;
        if (existing)
            RemoveChild(*dir.node, existing);
        auto node = std::make_unique<MNode>();
        node->name = name;
        node->storage = storage;
        node->parent = dir.node;
        MNode* raw = node.get();
        dir.node->children.push_back(std::move(node));
        Keep(stream, child, raw);
    }

    void Keep(IStream* stream, IStorage* storage, MNode* node)
    {
        const bool keep = Pick(3) != 0 && mStreams.size() + mStorages.size() < 8;
        if (stream) {
            if (keep) {
                ++node->handles;
                mStreams.push_back({ stream, node, 0 });
            } else {
                stream->Release();
            }
        }
        if (storage) {
            if (keep) {
                ++node->handles;
                mStorages.push_back({ storage, node });
            } else {
                storage->Release();
            }
        }
    }

    void OpenElement()
    {
        StorageHandle& dir = RandomDir();
        if (dir.node->children.empty())
            return;
        MNode* node = dir.node->children[Pick(static_cast<int>(dir.node->children.size()))].get();
        const std::wstring name = NameFor(false, node->name);
        if (node->storage) {
            IStorage* child = nullptr;
            Expect(dir.storage->OpenStorage(name.c_str(), nullptr, STGM_READWRITE, nullptr, 0, &child), S_OK,
                "OpenStorage");
            Keep(nullptr, child, node);
        } else {
            IStream* stream = nullptr;
            Expect(dir.storage->OpenStream(name.c_str(), nullptr, STGM_READWRITE, 0, &stream), S_OK, "OpenStream");
            Keep(stream, nullptr, node);
        }
    }

    StreamHandle* RandomStream()
    {
        if (mStreams.empty())
            return nullptr;
        return &mStreams[Pick(static_cast<int>(mStreams.size()))];
    }

    void Write()
    {
        StreamHandle* h = RandomStream();
        if (!h)
            return;
        auto& data = h->node->data;
        const std::uint64_t size = data.size();
        const std::uint64_t position
            = Pick(4) == 0 ? size : std::min<std::uint64_t>(Pick(static_cast<int>(size + 2000)), 200000);
        const ULONG length = Pick(4) == 0 ? 1 + Pick(70000) : 1 + Pick(3000);
        std::vector<std::uint8_t> bytes(length);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(Pick(256));
        ULARGE_INTEGER at;
        Expect(h->stream->Seek({ static_cast<LONGLONG>(position) }, STREAM_SEEK_SET, &at), S_OK, "Seek before write");
        if (position > data.size())
            data.resize(static_cast<std::size_t>(position), -1);
        const bool inject = Pick(8) == 0;
        if (inject)
            mBytes->FailWritesFrom(mBytes->Writes() + 1 + Pick(3));
        ULONG written = 0;
        const HRESULT hr = h->stream->Write(bytes.data(), length, &written);
        mBytes->FailWritesFrom(0);
        if (!inject)
            Expect(hr, S_OK, "Write");
        if (std::getenv("VX_MODEL_TRACE"))
            std::fprintf(stderr, "  write %s at %llu len %u inject %d hr %08x written %u size %zu\n",
                std::string(h->node->name.begin(), h->node->name.end()).c_str(), (unsigned long long)position,
                unsigned(length), int(inject), unsigned(hr), unsigned(written), data.size());
        if (FAILED(hr) && written == length)
            Fail("a failed write reported every byte written");
        if (position + written > data.size())
            data.resize(static_cast<std::size_t>(position + written), -1);
        for (ULONG i = 0; i < written; ++i)
            data[static_cast<std::size_t>(position + i)] = bytes[i];
        h->position = position + written;
    }

    void Read()
    {
        StreamHandle* h = RandomStream();
        if (!h)
            return;
        const auto& data = h->node->data;
        ULARGE_INTEGER now;
        Expect(h->stream->Seek({ 0 }, STREAM_SEEK_CUR, &now), S_OK, "Seek to read the position");
        if (now.QuadPart != h->position)
            Fail("cursor at " + std::to_string(now.QuadPart) + ", model at " + std::to_string(h->position) + " (step "
                + std::to_string(mStep) + ")");
        const std::uint64_t position = Pick(static_cast<int>(data.size() + 1));
        Expect(
            h->stream->Seek({ static_cast<LONGLONG>(position) }, STREAM_SEEK_SET, nullptr), S_OK, "Seek before read");
        std::vector<std::uint8_t> bytes(1 + Pick(80000));
        ULONG read = 0;
        Expect(h->stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read), S_OK, "Read");
        const std::uint64_t expected = std::min<std::uint64_t>(bytes.size(), data.size() - position);
        if (read != expected)
            Fail("read " + std::to_string(read) + " bytes, expected " + std::to_string(expected));
        for (ULONG i = 0; i < read && i < expected; ++i)
            if (data[static_cast<std::size_t>(position + i)] >= 0
                && data[static_cast<std::size_t>(position + i)] != bytes[i]) {
                Fail("read back a wrong byte at " + std::to_string(position + i) + " (step " + std::to_string(mStep)
                    + ")");
                break;
            }
        h->position = position + read;
    }

    void SetSize()
    {
        StreamHandle* h = RandomStream();
        if (!h)
            return;
        auto& data = h->node->data;
        const std::uint64_t size = Pick(5) == 0 ? 0 : Pick(static_cast<int>(data.size() + 40000));
        Expect(h->stream->SetSize({ size }), S_OK, "SetSize");
        if (std::getenv("VX_MODEL_TRACE"))
            std::fprintf(stderr, "  setsize %s %llu from %zu\n",
                std::string(h->node->name.begin(), h->node->name.end()).c_str(), (unsigned long long)size, data.size());
        if (size < data.size())
            for (auto& other : mStreams)
                if (other.node == h->node)
                    other.position = std::min(other.position, size);
        data.resize(static_cast<std::size_t>(size), -1);
    }

    void Rename()
    {
        StorageHandle& dir = RandomDir();
        const std::wstring from = RandomName(), to = RandomName();
        MNode* source = FindChild(*dir.node, from);
        HRESULT expected = S_OK;
        if (FindChild(*dir.node, to))
            expected = STG_E_FILEALREADYEXISTS;
        else if (!source)
            expected = STG_E_FILENOTFOUND;
        Expect(dir.storage->RenameElement(NameFor(false, from).c_str(), to.c_str()), expected, "RenameElement");
        if (expected == S_OK)
            source->name = to;
    }

    void Destroy()
    {
        StorageHandle& dir = RandomDir();
        const std::wstring name = RandomName();
        MNode* node = FindChild(*dir.node, name);
        const HRESULT expected = !node ? STG_E_FILENOTFOUND : node->Busy() ? STG_E_ACCESSDENIED : S_OK;
        Expect(dir.storage->DestroyElement(NameFor(false, name).c_str()), expected, "DestroyElement");
        if (expected == S_OK)
            RemoveChild(*dir.node, node);
    }

    void ReleaseHandle()
    {
        const std::size_t total = mStreams.size() + mStorages.size() - 1;
        if (total == 0)
            return;
        const std::size_t i = Pick(static_cast<int>(total));
        if (i < mStreams.size()) {
            --mStreams[i].node->handles;
            mStreams[i].stream->Release();
            mStreams.erase(mStreams.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            const std::size_t k = i - mStreams.size() + 1;
            --mStorages[k].node->handles;
            mStorages[k].storage->Release();
            mStorages.erase(mStorages.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }

    void CheckFile(bool strict, const char* when)
    {
        CheckedFile checked;
        const std::string error = CheckCompoundFile(mBytes->Bytes(), checked, strict);
        if (!error.empty()) {
            if (!mEverCommitted)
                return; // nothing has ever been committed: there is no valid file yet
            Fail(std::string(when) + ": " + error + " (step " + std::to_string(mStep) + ")");
            return;
        }
        const std::string diff = CompareTree(checked.root, *mCommitted, "");
        if (!diff.empty())
            Fail(std::string(when) + ": " + diff + " (step " + std::to_string(mStep) + ")");
    }

    void Commit()
    {
        const bool inject = Pick(3) == 0;
        if (inject)
            mBytes->FailWritesFrom(mBytes->Writes() + 1 + Pick(12));
        const unsigned long writesBefore = mBytes->Writes();
        const HRESULT hr = mRoot->Commit(STGC_DEFAULT);
        mBytes->FailWritesFrom(0);
        if (SUCCEEDED(hr)) {
            ++commits;
            mEverCommitted = mEverCommitted || !mModel->children.empty();
            mCommitted = mModel->Clone();
            // A commit with nothing to write leaves what an earlier failed one left in the other
            // copy; only a commit that wrote makes the strict check hold again.
            if (mBytes->Writes() != writesBefore)
                mLastCommitFailed = false;
            CheckFile(!mLastCommitFailed, "after a commit");
        } else {
            ++failedCommits;
            if (!inject)
                Expect(hr, S_OK, "Commit");
            mLastCommitFailed = true;
            CheckFile(false, "after a failed commit");
        }
    }

    // Releases everything; with `crash` every write fails from now on, as if the process had gone.
    void CloseAll(bool crash = false)
    {
        if (crash)
            mBytes->FailWritesFrom(mBytes->Writes() + 1);
        vx::log::Capture quiet; // a failed closing commit writes its diagnostic line here
        for (auto& h : mStreams)
            h.stream->Release();
        for (std::size_t i = mStorages.size(); i-- > 0;)
            mStorages[i].storage->Release();
        mStreams.clear();
        mStorages.clear();
        mBytes->FailWritesFrom(0);
    }

    void Reopen()
    {
        auto* copy = new KEL::MemoryLockBytes(mBytes->Bytes());
        mBytes->Release();
        mBytes = copy;
        mModel = mCommitted->Clone();
        mRoot = nullptr;
        if (!mEverCommitted) {
            mBytes->Release();
            mBytes = new KEL::MemoryLockBytes();
        }
        const HRESULT hr = !mEverCommitted ? KEL::KELStorage::CreateOnLockBytes(mBytes, &mRoot)
                                           : KEL::KELStorage::OpenOnLockBytes(mBytes, &mRoot);
        Expect(hr, S_OK, "reopening");
        if (FAILED(hr)) {
            KEL::KELStorage::CreateOnLockBytes(mBytes, &mRoot);
            mModel = std::make_unique<MNode>();
            mModel->storage = true;
        }
        mStorages.push_back({ mRoot, mModel.get() });
        VerifyLive(mRoot, *mModel, 0);
    }

    // Walks the reopened tree through the storage objects.
    void VerifyLive(IStorage* storage, const MNode& model, int depth)
    {
        IEnumSTATSTG* e = nullptr;
        Expect(storage->EnumElements(0, nullptr, 0, &e), S_OK, "EnumElements");
        if (!e)
            return;
        STATSTG st;
        ULONG fetched = 0;
        std::size_t index = 0;
        while (e->Next(1, &st, &fetched) == S_OK) {
            const std::wstring name = st.pwcsName ? st.pwcsName : L"";
            CoTaskMemFree(st.pwcsName);
            if (index >= model.children.size() || model.children[index]->name != name) {
                Fail("reopened tree differs in its names (step " + std::to_string(mStep) + ")");
                break;
            }
            const MNode& child = *model.children[index++];
            if (child.storage) {
                IStorage* sub = nullptr;
                Expect(storage->OpenStorage(name.c_str(), nullptr, STGM_READ, nullptr, 0, &sub), S_OK, "OpenStorage");
                if (sub) {
                    VerifyLive(sub, child, depth + 1);
                    sub->Release();
                }
            } else {
                IStream* s = nullptr;
                Expect(storage->OpenStream(name.c_str(), nullptr, STGM_READ, 0, &s), S_OK, "OpenStream");
                if (s) {
                    const auto bytes = ReadAll(s);
                    if (bytes.size() != child.data.size())
                        Fail("reopened stream has another size");
                    for (std::size_t i = 0; i < bytes.size() && i < child.data.size(); ++i)
                        if (child.data[i] >= 0 && child.data[i] != bytes[i]) {
                            Fail("reopened stream differs");
                            break;
                        }
                    s->Release();
                }
            }
        }
        if (index != model.children.size())
            Fail("reopened tree lost elements");
        e->Release();
    }

    void Crash()
    {
        ++crashes;
        CloseAll(true);
        CheckFile(!mLastCommitFailed, "after a crash");
        Reopen();
    }

    void CloseAndReopen()
    {
        const unsigned long writesBefore = mBytes->Writes();
        CloseAll(false);
        mCommitted = mModel->Clone();
        if (mBytes->Writes() != writesBefore)
            mLastCommitFailed = false;
        mEverCommitted = mEverCommitted || !mModel->children.empty();
        ++commits;
        CheckFile(!mLastCommitFailed, "after closing");
        Reopen();
    }

public:
    void Run(int steps)
    {
        for (mStep = 0; mStep < steps && failure.empty(); ++mStep)
            Step();
    }

private:
    std::mt19937 mRandom;
    KEL::MemoryLockBytes* mBytes = nullptr;
    IStorage* mRoot = nullptr;
    std::unique_ptr<MNode> mModel, mCommitted;
    std::vector<StreamHandle> mStreams;
    std::vector<StorageHandle> mStorages;
    bool mLastCommitFailed = false;
    bool mEverCommitted = false;
    int mStep = 0;
};

} // namespace

TEST(CompoundFileModel, RandomSequencesKeepTheCommittedStateIntact)
{
    int commits = 0, failed = 0, crashes = 0;
    const unsigned only = std::getenv("VX_MODEL_SEED") ? unsigned(std::atoi(std::getenv("VX_MODEL_SEED"))) : 0;
    for (unsigned seed = only ? only : 1; seed <= (only ? only : 12u); ++seed) {
        ModelRun run(seed);
        run.Run(600);
        ASSERT_EQ(run.failure, "") << "seed " << seed;
        commits += run.commits;
        failed += run.failedCommits;
        crashes += run.crashes;
    }
    // The sequences must really have exercised commits, failures and crashes.
    EXPECT_GT(commits, 100);
    EXPECT_GT(failed, 20);
    EXPECT_GT(crashes, 20);
}
