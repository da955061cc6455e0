#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/String.h"

using KEL::String;

namespace {

// An IKELString of another implementation: UTF-16 characters (2 bytes each), its own count.
class ForeignString final : public IKELString {
public:
    explicit ForeignString(std::u16string text)
        : mText(std::move(text))
    {
    }
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IUnknown::kIid || iid == IKELString::kIid) {
            AddRef();
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override { return --mCount; }
    HRESULT SetFromBSTR(BSTR) override { return E_NOTIMPL; }
    HRESULT GetBSTR(BSTR* out) override
    {
        SysFreeString(*out);
        const std::wstring wide(mText.begin(), mText.end()); // test texts stay in the first plane here
        *out = mText.empty() ? nullptr : SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return S_OK;
    }
    HRESULT IsEmpty(VARIANT_BOOL* out) override { return *out = mText.empty() ? VARIANT_TRUE : VARIANT_FALSE, S_OK; }
    HRESULT GetLength(ULONG* out) override { return *out = ULONG(mText.size()), S_OK; }
    HRESULT IsEqual(IKELString*, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT IsShared(VARIANT_BOOL* out) override { return *out = VARIANT_FALSE, S_OK; }
    HRESULT GetKind(ULONG* out) override { return *out = 3, S_OK; }
    HRESULT CopyBytes(ULONG bytes, void* buffer) override
    {
        if (bytes < (mText.size() + 1) * 2)
            return E_FAIL;
        std::memcpy(buffer, mText.c_str(), (mText.size() + 1) * 2);
        return S_OK;
    }
    HRESULT GetLengthAndCharSize(ULONG* length, ULONG* size) override
    {
        *length = ULONG(mText.size());
        *size = 2;
        return S_OK;
    }
    HRESULT GetCapacity(ULONG* out) override { return *out = ULONG(mText.size()), S_OK; }
    HRESULT CreateNew(ULONG, IKELString**) override { return E_NOTIMPL; }
    HRESULT ToVariant(VARIANT*) override { return E_NOTIMPL; }

    ULONG mCount = 1;

private:
    std::u16string mText;
};

bool SameRep(const String& a, const String& b)
{
    return a.c_str() == b.c_str();
}

} // namespace

TEST(String, EmptyResultsShareOneRepresentation)
{
    const String reference;
    const ULONG before = reference.RefCount();
    const String empties[] = { String(static_cast<const wchar_t*>(nullptr)), String(L""), String(L"abc", 0),
        String(static_cast<const wchar_t*>(nullptr), 5), String("", String::kUtf8),
        String(static_cast<const char*>(nullptr), String::kAnsi), String(std::string()),
        String(static_cast<IKELString*>(nullptr)), String::FromThreadACP(nullptr), String::TakeBSTR(nullptr) };
    for (const String& e : empties) {
        EXPECT_TRUE(SameRep(e, reference));
        EXPECT_TRUE(e.IsEmpty());
        EXPECT_EQ(e.c_str()[0], L'\0');
    }
    EXPECT_EQ(reference.RefCount(), before + std::size(empties));
    EXPECT_EQ(reference.Capacity(), 9u);

    // These always make a representation of their own.
    const String fromWString { std::wstring() };
    const String repeatedZero(5, L'\0');
    EXPECT_FALSE(SameRep(fromWString, reference));
    EXPECT_FALSE(SameRep(repeatedZero, reference));
    EXPECT_TRUE(repeatedZero.IsEmpty());
    EXPECT_EQ(fromWString.Capacity(), 8u);
    EXPECT_EQ(String(10, L'x').Capacity(), 11u);
    EXPECT_EQ(String(10, L'x'), L"xxxxxxxxxx");
}

TEST(String, ConstructionFromEachSource)
{
    EXPECT_EQ(String(L"ab\0cd", 5), L"ab");
    EXPECT_EQ(String(L"abcdef", 3), L"abc");
    EXPECT_EQ(String("caf\xE9 \x80", String::kAnsi), L"caf\u00E9 \u20AC");
    EXPECT_EQ(String("caf\xC3\xA9", String::kUtf8), L"caf\u00E9");
    EXPECT_EQ(String(std::string("\xF0\x9F\x98\x80")), L"\U0001F600");
    EXPECT_EQ(KEL::Utf8ToString("a\xFF"
                                "b"),
        L"a\uFFFDb");
    EXPECT_EQ(String::FromUtf8("abc", 2), L"ab");
    EXPECT_EQ(String::FromThreadACP("\xC3\xA9t\xC3\xA9"), L"\u00E9t\u00E9"); // the process locale is UTF-8 here

    try {
        String s(L"abc", -1);
        FAIL() << "a negative count must throw";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "KEL::String size too big");
    }
}

