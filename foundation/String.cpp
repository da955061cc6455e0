#include "foundation/String.h"

#include <locale.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <istream>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "foundation/Utf.h"
#include "text/CodePage.h"

namespace KEL {

using KELString::ReleaseRep;
using KELString::StringRep;
using KELString::StringRepBase;

namespace {

constexpr std::size_t kMaxThreadAcpLength = 0x40000000;

wchar_t* EmptyText()
{
    return StringRep::SharedEmpty()->Text();
}

// A fresh representation holding `count` characters of `text` and a terminator.
wchar_t* NewText(const wchar_t* text, std::size_t count, std::size_t capacity)
{
    StringRep* rep = StringRep::Create(std::max(capacity, count + 1));
    std::wmemcpy(rep->Text(), text, count);
    rep->Text()[count] = 0;
    rep->mLength = static_cast<ULONG>(count + 1);
    return rep->Text();
}

// Narrow text through its terminator into a fresh representation sized exactly by a first
// conversion without output; null when the text is empty or does not convert.
wchar_t* ConvertNarrow(UINT codePage, const char* text)
{
    const int needed = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (needed < 2)
        return nullptr;
    StringRep* rep = StringRep::Create(static_cast<std::size_t>(needed));
    if (MultiByteToWideChar(codePage, 0, text, -1, rep->Text(), needed) != needed) {
        ReleaseRep(rep);
        return nullptr;
    }
    rep->mLength = static_cast<ULONG>(needed);
    return rep->Text();
}

// The new capacity for a needed length: 1.5 times, computed without overflow and kept within
// the largest capacity.
std::size_t GrownCapacity(std::size_t needed)
{
    const double grown = static_cast<double>(needed) * 1.5;
    return grown >= static_cast<double>(StringRep::kMaxCapacity) ? StringRep::kMaxCapacity
                                                                 : static_cast<std::size_t>(grown);
}

std::size_t CheckedSum(std::size_t a, std::size_t b)
{
    if (b > StringRep::kMaxCapacity || a > StringRep::kMaxCapacity - b)
        throw std::length_error("KEL::String size too big");
    return a + b;
}

wint_t Fold(wchar_t c)
{
    // Case folding that does not depend on the process locale.
    static const locale_t folding = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return folding ? towlower_l(static_cast<wint_t>(c), folding) : std::towlower(static_cast<wint_t>(c));
}

// Stores a conversion of the text as the representation's narrow copy.
const char* StoreNarrow(StringRepBase* rep, UINT codePage, ULONG kind)
{
    const wchar_t* text = StringRep::TextOf(rep);
    const int length = static_cast<int>(rep->mLength); // the terminator included
    const int needed = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    char* narrow = static_cast<char*>(std::malloc(needed > 0 ? static_cast<std::size_t>(needed) : 1));
    if (!narrow)
        throw std::bad_alloc();
    if (needed <= 0 || WideCharToMultiByte(codePage, 0, text, length, narrow, needed, nullptr, nullptr) != needed)
        narrow[0] = 0;
    std::free(rep->mNarrow);
    rep->mNarrow = narrow;
    rep->mNarrowKind = kind;
    return narrow;
}

} // namespace

String::String() noexcept
    : mText(EmptyText())
{
}

String::String(const wchar_t* text)
    : mText(text && *text ? NewText(text, std::wcslen(text), 8) : EmptyText())
{
}

String::String(const wchar_t* text, int count)
    : mText(nullptr)
{
    if (count < 0)
        throw std::length_error("KEL::String size too big");
    const std::size_t length = text ? wcsnlen(text, static_cast<std::size_t>(count)) : 0;
    mText = length ? NewText(text, length, 8) : EmptyText();
}

String::String(std::wstring_view text)
    : mText(text.empty() ? EmptyText() : NewText(text.data(), text.size(), 8))
{
}

String::String(const std::wstring& text)
    : mText(NewText(text.data(), text.size(), 8))
{
}

String::String(unsigned count, wchar_t character)
    : mText(nullptr)
{
    StringRep* rep = StringRep::Create(CheckedSum(count, 1));
    const std::size_t n = character ? count : 0;
    std::wmemset(rep->Text(), character, n);
    rep->Text()[n] = 0;
    rep->mLength = static_cast<ULONG>(n + 1);
    mText = rep->Text();
}

String::String(const char* text, int flag)
    : mText(nullptr)
{
    wchar_t* converted = text && *text ? ConvertNarrow(flag == kAnsi ? CP_ACP : CP_UTF8, text) : nullptr;
    mText = converted ? converted : EmptyText();
}

String::String(const std::string& utf8)
    : String(FromUtf8(utf8.data(), utf8.size()))
{
}

String::String(IKELString* rep)
    : mText(EmptyText())
{
    InitFromInterface(rep);
}

String::String(const String& other) noexcept
    : mText(other.mText)
{
    RepBase()->mRefCount.fetch_add(1);
}

String::String(String&& other) noexcept
    : mText(other.mText)
{
    other.mText = EmptyText();
}

String::~String()
{
    ReleaseRep(RepBase());
}

String& String::operator=(const String& other) noexcept
{
    // The source gains its reference before the old one is dropped, so self-assignment is safe.
    other.RepBase()->mRefCount.fetch_add(1);
    ReleaseRep(RepBase());
    mText = other.mText;
    return *this;
}

String& String::operator=(String&& other) noexcept
{
    if (this != &other)
        std::swap(mText, other.mText);
    return *this;
}

String& String::operator=(IKELString* rep)
{
    String fresh(rep);
    return *this = std::move(fresh);
}

String& String::operator=(const wchar_t* text)
{
    AssignCStr(text);
    return *this;
}

void String::Adopt(StringRepBase* rep) noexcept
{
    StringRepBase* old = RepBase();
    mText = StringRep::TextOf(rep);
    ReleaseRep(old);
}

void String::InitFromInterface(IKELString* rep)
{
    if (!rep)
        return; // already the empty text
    if (StringRep::IsShareable(rep)) {
        auto* base = static_cast<StringRepBase*>(rep);
        base->mRefCount.fetch_add(1);
        Adopt(base);
        return;
    }
    AssignFromInterface(rep);
}

void String::AssignFromInterface(IKELString* rep)
{
    if (!rep) {
        Adopt(StringRep::SharedEmpty());
        return;
    }
    ULONG length = 0, charSize = 0;
    if (FAILED(rep->GetLengthAndCharSize(&length, &charSize)) || length == 0) {
        Adopt(StringRep::SharedEmpty());
        return;
    }
    // The other implementation's characters go through a heap buffer whatever their number.
    const std::size_t bytes = (std::size_t(length) + 1) * charSize;
    std::vector<unsigned char> buffer(bytes + sizeof(wchar_t), 0);
    if (charSize == 0 || bytes > ULONG(-1) || FAILED(rep->CopyBytes(static_cast<ULONG>(bytes), buffer.data()))) {
        Adopt(StringRep::SharedEmpty());
        return;
    }
    String copy;
    if (charSize == sizeof(wchar_t)) {
        std::vector<wchar_t> text(length);
        std::memcpy(text.data(), buffer.data(), std::size_t(length) * sizeof(wchar_t));
        copy = String(std::wstring_view(text.data(), wcsnlen(text.data(), length)));
    } else if (charSize == sizeof(char16_t)) {
        std::vector<char16_t> units(length);
        std::memcpy(units.data(), buffer.data(), std::size_t(length) * sizeof(char16_t));
        copy = String(Utf16ToWide(units.data(), length));
    } else if (charSize == 1) {
        copy = String(reinterpret_cast<const char*>(buffer.data()), kAnsi);
    }
    *this = std::move(copy);
}

String String::FromUtf8(const char* text, std::size_t length)
{
    if (!text || length == 0)
        return String();
    return String(std::wstring_view(Utf8ToWide(std::string(text, length))));
}

String String::FromThreadACP(const char* text)
{
    String result;
    if (!text || strnlen(text, kMaxThreadAcpLength) >= kMaxThreadAcpLength)
        return result;
    if (wchar_t* converted = *text ? ConvertNarrow(CP_THREAD_ACP, text) : nullptr)
        result.Adopt(StringRep::FromText(converted));
    return result;
}

String String::TakeBSTR(BSTR text)
{
    String result;
    const UINT count = SysStringLen(text);
    if (count > 0) {
        // A BSTR that already ends in 0 keeps that 0 as the terminator.
        const std::size_t length = text[count - 1] == 0 ? count - 1 : count;
        result.Adopt(StringRep::FromText(NewText(text, length, std::size_t(count) + 1)));
    }
    SysFreeString(text);
    return result;
}

String String::FromVariant(const VARIANT& value)
{
    if (value.vt == VT_BSTR)
        return String(std::wstring_view(value.bstrVal ? value.bstrVal : L"", SysStringLen(value.bstrVal)));
    VARIANT text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return String();
    String result(std::wstring_view(text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal)));
    VariantClear(&text);
    return result;
}

