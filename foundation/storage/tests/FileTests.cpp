// File lock bytes on real files, temporary storages and the path helpers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CompoundFileChecker.h"
#include "TestSupport.h"
#include "foundation/storage/FileLockBytes.h"
#include "foundation/storage/FilePath.h"
#include "log/Log.h"

using namespace vxtest;
namespace fs = std::filesystem;

namespace {

// A folder of its own under the system's temporary folder, removed afterwards.
struct TempFolder {
    fs::path path;
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "vxstorageXXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    KEL::String Name(const std::string& leaf) const { return KEL::String((path / leaf).wstring()); }
};

std::vector<std::uint8_t> FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(FileLockBytes, PositionedReadsAndWritesStatAndDeleteAtLastRelease)
{
    TempFolder folder;
    const KEL::String name = folder.Name("Mixed Case.KEL");
    auto* bytes = new FileLockBytesImpl::FileLockBytes(name, true);
    EXPECT_EQ(bytes->Path().ToWString(), name.ToWString()); // the case is kept
    const char data[] = "0123456789";
    ULONG done = 0;
    EXPECT_EQ(bytes->WriteAt({ 100 }, data, 10, &done), S_OK);
    EXPECT_EQ(bytes->WriteAt({ 110 }, data, 5, &done), S_OK);
    EXPECT_EQ(bytes->WriteAt({ 4 }, data, 2, &done), S_OK);
    char back[16] = {};
    EXPECT_EQ(bytes->ReadAt({ 108 }, back, 16, &done), S_OK);
    EXPECT_EQ(done, 7u); // up to the end of the file
    EXPECT_EQ(std::string(back, 7), "8901234");
    STATSTG st;
    EXPECT_EQ(bytes->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.pwcsName, nullptr);
    EXPECT_EQ(st.cbSize.QuadPart, 115u);
    EXPECT_EQ(st.type, STGTY_LOCKBYTES);
    EXPECT_EQ(st.grfMode, 0x04011012u);
    EXPECT_EQ(bytes->Stat(&st, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(std::wstring(st.pwcsName), name.ToWString());
    CoTaskMemFree(st.pwcsName);
    EXPECT_EQ(bytes->SetSize({ 50 }), S_OK);
    EXPECT_EQ(fs::file_size(folder.path / "Mixed Case.KEL"), 50u);
    void* kel = nullptr;
    EXPECT_EQ(bytes->QueryInterface(IKELLockBytes::kIid, &kel), S_OK);
    static_cast<IKELLockBytes*>(kel)->Release();
    EXPECT_TRUE(fs::exists(folder.path / "Mixed Case.KEL")); // the name stays valid while open
    EXPECT_EQ(bytes->Release(), 0u);
    EXPECT_FALSE(fs::exists(folder.path / "Mixed Case.KEL"));
}

TEST(FileLockBytes, FailedCreationThrowsOnceAndDeletesNothing)
{
    TempFolder folder;
    fs::create_directory(folder.path / "taken");
    struct Case {
        std::string leaf;
        HRESULT code;
    };
    const Case cases[] = {
        { "missing/file", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) },
        { "taken", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) },
    };
    for (const Case& c : cases) {
        vx::log::Capture capture;
        try {
            new FileLockBytesImpl::FileLockBytes(folder.Name(c.leaf), true);
            ADD_FAILURE() << c.leaf;
        } catch (const KEL::XLockBytesCreate& e) {
            EXPECT_EQ(e.GetHResult(), c.code) << c.leaf;
        }
        EXPECT_EQ(capture.Lines().size(), 1u);
    }
    EXPECT_TRUE(fs::is_directory(folder.path / "taken"));
    // A temporary storage on a file the caller named leaves the file in place.
    IStorage* named = nullptr;
    ASSERT_EQ(KEL::KELStorage::CreateTempStorage(folder.Name("named.tmp"), &named), S_OK);
    named->Release();
    EXPECT_TRUE(fs::exists(folder.path / "named.tmp"));
    IStorage* storage = nullptr;
    EXPECT_EQ(KEL::KELStorage::CreateTempStorage(folder.Name("missing/file"), &storage),
        HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(storage, nullptr);
}

TEST(FileLockBytes, TemporaryStorageLivesAsLongAsItsObjects)
{
    TempFolder folder;
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("TMPDIR", folder.path.c_str(), 1);
    IStorage* root = nullptr;
    ASSERT_EQ(KEL::KELStorage::CreateTempStorage(KEL::String(), &root), S_OK);
    if (saved)
        ::setenv("TMPDIR", savedValue.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    STATSTG st;
    ASSERT_EQ(root->Stat(&st, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(st.type, STGTY_STORAGE);
    const fs::path file(st.pwcsName);
    CoTaskMemFree(st.pwcsName);
    EXPECT_EQ(file.parent_path(), folder.path);
    EXPECT_EQ(file.filename().string().substr(0, 3), "KEL");
    EXPECT_EQ(file.extension(), ".tmp");
    IStream* s = nullptr;
    ASSERT_EQ(root->CreateStream(L"Data", STGM_READWRITE, 0, 0, &s), S_OK);
    ASSERT_EQ(WriteAll(s, Pattern(50000, 11)), S_OK);
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    CheckedFile checked;
    ASSERT_EQ(CheckCompoundFile(FileBytes(file), checked), "");
    EXPECT_EQ(checked.root.children[0].data, Pattern(50000, 11));
    root->Release();
    EXPECT_TRUE(fs::exists(file)); // the stream still holds the root
    s->Release();
    EXPECT_FALSE(fs::exists(file));
}

TEST(FilePath, MakeFullPathResolveAndBesideHostExe)
{
    const std::wstring cwd = fs::current_path().wstring();
    struct Case {
        std::wstring in, out;
    };
    const Case cases[] = {
        { L"/a/b/../c/./d", L"/a/c/d" }, { L"/a//b/", L"/a/b/" }, { L"rel/File.TXT", cwd + L"/rel/File.TXT" },
        { L"/../x", L"/x" },
        { L"/" + std::wstring(400, L'n'), L"/" + std::wstring(400, L'n') }, // no 260-character limit
    };
    for (const Case& c : cases) {
        KEL::String path(c.in);
        EXPECT_TRUE(KEL::MakeFullPath(path));
        EXPECT_EQ(path.ToWString(), c.out);
    }
    KEL::String empty;
    EXPECT_FALSE(KEL::MakeFullPath(empty));
    EXPECT_TRUE(empty.IsEmpty());

    TempFolder folder;
    std::ofstream(folder.path / "a*b?.txt") << "x";
    std::ofstream(folder.path / "aXbY.txt") << "y";
    KEL::String literal = folder.Name("a*b?.txt");
    EXPECT_TRUE(KEL::ResolveFileName(literal));
    EXPECT_EQ(literal.ToWString(), (folder.path / "a*b?.txt").wstring());
    KEL::String wildcard = folder.Name("a*.txt"); // no wildcard: this name does not exist
    EXPECT_FALSE(KEL::ResolveFileName(wildcard));
    EXPECT_EQ(wildcard.ToWString(), (folder.path / "a*.txt").wstring());

    const std::wstring exeFolder = fs::read_symlink("/proc/self/exe").parent_path().wstring();
    EXPECT_EQ(KEL::PathBesideHostExe(KEL::String(L"Essential Files/Reva.kelini")).ToWString(),
        exeFolder + L"/Essential Files/Reva.kelini");
}
