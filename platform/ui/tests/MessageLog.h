#pragma once
// Recording of the messages windows receive, compared with a const expected table (the style of
// Wine's message-sequence tests). Windows are named by their creation text so that a table can say
// which window got what; markers written by the test show where a call returned.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/Clock.h"
#include "ui/EventLoop.h"
#include "ui/MessageQueue.h"
#include "ui/Timer.h"
#include "ui/Window.h"

namespace uitest {

using namespace vx::ui;

constexpr UINT kMarker = 0xFFFF0000u; // a test's own entry, not a message

// What a table row checks besides the window and the message.
constexpr unsigned kW = 1; // wParam
constexpr unsigned kL = 2; // lParam

struct Expected {
    const char* window;
    UINT message;
    unsigned check = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

struct Recorded {
    std::string window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A hook decides a message's answer instead of DefWindowProc when it returns a value.
using Hook = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

class MessageLog {
public:
    static MessageLog& Get()
    {
        static MessageLog log;
        return log;
    }

    void Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        std::lock_guard lock(mMutex);
        if (message == WM_NCCREATE) {
            const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            std::wstring text = cs->lpszName ? cs->lpszName : L"";
            mNames[hwnd] = std::string(text.begin(), text.end());
        }
        auto it = mNames.find(hwnd);
        mEntries.push_back({ it == mNames.end() ? "?" : it->second, message, wParam, lParam });
    }

    void Mark(const char* label)
    {
        std::lock_guard lock(mMutex);
        mEntries.push_back({ label, kMarker, 0, 0 });
    }

    std::vector<Recorded> Take()
    {
        std::lock_guard lock(mMutex);
        return std::exchange(mEntries, {});
    }

    void SetHook(Hook hook)
    {
        std::lock_guard lock(mMutex);
        mHook = std::move(hook);
    }

    Hook GetHook()
    {
        std::lock_guard lock(mMutex);
        return mHook;
    }

    void Reset()
    {
        std::lock_guard lock(mMutex);
        mEntries.clear();
        mHook = {};
    }

private:
    std::mutex mMutex;
    std::vector<Recorded> mEntries;
    std::unordered_map<HWND, std::string> mNames;
    Hook mHook;
};

inline LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageLog::Get().Record(hwnd, message, wParam, lParam);
    if (auto hook = MessageLog::Get().GetHook()) {
        if (auto result = hook(hwnd, message, wParam, lParam))
            return *result;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

inline std::string Describe(const std::string& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kMarker)
        return "mark " + window;
    char text[96];
    std::snprintf(text, sizeof text, "%s 0x%04X w=0x%llX l=0x%llX", window.c_str(), message,
        static_cast<unsigned long long>(wParam), static_cast<unsigned long long>(lParam));
    return text;
}

inline testing::AssertionResult SequenceIs(const std::vector<Recorded>& got, std::span<const Expected> expected)
{
    std::string report;
    bool same = got.size() == expected.size();
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        std::string want = "(nothing)";
        std::string have = "(nothing)";
        bool rowSame = false;
        if (i < expected.size()) {
            const auto& e = expected[i];
            want = Describe(e.window, e.message, e.wParam, e.lParam);
        }
        if (i < got.size())
            have = Describe(got[i].window, got[i].message, got[i].wParam, got[i].lParam);
        if (i < expected.size() && i < got.size()) {
            const auto& e = expected[i];
            const auto& g = got[i];
            rowSame = g.window == e.window && g.message == e.message && (!(e.check & kW) || g.wParam == e.wParam)
                && (!(e.check & kL) || g.lParam == e.lParam);
        }
        same = same && rowSame;
        report += (rowSame ? "   " : "!! ") + std::to_string(i) + ": got " + have + ", expected " + want + "\n";
    }
    if (same)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "message sequence differs:\n" << report;
}

// Runs each test on a manual clock with an empty log and a registered recording class.
class UiTest : public testing::Test {
protected:
    static constexpr const wchar_t* kClass = L"RecordingWindow";

    void SetUp() override
    {
        RegisterClass({ kClass, 0, RecordingProc });
        mPreviousClock = SetClock(&mClock);
        MessageLog::Get().Reset();
    }

    void TearDown() override
    {
        MessageLog::Get().Reset();
        for (HWND hwnd : mWindows)
            if (IsWindow(hwnd))
                DestroyWindow(hwnd);
        // Whatever a test left in the queue goes; paints of windows it left are validated by the
        // default handling, so this ends.
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message != WM_QUIT)
                DispatchMessage(&msg);
        MessageLog::Get().Reset();
        SetClock(mPreviousClock);
    }

    HWND Top(const wchar_t* name, DWORD style = WS_POPUP, Rect rect = { 0, 0, 200, 100 })
    {
        HWND hwnd = CreateWindowEx(
            0, kClass, name, style, rect.left, rect.top, rect.Width(), rect.Height(), nullptr, 0, nullptr);
        mWindows.push_back(hwnd);
        return hwnd;
    }

    HWND Child(
        HWND parent, const wchar_t* name, int id = 0, DWORD style = WS_CHILD | WS_VISIBLE, Rect rect = { 0, 0, 50, 20 })
    {
        return CreateWindowEx(
            0, kClass, name, style, rect.left, rect.top, rect.Width(), rect.Height(), parent, id, nullptr);
    }

    static std::vector<Recorded> Take() { return MessageLog::Get().Take(); }
    static void Mark(const char* label) { MessageLog::Get().Mark(label); }
    static void SetHook(Hook hook) { MessageLog::Get().SetHook(std::move(hook)); }

    ManualClock mClock;
    Clock* mPreviousClock = nullptr;
    std::vector<HWND> mWindows;
};

} // namespace uitest
