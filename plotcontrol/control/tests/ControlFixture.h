#pragma once
// A plot control in a parent window over the fake web view, with the real host framework behind
// it (subject registry, type ids, the settings registrar of plot state), an observer that keeps a
// copy of every notification, and data sources over vectors.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "plotcontrol/control/EtchWvControl.h"
#include "webview/FakeWebView.h"

namespace plottest {

// One notification as the observer saw it, payload copied.
struct Notice {
    DWORD kind = 0;
    DWORD typeHalf = 0;
    std::vector<std::wstring> texts;
    std::vector<double> values;
    std::int64_t count = 0;
    int flag = -1;
};

class Recorder final : public SimpleUnknownImp1<IObserver, 1> {
public:
    HRESULT OnAttach(ISubject*) override { return S_OK; }
    HRESULT OnNotify(ISubject* subject, DWORD eventId, ULONGLONG flags, ULONGLONG value) override;
    std::vector<Notice> notices;
};

// A series of floats, with labels "#<index>" unless made without them.
class FloatSource final : public SimpleUnknownImp2<IEnumFloatEx, KEL::IEtchEnum, 1> {
public:
    explicit FloatSource(std::vector<float> values, bool labels = true)
        : mValues(std::move(values))
        , mLabels(labels)
    {
    }
    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT Clone(IEnumFloatEx** out) override;
    HRESULT Skip(LONG count, LONG* skipped) override;
    HRESULT GetPosition(LONG* position) override;
    HRESULT GetSampledFlag(WORD* flag) override;
    HRESULT GetExtent(std::int64_t*) override { return E_NOTIMPL; }
    HRESULT Next(ULONG count, float* values, ULONG* fetched) override;
    HRESULT GetElementText(LONG index, KEL::String* text) override;

    int nextCalls = 0;
    std::vector<ULONG> asked;

private:
    std::vector<float> mValues;
    bool mLabels;
    LONG mPosition = 0;
};

// A view's host object: answers nothing of its own, as the views' host objects do.
class HostObject final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
};

// A plot id no other test uses: the registrar keeps state for the life of the process.
std::wstring UniquePlotId(const char* stem);

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the control in the parent window and gives it a fresh plot id.
    void Create(bool withPlotId = true);
    vx::webview::FakeWebView& View() { return *engine.Last(); }
    // Calls a binding as the page does and gives the reply's "result" (nullopt when no reply came
    // or the call was rejected).
    std::optional<nlohmann::json> Call(const std::string& name, const nlohmann::json& args);
    // The whole reply of the last call.
    std::optional<vx::webview::FakeWebView::Reply> lastReply;
    const std::vector<std::string>& Evaluated() const;

    vx::webview::FakeEngine engine;
    vx::ui::HWND parent = nullptr;
    HostObject host;
    Recorder* recorder = nullptr;
    std::unique_ptr<KEL::EtchWvControl> control;
    std::wstring plotId;
};

} // namespace plottest