TEST(String, CopyOnWriteLeavesOtherHoldersAlone)
{
    String a(L"abc");
    String b = a;
    EXPECT_TRUE(SameRep(a, b));
    EXPECT_EQ(a.RefCount(), 2u);
    b += L"def";
    EXPECT_EQ(a, L"abc");
    EXPECT_EQ(b, L"abcdef");
    EXPECT_EQ(a.RefCount(), 1u);
    b.Replace(0, 1, String(L"X"));
    String c = b;
    c.Erase(0, 2);
    EXPECT_EQ(b, L"Xbcdef");
    EXPECT_EQ(c, L"cdef");
    String& alias = a;
    a = alias; // self-assignment keeps the text and the count
    EXPECT_EQ(a, L"abc");
    EXPECT_EQ(a.RefCount(), 1u);
    String moved(std::move(c));
    EXPECT_EQ(moved, L"cdef");
    EXPECT_TRUE(c.IsEmpty());
}

TEST(String, AppendGrowsByHalfAgain)
{
    String s;
    s += L"abc";
    EXPECT_EQ(s.Capacity(), 9u); // copied out of the shared empty representation; length 4 fits
    String t;
    t += L"0123456789";
    EXPECT_EQ(t.Capacity(), 16u); // needs 11: 11 x 1.5 = 16.5, truncated
    t += L'!';
    EXPECT_EQ(t, L"0123456789!");
    EXPECT_EQ(t.Capacity(), 16u);
    // Appending the string to itself reads the text before the block moves.
    String self(L"abcdefg");
    self += self;
    self += self.c_str() + 10;
    EXPECT_EQ(self, L"abcdefgabcdefgdefg");
    // A length that would overflow is refused before anything is read or allocated.
    EXPECT_THROW(s.Append(L"x", static_cast<std::size_t>(-1)), std::length_error);
    EXPECT_THROW(s.Append(L"x", KELString::StringRep::kMaxCapacity), std::length_error);
    EXPECT_EQ(s, L"abc");
}

TEST(String, Replace)
{
    struct Case {
        std::size_t position, count;
        const wchar_t* with;
        const wchar_t* result;
    };
    const Case cases[] = {
        { 5, 0, L"!", L"hello!" }, // at the end: append
        { 1, 100, L"ey", L"hey" }, // count clipped
        { 0, 2, L"", L"llo" }, // removal only
        { 2, 1, L"LL", L"heLLlo" },
        { 4, 1, L"", L"hell" }, // removing the last character
        { 0, 0, L">> ", L">> hello" },
    };
    for (const Case& c : cases) {
        String s(L"hello");
        s.Replace(c.position, c.count, String(c.with));
        EXPECT_EQ(s, c.result) << c.position << " " << c.count;
        EXPECT_EQ(s.c_str()[s.Length()], L'\0');
    }
    String s(L"hello");
    s.Replace(0, 0, s);
    EXPECT_EQ(s, L"hellohello");
    EXPECT_THROW(s.Replace(11, 0, String(L"x")), std::out_of_range);
}

