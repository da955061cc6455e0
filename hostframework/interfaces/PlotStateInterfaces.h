#pragma once
// The host's settings registrar of plot state: the scale ranges a user set in a plot and where
// the user put its legend and text regions. A plot control sends each change to the registrar,
// which keeps it and hands it to every plot control attached for that plot, the sender included;
// a control attached later is handed what was kept first.
#include "com/Unknown.h"

// One change. Texts are valid only during the call that carries the message.
struct PlotStateMessage {
    enum Number : DWORD { kItemPosition = 2, kItemText = 3, kXRange = 4, kYRange = 5 };
    DWORD number = 0;
    const wchar_t* plotId = L"";
    const wchar_t* itemId = L""; // item position and text
    double first = 0; // x percent, or the range's maximum
    double second = 0; // y percent, or the range's minimum
    const wchar_t* text = L""; // item text
    BYTE flag = 0; // ranges: the scale was auto-scaled
};

struct IPlotStateSink : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{EE2C57AA-7B2A-4195-9CF3-25D7DE237B32}");
    virtual HRESULT OnPlotState(const PlotStateMessage* message) = 0;

protected:
    ~IPlotStateSink() = default;
};

struct IPlotStateRegistrar : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2C8774BE-06B3-4ABF-8CDD-3EB5D2BBB730}");
    // Keeps the message (in place of an earlier one for the same plot, kind and item) and hands it
    // to every attached sink. E_INVALIDARG for a null message or an unknown number.
    virtual HRESULT Post(const PlotStateMessage* message) = 0;
    // Hands the kept messages to the sink, in the order they were first kept, then attaches it
    // (not held: a sink detaches before it goes).
    virtual HRESULT Attach(IPlotStateSink* sink) = 0;
    virtual HRESULT Detach(IPlotStateSink* sink) = 0;

protected:
    ~IPlotStateRegistrar() = default;
};
