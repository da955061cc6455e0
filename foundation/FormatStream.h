#pragma once
// Format streams: a format text with numbered directives "%1" to "%20" receives values inserted
// one after another, so translated texts can put their arguments in any order.
//   - "%%" writes "%"; "%n\" ends a directive so that a digit can follow it ("%1\2");
//   - a number that occurs several times receives its value at every occurrence, and counts
//     once towards completion;
//   - numbers outside 1-20 (and "%" without a number) are literal text and never make the
//     stream wait;
//   - the result is written once the value of the highest number has been inserted; surplus
//     values are ignored, and a number without a directive takes its value nowhere;
//   - a format without any directive is written at once, unchanged.
// Values are written with the standard wide stream operators under the format stream's own
// settings (precision, flags, fill, width, locale), which manipulators change.
#include <iomanip>
#include <ios>
#include <string_view>
#include <type_traits>
#include <vector>

#include "foundation/StringStream.h"

namespace KEL {

class OFormatStream : public std::basic_ios<wchar_t> {
public:
    static constexpr int kMaxNumber = 20;

    ~OFormatStream() override;
    OFormatStream(const OFormatStream&) = delete;
    OFormatStream& operator=(const OFormatStream&) = delete;

    template <class T> OFormatStream& operator<<(const T& value)
    {
        if constexpr (IsManipulator<T>) {
            ApplyManipulator([&value](std::wostream& stream) { stream << value; });
        } else {
            PrepareValue();
            mValues << value;
            width(0);
            NextArgument();
        }
        return *this;
    }
    OFormatStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&))
    {
        manipulator(*this);
        return *this;
    }

    // Completes one inserted value; called after each value written into the value stream.
    void NextArgument();
    // Whether the result has been written (or the format had no directive).
    bool IsComplete() const noexcept { return mNext >= mHighest; }
    // The highest directive number of the format (0 when it has none).
    int HighestNumber() const noexcept { return mHighest; }

protected:
    // `output` receives the result; it must outlive the stream.
    OFormatStream(const String& format, std::basic_streambuf<wchar_t>* output);

private:
    template <class T>
    static constexpr bool IsManipulator
        = std::is_same_v<T,
              decltype(std::setprecision(
                  0))> || std::is_same_v<T, decltype(std::setw(0))> || std::is_same_v<T, decltype(std::setfill(L' '))> || std::is_same_v<T, decltype(std::setiosflags(std::ios_base::fmtflags {}))> || std::is_same_v<T, decltype(std::resetiosflags(std::ios_base::fmtflags {}))>;

    struct Directive {
        std::size_t percent; // where the "%" stands
        std::size_t end; // just behind the directive
        int number;
    };
    struct ValueText {
        std::size_t start = 0;
        std::size_t length = 0;
    };

    template <class F> void ApplyManipulator(F apply)
    {
        std::wostream scratch(nullptr);
        scratch.copyfmt(*this);
        apply(scratch);
        copyfmt(scratch);
    }
    void PrepareValue();
    void Parse();
    void WriteResult();
    void WriteLiteral(std::size_t begin, std::size_t end);

    String mFormat;
    std::size_t mScan = 0;
    OStringStream mValues;
    std::size_t mLastMark = 0;
    int mNext = 0;
    int mHighest = 0;
    std::vector<Directive> mDirectives;
    ValueText mValueOf[kMaxNumber + 1];
};

namespace detail {
// Holds the output buffer so that it is built before the format stream that writes into it.
struct FormatOutput {
    StringStreamBuf mOutput;
};
} // namespace detail

class OFormatStringStream : private detail::FormatOutput, public OFormatStream {
public:
    explicit OFormatStringStream(const String& format);
    ~OFormatStringStream() override;
    // The result: the filled-in format once complete, the text written so far before that.
    String Str() { return mOutput.GetString(); }
};

} // namespace KEL