void String::AssignRep(IKELString* rep)
{
    if (!rep) {
        Adopt(StringRep::SharedEmpty());
    } else if (StringRep::IsShareable(rep)) {
        Adopt(static_cast<StringRepBase*>(rep)); // the caller's reference becomes ours
    } else {
        AssignFromInterface(rep);
        rep->Release();
    }
}

void String::AssignCStr(const wchar_t* text)
{
    String fresh(text);
    *this = fresh;
}

std::size_t String::Length() const noexcept
{
    return RepBase()->mLength - 1;
}

String String::Substr(std::size_t position, std::size_t count) const
{
    const std::wstring_view view = View();
    if (position > view.size())
        throw std::out_of_range("KEL::String position out of range");
    return String(view.substr(position, count));
}

int String::Compare(std::wstring_view other) const noexcept
{
    const int c = View().compare(other);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int String::CompareNoCase(std::wstring_view other) const noexcept
{
    const std::wstring_view self = View();
    const std::size_t n = std::min(self.size(), other.size());
    for (std::size_t i = 0; i < n; ++i) {
        const wint_t a = Fold(self[i]), b = Fold(other[i]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return self.size() < other.size() ? -1 : self.size() > other.size() ? 1 : 0;
}

IKELString* String::Rep() const noexcept
{
    return RepBase();
}

IKELString* String::CopyRep() const noexcept
{
    RepBase()->mRefCount.fetch_add(1);
    return RepBase();
}

BSTR String::ToBSTR() const
{
    const std::size_t length = Length();
    return length ? SysAllocStringLen(mText, static_cast<UINT>(length)) : nullptr;
}

HRESULT String::ToVariant(VARIANT* out) const
{
    return RepBase()->ToVariant(out);
}

const char* String::ToUtf8()
{
    MakeUnique();
    return StoreNarrow(RepBase(), CP_UTF8, StringRepBase::kNarrowUtf8);
}

const char* String::ToThreadACP()
{
    MakeUnique();
    return StoreNarrow(RepBase(), CP_THREAD_ACP, StringRepBase::kNarrowThreadAcp);
}

std::string String::Utf8() const
{
    return Utf16ToUtf8(mText, Length());
}

void String::MakeUnique()
{
    StringRepBase* rep = RepBase();
    if (rep->mRefCount.load() == 1 && StringRep::IsNative(rep)) {
        rep->mNarrowKind = StringRepBase::kNarrowNone;
        return;
    }
    Adopt(StringRep::FromText(NewText(mText, Length(), rep->mCapacity)));
}

void String::Reserve(std::size_t capacity)
{
    StringRepBase* rep = RepBase();
    if (rep->mRefCount.load() == 1 && StringRep::IsNative(rep) && capacity == rep->mCapacity)
        return;
    Adopt(StringRep::FromText(NewText(mText, Length(), std::max<std::size_t>(capacity, 8))));
}

void String::Clear(std::size_t capacity)
{
    Adopt(StringRep::Create(capacity));
}

wchar_t* String::GetBuffer(std::size_t count)
{
    StringRepBase* rep = RepBase();
    if (rep->mRefCount.load() == 1 && StringRep::IsNative(rep) && rep->mCapacity >= CheckedSum(count, 1)) {
        std::free(rep->mNarrow);
        rep->mNarrow = nullptr;
        rep->mNarrowKind = StringRepBase::kNarrowNone;
    } else {
        Adopt(StringRep::Create(CheckedSum(count, 1)));
        rep = RepBase();
    }
    rep->mLength = 1;
    mText[0] = 0;
    mText[count] = 0;
    return mText;
}

void String::ReleaseBuffer() noexcept
{
    StringRepBase* rep = RepBase();
    const std::size_t length = wcsnlen(mText, rep->mCapacity - 1);
    mText[length] = 0;
    rep->mLength = static_cast<ULONG>(length + 1);
}

String& String::operator+=(const wchar_t* text)
{
    return text ? Append(text, std::wcslen(text)) : *this;
}

String& String::Append(const wchar_t* text, std::size_t count)
{
    if (count == 0)
        return *this;
    // Text taken from this string's own block would move when the block grows.
    const auto address = reinterpret_cast<std::uintptr_t>(text), start = reinterpret_cast<std::uintptr_t>(mText);
    if (address >= start && address < start + RepBase()->mCapacity * sizeof(wchar_t)) {
        const std::wstring copy(text, count);
        return Append(copy.data(), copy.size());
    }
    MakeUnique();
    const std::size_t length = RepBase()->mLength;
    const std::size_t needed = CheckedSum(length, count);
    if (needed > RepBase()->mCapacity)
        Reserve(GrownCapacity(needed));
    std::wmemcpy(mText + length - 1, text, count);
    mText[needed - 1] = 0;
    RepBase()->mLength = static_cast<ULONG>(needed);
    return *this;
}

void String::Replace(std::size_t position, std::size_t count, const String& with)
{
    const String text(with); // keeps the replacement alive should it be this string
    std::size_t length = RepBase()->mLength;
    if (position > length - 1)
        throw std::out_of_range("KEL::String position out of range");
    if (position == length - 1) {
        Append(text.mText, text.Length());
        return;
    }
    MakeUnique();
    const std::size_t n = std::min(length - position - 1, count);
    if (n > 0) {
        // Move the rest, terminator included, down over the removed characters.
        std::wmemmove(mText + position, mText + position + n, length - position - n);
        length -= n;
        RepBase()->mLength = static_cast<ULONG>(length);
    }
    const std::size_t m = text.Length();
    if (m > 0) {
        const std::size_t needed = CheckedSum(length, m);
        if (RepBase()->mCapacity < needed)
            Reserve(needed);
        std::wmemmove(mText + position + m, mText + position, length - position);
        std::wmemcpy(mText + position, text.mText, m);
        RepBase()->mLength = static_cast<ULONG>(needed);
    }
}

void String::Erase(std::size_t position, std::size_t count)
{
    Replace(position, count, String());
}

std::size_t String::Capacity() const noexcept
{
    return RepBase()->mCapacity;
}

ULONG String::RefCount() const noexcept
{
    return RepBase()->mRefCount.load();
}

String operator+(const String& a, const String& b)
{
    String result(a);
    return result += b;
}

String operator+(const String& a, const wchar_t* b)
{
    String result(a);
    return result += b;
}

String operator+(const wchar_t* a, const String& b)
{
    String result(a);
    return result += b;
}

std::wostream& operator<<(std::wostream& out, const String& text)
{
    return out << text.View();
}

std::wistream& operator>>(std::wistream& in, String& text)
{
    std::wistream::sentry sentry(in); // skips leading white space
    if (!sentry)
        return in;
    text = String();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(in.getloc());
    std::streamsize limit = in.width() > 0 ? in.width() : std::numeric_limits<std::streamsize>::max();
    std::wstring buffer;
    for (std::wistream::int_type c = in.rdbuf()->sgetc();; c = in.rdbuf()->snextc()) {
        if (std::wistream::traits_type::eq_int_type(c, std::wistream::traits_type::eof())) {
            in.setstate(std::ios_base::eofbit);
            break;
        }
        const wchar_t ch = std::wistream::traits_type::to_char_type(c);
        if (ctype.is(std::ctype_base::space, ch) || static_cast<std::streamsize>(buffer.size()) >= limit)
            break;
        buffer.push_back(ch);
    }
    in.width(0);
    if (buffer.empty()) {
        in.setstate(std::ios_base::failbit);
        return in;
    }
    text = String(std::wstring_view(buffer));
    return in;
}

void PrintTo(const String& text, std::ostream* out)
{
    *out << "L\"" << text.Utf8() << '"';
}

String Utf8ToString(const std::string& utf8)
{
    return String::FromUtf8(utf8.data(), utf8.size());
}

} // namespace KEL
