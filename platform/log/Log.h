#pragma once
// The diagnostic line sink. Every diagnostic of the system is one line of UTF-8 text; by default
// it goes to standard error, and tests capture it.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::log {

using Sink = std::function<void(std::string_view line)>;

// Writes one line (without its newline) to the current sink. Thread-safe; never throws.
void WriteLine(std::string_view utf8) noexcept;

// Replaces the sink; an empty function restores standard error. Returns the previous sink.
Sink SetSink(Sink sink);

// Collects the lines written while it lives (tests).
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<std::string> Lines() const;
    void Clear();

private:
    struct State;
    State* mState;
    Sink mPrevious;
};

} // namespace vx::log
