// The session file on its own: its bytes and checksum, what a damaged file gives, and saves that
// never leave the user with less than the last good session, even when the process dies inside
// one.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "ScratchHost.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "foundation/stream/MemoryStream.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/hrvdoc/Session.h"
#include "varnex/session/SessionFile.h"

namespace fs = std::filesystem;
using vx::host::SessionContent;
using vx::host::SessionError;

namespace {

constexpr GUID kClass = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");

// A persisted object of the extension as the host sees it: bytes it saves, a dirty flag.
class StoredObject final : public SimpleUnknownImp1<IPersistStreamInit, 0> {
public:
    explicit StoredObject(std::string text)
        : text(std::move(text))
    {
    }
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (out && iid == IPersist::kIid) {
            *out = static_cast<IPersist*>(this);
            AddRef();
            return S_OK;
        }
        return SimpleUnknownImp1::QueryInterface(iid, out);
    }
    HRESULT GetClassID(CLSID* id) override { return id ? (*id = kClass, S_OK) : E_POINTER; }
    HRESULT IsDirty() override { return dirty ? S_OK : S_FALSE; }
    HRESULT Load(IStream*) override { return E_NOTIMPL; }
    HRESULT Save(IStream* stream, BOOL clearDirty) override
    {
        ULONG written = 0;
        stream->Write(text.data(), static_cast<ULONG>(text.size()), &written);
        if (clearDirty)
            dirty = false;
        return S_OK;
    }
    HRESULT GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT InitNew() override { return S_OK; }

    std::string text;
    bool dirty = true;
};

std::vector<std::uint8_t> Bytes(const std::string& s)
{
    return { s.begin(), s.end() };
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

SessionContent Sample()
{
    SessionContent c;
    c.objects.push_back({ 0, kClass, Bytes("settings bytes") });
    c.objects.push_back({ 1, kClass, Bytes("") });
    c.channels.push_back({ L"HRV_vFID", L"fiducial(HRV_vPK,\u00e9\U0001F600)" });
    c.links.push_back({ { 7, 0xC0000000u }, { 0, 0xC0000000u } });
    return c;
}

class SessionFile : public ::testing::Test {
protected:
    vx::test::ScratchHost mScratch { "varnex-session" };
    const fs::path& mDir = mScratch.dir;
    std::unique_ptr<vx::host::HrvHostDocument>& mHost = mScratch.host;
    // Hands the host's store an object, as the document's StoreObject does.
    StoredObject* Store(DWORD index, const std::string& text)
    {
        auto* object = new StoredObject(text);
        object->AddRef();
        mHost->StoreObject(index, object);
        object->Release();
        return object;
    }
};

} // namespace

TEST(SessionBytes, RoundTripKeepsEveryPartExactly)
{
    const SessionContent c = Sample();
    const SessionContent back = vx::host::DecodeSession(vx::host::EncodeSession(c));
    ASSERT_EQ(back.objects.size(), 2u);
    EXPECT_EQ(back.objects[0].index, 0u);
    EXPECT_EQ(back.objects[0].bytes, Bytes("settings bytes"));
    EXPECT_TRUE(back.objects[1].classId == kClass);
    EXPECT_TRUE(back.objects[1].bytes.empty());
    ASSERT_EQ(back.channels.size(), 1u);
    EXPECT_EQ(back.channels[0].name, L"HRV_vFID");
    EXPECT_EQ(back.channels[0].formula, c.channels[0].formula);
    ASSERT_EQ(back.links.size(), 1u);
    EXPECT_TRUE(back.links[0].from == c.links[0].from && back.links[0].to == c.links[0].to);
}

