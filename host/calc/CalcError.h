#pragma once
// Errors of the calculation engine. Everything inside the engine reports failure by throwing
// CalcError; the bridge to the extension's interfaces turns it into an HRESULT and one diagnostic
// line, so no exception ever crosses an interface.
#include <cstddef>
#include <stdexcept>
#include <string>

namespace vx::calc {

class CalcError : public std::runtime_error {
public:
    explicit CalcError(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

// A formula that does not parse or does not make sense (unknown function, wrong argument count or
// range). The position is the 0-based character offset in the formula text where the problem is.
class FormulaError : public CalcError {
public:
    FormulaError(std::size_t position, const std::string& message)
        : CalcError("at position " + std::to_string(position) + ": " + message)
        , mPosition(position)
        , mMessage(message)
    {
    }
    std::size_t Position() const { return mPosition; }
    const std::string& Message() const { return mMessage; }

private:
    std::size_t mPosition;
    std::string mMessage;
};

// A low-pass cut-off that a record's sample rate cannot carry: the cut-off must lie below half
// the sample rate (the Nyquist frequency). Says so in the user's words, and keeps the numbers.
class CutoffError : public CalcError {
public:
    CutoffError(double cutoff, double rate, int record, const std::string& message)
        : CalcError(message)
        , mCutoff(cutoff)
        , mRate(rate)
        , mRecord(record)
    {
    }
    double Cutoff() const { return mCutoff; } // Hz
    double Rate() const { return mRate; } // samples per second
    int Record() const { return mRecord; } // 0-based

private:
    double mCutoff, mRate;
    int mRecord;
};

} // namespace vx::calc