TEST(String, InterfaceSlots)
{
    String text(L"abc");
    IKELString* rep = text.Rep();
    ULONG value = 0;
    VARIANT_BOOL flag = 0;
    EXPECT_EQ(rep->GetKind(&value), S_OK);
    EXPECT_EQ(value, KEL::kStringRepKind);
    ASSERT_EQ(rep->GetLength(&value), S_OK);
    EXPECT_EQ(value, 3u);
    ASSERT_EQ(rep->GetCapacity(&value), S_OK);
    EXPECT_EQ(value, 7u);
    ASSERT_EQ(rep->IsEmpty(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);

    void* out = nullptr;
    EXPECT_EQ(rep->QueryInterface(IAutoKELString::kIid, &out), S_OK);
    EXPECT_EQ(out, rep);
    EXPECT_EQ(text.RefCount(), 2u);
    static_cast<IKELString*>(out)->Release();
    EXPECT_EQ(rep->QueryInterface(IClassFactory::kIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // The BSTR slot hands out the whole text and frees what the out parameter held.
    const long live = vx::com::LiveBstrCount();
    BSTR b = SysAllocString(L"old");
    ASSERT_EQ(rep->GetBSTR(&b), S_OK);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(std::wstring(b), L"abc");
    SysFreeString(b);
    EXPECT_EQ(vx::com::LiveBstrCount(), live);
    EXPECT_EQ(rep->GetBSTR(nullptr), E_FAIL);

    wchar_t bytes[4];
    EXPECT_EQ(rep->CopyBytes(sizeof(wchar_t) * 3, bytes), E_FAIL);
    ASSERT_EQ(rep->CopyBytes(sizeof bytes, bytes), S_OK);
    EXPECT_EQ(std::wstring(bytes), L"abc");

    VARIANT v;
    ASSERT_EQ(rep->ToVariant(&v), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(v.bstrVal), L"abc");
    VariantClear(&v);

    IKELString* fresh = nullptr;
    ASSERT_EQ(rep->CreateNew(20, &fresh), S_OK);
    fresh->GetCapacity(&value);
    EXPECT_EQ(value, 20u);
    fresh->Release();
}

TEST(String, SetFromBSTRRefusesSharedOrTooLong)
{
    String text(L"abc");
    BSTR longText = SysAllocString(L"12345678");
    BSTR shortText = SysAllocString(L"xyz1234");
    EXPECT_EQ(text.Rep()->SetFromBSTR(longText), E_FAIL); // 8 characters do not fit capacity 8
    EXPECT_EQ(text, L"abc");
    {
        String other = text;
        EXPECT_EQ(text.Rep()->SetFromBSTR(shortText), E_FAIL);
        EXPECT_EQ(other, L"abc");
    }
    EXPECT_EQ(text.Rep()->SetFromBSTR(shortText), S_OK);
    EXPECT_EQ(text, L"xyz1234");
    EXPECT_EQ(text.Rep()->SetFromBSTR(nullptr), S_OK);
    EXPECT_TRUE(text.IsEmpty());
    SysFreeString(longText);
    SysFreeString(shortText);
}

TEST(String, SharesOwnKindAndCopiesOthers)
{
    String a(L"shared");
    String b(a.Rep());
    EXPECT_TRUE(SameRep(a, b));
    EXPECT_EQ(a.RefCount(), 2u);
    String c;
    c.AssignRep(a.CopyRep()); // adopts the reference handed over
    EXPECT_EQ(a.RefCount(), 3u);

    ForeignString foreign(u"\u00E9t\u00E9 \U0001F600");
    String copy(&foreign);
    EXPECT_EQ(copy, L"\u00E9t\u00E9 \U0001F600");
    EXPECT_EQ(foreign.mCount, 1u);
    foreign.AddRef();
    String adopted;
    adopted.AssignRep(&foreign);
    EXPECT_EQ(adopted, copy);
    EXPECT_EQ(foreign.mCount, 1u); // copied and released

    VARIANT_BOOL equal = 0;
    ForeignString same(u"\u00E9t\u00E9"), different(u"\u00E9t"), empty(u"");
    String ete(L"\u00E9t\u00E9");
    ASSERT_EQ(ete.Rep()->IsEqual(&same, &equal), S_OK);
    EXPECT_EQ(equal, VARIANT_TRUE);
    ete.Rep()->IsEqual(&different, &equal);
    EXPECT_EQ(equal, VARIANT_FALSE);
    String().Rep()->IsEqual(&empty, &equal);
    EXPECT_EQ(equal, VARIANT_TRUE);
    String(L"\u00E9t\u00E9").Rep()->IsEqual(ete.Rep(), &equal);
    EXPECT_EQ(equal, VARIANT_TRUE);
}

TEST(String, BstrAndVariantConversions)
{
    const long live = vx::com::LiveBstrCount();
    EXPECT_EQ(String::TakeBSTR(SysAllocString(L"taken")), L"taken");
    EXPECT_EQ(String::TakeBSTR(SysAllocStringLen(L"ab\0", 3)), L"ab");
    EXPECT_TRUE(String::TakeBSTR(SysAllocString(L"")).IsEmpty());
    BSTR b = String(L"whole text").ToBSTR();
    EXPECT_EQ(SysStringLen(b), 10u);
    SysFreeString(b);
    EXPECT_EQ(String().ToBSTR(), nullptr);
    EXPECT_EQ(vx::com::LiveBstrCount(), live);

    VARIANT number;
    number.vt = VT_I4;
    number.lVal = 42;
    EXPECT_EQ(String::FromVariant(number), L"42");
}

TEST(String, NarrowCopiesFollowTheCurrentText)
{
    String s(L"a");
    EXPECT_STREQ(s.ToUtf8(), "a");
    s += L"\u00E9";
    EXPECT_STREQ(s.ToUtf8(), "a\xC3\xA9");
    EXPECT_STREQ(s.ToThreadACP(), "a\xC3\xA9");
    EXPECT_EQ(String(L"\U0001F600").Utf8(), "\xF0\x9F\x98\x80");
    String empty;
    EXPECT_STREQ(empty.ToUtf8(), "");
    // A shared text is copied before it takes a narrow copy of its own.
    String shared(L"x"), holder = shared;
    shared.ToUtf8();
    EXPECT_FALSE(SameRep(shared, holder));
}

TEST(String, BufferComparisonAndStreams)
{
    String path;
    wchar_t* buffer = path.GetBuffer(20);
    std::wcscpy(buffer, L"/tmp/file");
    path.ReleaseBuffer();
    EXPECT_EQ(path, L"/tmp/file");
    EXPECT_EQ(path.Length(), 9u);
    EXPECT_EQ(path.Find(L"file"), 5u);
    EXPECT_EQ(path.Substr(5), L"file");

    EXPECT_EQ(String(L"\u00C9clair").CompareNoCase(L"\u00E9CLAIR"), 0);
    EXPECT_LT(String(L"apple").CompareNoCase(L"Banana"), 0);
    EXPECT_GT(String(L"b").Compare(L"a"), 0);
    EXPECT_LT(String(L"a"), String(L"b"));

    std::wistringstream in(L"  one\ttwo  ");
    String word;
    in >> word;
    EXPECT_EQ(word, L"one");
    in >> word;
    EXPECT_EQ(word, L"two");
    EXPECT_FALSE(in >> word);
    std::wostringstream out;
    out << String(L"x=") << 3;
    EXPECT_EQ(out.str(), L"x=3");
    EXPECT_EQ(String(L"a") + L"b" + String(L"c"), L"abc");
    EXPECT_EQ(testing::PrintToString(String(L"caf\u00E9")), "L\"caf\xC3\xA9\"");
}

TEST(String, CopiesAndReleasesFromSeveralThreads)
{
    const String shared(L"shared text");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&shared] {
            for (int i = 0; i < 2000; ++i) {
                String copy = shared;
                copy += L'x';
                ASSERT_EQ(copy.Length(), 12u);
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(shared.RefCount(), 1u);
    EXPECT_EQ(shared, L"shared text");
}

extern "C" IKELString* ForeignModuleMakeString(const wchar_t* text);
extern "C" bool ForeignModuleIsNative(IKELString* rep);

TEST(String, SharesTheRepresentationsOfAnotherModule)
{
    const String own(L"own");
    IKELString* rep = ForeignModuleMakeString(L"from the other module");
    EXPECT_FALSE(KELString::StringRep::IsNative(rep));
    EXPECT_TRUE(ForeignModuleIsNative(rep));
    EXPECT_FALSE(ForeignModuleIsNative(own.Rep()));
    {
        String shared;
        shared.AssignRep(rep); // same layout and kind: taken over, not copied
        EXPECT_EQ(shared.c_str(), static_cast<KELString::StringRepBase*>(rep)->Text());
        EXPECT_EQ(shared, L"from the other module");
        String copy = shared;
        EXPECT_EQ(shared.RefCount(), 2u);
        copy += L"!";
        EXPECT_TRUE(KELString::StringRep::IsNative(copy.Rep()));
        EXPECT_EQ(shared, L"from the other module");
        EXPECT_EQ(copy, L"from the other module!");
    } // the last holder releases it through the module that made it
}