TEST(SessionBytes, EveryDamageIsRefusedWithItsReason)
{
    const std::vector<std::uint8_t> good = vx::host::EncodeSession(Sample());
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    for (std::size_t i = 0; i < good.size(); ++i) {
        auto flipped = good;
        flipped[i] ^= 0x01;
        cases.push_back({ "one bit flipped", flipped, i < 8 ? "not a session file" : "checksum" });
    }
    for (std::size_t n : { std::size_t(0), std::size_t(7), std::size_t(19), good.size() - 1 })
        cases.push_back({ "cut short", std::vector<std::uint8_t>(good.begin(), good.begin() + n), "" });
    // A section that claims more bytes than the file has, with a checksum that matches.
    auto lying = std::vector<std::uint8_t>(good.begin(), good.end() - 4);
    lying[8 + 8 + 8] = 0xFF;
    const std::uint32_t crc = vx::host::Crc32(lying.data(), lying.size());
    for (int i = 0; i < 4; ++i)
        lying.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    cases.push_back({ "a section longer than the file", lying, "ends inside" });
    // A newer format.
    auto newer = std::vector<std::uint8_t>(good.begin(), good.end() - 4);
    newer[8] = 2;
    const std::uint32_t crc2 = vx::host::Crc32(newer.data(), newer.size());
    for (int i = 0; i < 4; ++i)
        newer.push_back(static_cast<std::uint8_t>(crc2 >> (8 * i)));
    cases.push_back({ "newer", newer, "newer version" });

    for (const Case& c : cases) {
        try {
            vx::host::DecodeSession(c.bytes);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const SessionError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.name << ": " << e.what();
        }
    }
    // The CRC-32 of the standard check string.
    const std::string check = "123456789";
    EXPECT_EQ(vx::host::Crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xCBF43926u);
}

TEST_F(SessionFile, SaveKeepsTheDirtyFlagsUntilTheFileIsInPlace)
{
    StoredObject* settings = Store(0, "settings v1");
    StoredObject* data = Store(1, "data v1");
    const fs::path path = mDir / "r.hea.varnex-session";
    EXPECT_FALSE(varnex::ReadSessionFile(path.string(), vx::host::SessionSizeLimit(mHost->GetRecording())).has_value());
    EXPECT_TRUE(vx::host::SessionDirty(*mHost));

    varnex::SaveSession(*mHost, path.string());
    EXPECT_FALSE(settings->dirty);
    EXPECT_FALSE(data->dirty);
    EXPECT_FALSE(vx::host::SessionDirty(*mHost));
    const auto read = varnex::ReadSessionFile(path.string(), vx::host::SessionSizeLimit(mHost->GetRecording()));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->objects.size(), 2u);
    EXPECT_EQ(read->objects[0].bytes, Bytes("settings v1"));
    EXPECT_EQ(read->objects[1].bytes, Bytes("data v1"));

    // A save that fails before the file is in place (its folder is gone) leaves the flags set.
    data->text = "data v2";
    data->dirty = true;
    EXPECT_THROW(varnex::SaveSession(*mHost, (mDir / "gone" / "r.hea.varnex-session").string()), std::exception);
    EXPECT_TRUE(data->dirty);
}

TEST_F(SessionFile, ASaveInterruptedAfterTheTemporaryFileLeavesThePreviousSessionReadable)
{
    Store(0, "settings v1");
    StoredObject* data = Store(1, "beat marks v1");
    const fs::path path = mDir / "r.hea.varnex-session";
    varnex::SaveSession(*mHost, path.string());
    const std::string before = ReadFile(path);

    data->text = "beat marks v2";
    data->dirty = true;
    const std::vector<std::uint8_t> next = vx::host::EncodeSession(vx::host::CollectSession(*mHost));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The process dies once the new session is written beside the old one, before the
        // rename: nothing is cleaned up, as after a crash or a power cut.
        varnex::SessionSave save(path.string());
        save.WriteTemporary(next);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // The temporary file is there, and the session is the previous one, whole.
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(mDir))
        files += e.is_regular_file();
    EXPECT_EQ(files, 2u);
    EXPECT_EQ(ReadFile(path), before);
    const auto read = varnex::ReadSessionFile(path.string(), vx::host::SessionSizeLimit(mHost->GetRecording()));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->objects[1].bytes, Bytes("beat marks v1"));
    // The edit is still unsaved, and the next save puts it in place.
    EXPECT_TRUE(data->dirty);
    varnex::SaveSession(*mHost, path.string());
    EXPECT_EQ(
        varnex::ReadSessionFile(path.string(), vx::host::SessionSizeLimit(mHost->GetRecording()))->objects[1].bytes,
        Bytes("beat marks v2"));
}
