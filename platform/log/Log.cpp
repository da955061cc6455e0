#include "log/Log.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace vx::log {
namespace {

std::mutex& SinkMutex()
{
    static std::mutex m;
    return m;
}

Sink& CurrentSink()
{
    static Sink sink;
    return sink;
}

void WriteToStderr(std::string_view line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace

void WriteLine(std::string_view utf8) noexcept
{
    try {
        std::lock_guard lock(SinkMutex());
        if (CurrentSink())
            CurrentSink()(utf8);
        else
            WriteToStderr(utf8);
    } catch (...) {
        // A sink that throws must not take its caller down; the line is lost.
    }
}

Sink SetSink(Sink sink)
{
    std::lock_guard lock(SinkMutex());
    Sink previous = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return previous;
}

struct Capture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

Capture::Capture()
    : mState(new State)
{
    State* state = mState;
    mPrevious = SetSink([state](std::string_view line) {
        std::lock_guard lock(state->mutex);
        state->lines.emplace_back(line);
    });
}

Capture::~Capture()
{
    SetSink(std::move(mPrevious));
    delete mState;
}

std::vector<std::string> Capture::Lines() const
{
    std::lock_guard lock(mState->mutex);
    return mState->lines;
}

void Capture::Clear()
{
    std::lock_guard lock(mState->mutex);
    mState->lines.clear();
}

} // namespace vx::log
