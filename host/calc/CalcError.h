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

} // namespace vx::calc
