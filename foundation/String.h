#pragma once
// KEL::String: the system's text type. Reference-counted and copy-on-write: copying costs one
// atomic increment and the text is copied only on the first write to a shared representation.
// The string is one pointer to the first character of its representation (StringRep.h), so it is
// always a valid null-terminated wide string; it is never null, and every empty text produced by
// the pointer and narrow constructors shares one representation.
//
// A KEL::String value may be copied and released from several threads at once; one KEL::String
// object must not be written by two threads at once.
#include <compare>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "foundation/StringRep.h"

namespace KEL {

class StringStreamBuf;

class String {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    // Flags of the narrow constructor.
    static constexpr int kUtf8 = 0;
    static constexpr int kAnsi = 1; // the ANSI code page (CP_ACP, Windows-1252)

    String() noexcept;
    // Null or "" gives the shared empty text.
    String(const wchar_t* text);
    // Up to `count` characters, stopping early at a 0. A negative count throws std::length_error
    // with "KEL::String size too big".
    String(const wchar_t* text, int count);
    // Like the counted constructor: an empty view gives the shared empty text.
    String(std::wstring_view text);
    // Always a representation of its own, also for an empty text.
    String(const std::wstring& text);
    // `count` copies of `character` in a representation of its own; the character 0 gives an
    // empty text.
    String(unsigned count, wchar_t character);
    // Narrow text through its terminator: kAnsi reads the ANSI code page, any other flag UTF-8.
    // Null, "" or a failed conversion gives the empty text.
    String(const char* text, int flag);
    explicit String(const std::string& utf8);
    // Shares a representation of this library's kind (adding a reference), copies any other.
    explicit String(IKELString* rep);
    String(const String& other) noexcept;
    String(String&& other) noexcept;
    ~String();

    String& operator=(const String& other) noexcept;
    String& operator=(String&& other) noexcept;
    String& operator=(IKELString* rep);
    String& operator=(const wchar_t* text);

    // UTF-8 text of `length` bytes; ill-formed parts become U+FFFD.
    static String FromUtf8(const char* text, std::size_t length);
    // Null-terminated text in the calling thread's ANSI code page (CP_THREAD_ACP). Null, a text of
    // 0x40000000 bytes or more, or a failed conversion gives the empty text.
    static String FromThreadACP(const char* text);
    // Takes over a BSTR returned into a temporary: copies its text and frees it.
    static String TakeBSTR(BSTR text);
    // Any VARIANT that converts to text; the empty text when it does not.
    static String FromVariant(const VARIANT& value);

    // Adopts one reference the caller holds: a shareable representation is taken as it is, any
    // other is copied and released. Null gives the empty text.
    void AssignRep(IKELString* rep);
    void AssignCStr(const wchar_t* text);
    // Copies the text of a representation of another implementation (null gives the empty text).
    void AssignFromInterface(IKELString* rep);

    // Reading.
    const wchar_t* c_str() const noexcept { return mText; }
    std::size_t Length() const noexcept;
    bool IsEmpty() const noexcept { return Length() == 0; }
    wchar_t operator[](std::size_t index) const noexcept { return mText[index]; }
    std::wstring_view View() const noexcept { return { mText, Length() }; }
    std::wstring ToWString() const { return std::wstring(View()); }
    std::size_t Find(std::wstring_view text, std::size_t from = 0) const noexcept { return View().find(text, from); }
    std::size_t Find(wchar_t character, std::size_t from = 0) const noexcept { return View().find(character, from); }
    bool Contains(std::wstring_view text) const noexcept { return Find(text) != npos; }
    String Substr(std::size_t position, std::size_t count = npos) const;
    int Compare(std::wstring_view other) const noexcept;
    // Compares with case folded (simple lower-case mapping of each character).
    int CompareNoCase(std::wstring_view other) const noexcept;
    bool EqualsNoCase(std::wstring_view other) const noexcept { return CompareNoCase(other) == 0; }

    // Crossing interfaces.
    IKELString* Rep() const noexcept; // no reference added
    IKELString* CopyRep() const noexcept; // one reference added, for the receiver to release
    BSTR ToBSTR() const; // a new BSTR of the whole text (null for an empty text)
    HRESULT ToVariant(VARIANT* out) const;

    // Narrow copies, kept in the representation until the next conversion (or its end).
    const char* ToUtf8();
    const char* ToThreadACP();
    std::string Utf8() const; // a copy that the representation does not keep

    // Editing. Each makes the representation unique first.
    void MakeUnique();
    // Capacity `capacity` (terminator included, at least the current length and 8).
    void Reserve(std::size_t capacity);
    // A fresh empty representation of the given capacity (at least 8).
    void Clear(std::size_t capacity = 8);
    // A writable buffer for `count` characters and a terminator; the text is emptied. The caller
    // fills it and calls ReleaseBuffer, which takes the length from the first 0.
    wchar_t* GetBuffer(std::size_t count);
    void ReleaseBuffer() noexcept;
    String& operator+=(const String& text) { return Append(text.mText, text.Length()); }
    String& operator+=(const wchar_t* text);
    String& operator+=(wchar_t character) { return Append(&character, 1); }
    String& operator+=(std::wstring_view text) { return Append(text.data(), text.size()); }
    String& Append(const wchar_t* text, std::size_t count);
    // Replaces `count` characters at `position` (clipped to the end) by `text`; a position at the
    // end appends. A position beyond the end throws std::out_of_range.
    void Replace(std::size_t position, std::size_t count, const String& text);
    void Erase(std::size_t position, std::size_t count = npos);

    // Inspection, for diagnostics and tests.
    std::size_t Capacity() const noexcept; // characters the representation holds, terminator included
    ULONG RefCount() const noexcept;

    friend bool operator==(const String& a, const String& b) noexcept { return a.View() == b.View(); }
    friend bool operator==(const String& a, const wchar_t* b) noexcept
    {
        return a.View() == std::wstring_view(b ? b : L"");
    }
    friend std::strong_ordering operator<=>(const String& a, const String& b) noexcept { return a.View() <=> b.View(); }

private:
    friend class StringStreamBuf;
    KELString::StringRepBase* RepBase() const noexcept { return KELString::StringRep::FromText(mText); }
    // Replaces the held representation by `rep` (whose reference the string takes over).
    void Adopt(KELString::StringRepBase* rep) noexcept;
    void InitFromInterface(IKELString* rep);

    wchar_t* mText;
};

String operator+(const String& a, const String& b);
String operator+(const String& a, const wchar_t* b);
String operator+(const wchar_t* a, const String& b);

std::wostream& operator<<(std::wostream& out, const String& text);
// Extracts one whitespace-delimited word.
std::wistream& operator>>(std::wistream& in, String& text);

// Test frameworks that look for PrintTo (GoogleTest) show the text as a quoted UTF-8 literal.
void PrintTo(const String& text, std::ostream* out);

// UTF-8 to KEL::String; ill-formed parts become U+FFFD.
String Utf8ToString(const std::string& utf8);

} // namespace KEL

template <> struct std::hash<KEL::String> {
    std::size_t operator()(const KEL::String& s) const noexcept { return std::hash<std::wstring_view>()(s.View()); }
};
