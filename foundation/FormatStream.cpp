#include "foundation/FormatStream.h"

#include <cwchar>

namespace KEL {

OFormatStream::OFormatStream(const String& format, std::basic_streambuf<wchar_t>* output)
    : mFormat(format)
{
    init(output);
    Parse();
    if (mDirectives.empty())
        rdbuf()->sputn(mFormat.c_str(), static_cast<std::streamsize>(mFormat.Length()));
}

OFormatStream::~OFormatStream() = default;

void OFormatStream::Parse()
{
    const wchar_t* text = mFormat.c_str();
    const std::size_t length = mFormat.Length();
    std::size_t i = 0;
    while ((i = mFormat.Find(L'%', i)) != String::npos) {
        if (i + 1 < length && text[i + 1] == L'%') {
            i += 2; // an escaped percent
            continue;
        }
        wchar_t* end = nullptr;
        const long number = std::wcstol(text + i + 1, &end, 10);
        if (number == 0) {
            ++i; // no number: the "%" is literal text
            continue;
        }
        std::size_t after = static_cast<std::size_t>(end - text);
        if (after < length && text[after] == L'\\')
            ++after;
        if (number >= 1 && number <= kMaxNumber) {
            mDirectives.push_back({ i, after, static_cast<int>(number) });
            mHighest = std::max(mHighest, static_cast<int>(number));
        }
        i = after;
    }
}

void OFormatStream::PrepareValue()
{
    // The values take the format stream's settings at the time they are inserted.
    mValues.flags(flags());
    mValues.precision(precision());
    mValues.width(width());
    mValues.fill(fill());
    if (mValues.getloc() != getloc())
        mValues.imbue(getloc());
}

void OFormatStream::NextArgument()
{
    if (mNext >= mHighest)
        return;
    const std::size_t position = mValues.rdbuf()->Size();
    mValueOf[mNext + 1] = { mLastMark, position - mLastMark };
    ++mNext;
    if (mNext == mHighest)
        WriteResult();
    mLastMark = position;
}

void OFormatStream::WriteLiteral(std::size_t begin, std::size_t end)
{
    // "%%" is written as "%"; every other character, a lone "%" included, as it stands.
    const wchar_t* text = mFormat.c_str();
    std::size_t from = begin;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] == L'%' && i + 1 < end && text[i + 1] == L'%') {
            rdbuf()->sputn(text + from, static_cast<std::streamsize>(i + 1 - from));
            from = i + 2;
            ++i;
        }
    }
    rdbuf()->sputn(text + from, static_cast<std::streamsize>(end - from));
}

void OFormatStream::WriteResult()
{
    const std::wstring_view values = mValues.rdbuf()->View();
    for (const Directive& d : mDirectives) {
        WriteLiteral(mScan, d.percent);
        const ValueText& v = mValueOf[d.number];
        rdbuf()->sputn(values.data() + v.start, static_cast<std::streamsize>(v.length));
        mScan = d.end;
    }
    WriteLiteral(mScan, mFormat.Length());
    mScan = mFormat.Length();
}

OFormatStringStream::OFormatStringStream(const String& format)
    : OFormatStream(format, &mOutput)
{
}

OFormatStringStream::~OFormatStringStream() = default;

} // namespace KEL
