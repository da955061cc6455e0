// The host's settings registrar of plot state, reached through the framework's shared host object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "caf/FrameworkServices.h"
#include "caf/PlotStateRegistrar.h"

namespace {

class Sink final : public SimpleUnknownImp1<IPlotStateSink, 1> {
public:
    HRESULT OnPlotState(const PlotStateMessage* m) override
    {
        seen.push_back(std::to_wstring(m->number) + L" " + m->plotId + L" " + m->itemId + L" "
            + std::to_wstring(int(m->first)) + L" " + m->text);
        return S_OK;
    }
    std::vector<std::wstring> seen;
};

IPlotStateRegistrar* Registrar(caf::SharedHostObject& shared)
{
    void* out = nullptr;
    EXPECT_EQ(shared.QueryInterface(IPlotStateRegistrar::kIid, &out), S_OK);
    return static_cast<IPlotStateRegistrar*>(out);
}

TEST(PlotStateRegistrar, KeepsTheLastStateOfEachSlotAndHandsItToEverySink)
{
    auto* shared = new caf::SharedHostObject;
    shared->AddRef();
    IPlotStateRegistrar* registrar = Registrar(*shared);
    ASSERT_NE(registrar, nullptr);
    const auto post
        = [&](DWORD number, const wchar_t* plot, const wchar_t* item, double first, const wchar_t* text = L"") {
              PlotStateMessage m;
              m.number = number;
              m.plotId = plot;
              m.itemId = item;
              m.first = first;
              m.text = text;
              return registrar->Post(&m);
          };
    Sink early;
    ASSERT_EQ(registrar->Attach(&early), S_OK);
    EXPECT_EQ(post(PlotStateMessage::kYRange, L"regA", L"", 1), S_OK);
    EXPECT_EQ(post(PlotStateMessage::kItemText, L"regA", L"note", 0, L"one"), S_OK);
    EXPECT_EQ(post(PlotStateMessage::kYRange, L"regA", L"ignored for ranges", 2), S_OK);
    EXPECT_EQ(post(PlotStateMessage::kItemText, L"regA", L"other", 0, L"two"), S_OK);
    EXPECT_EQ(post(PlotStateMessage::kXRange, L"regB", L"", 3), S_OK);
    EXPECT_EQ(post(9, L"regA", L"", 0), E_INVALIDARG);
    EXPECT_EQ(registrar->Post(nullptr), E_INVALIDARG);
    EXPECT_EQ(early.seen.size(), 5u) << "every message reaches an attached sink";

    // A sink attached later gets the kept state, one message per slot, in the order first kept.
    Sink late;
    registrar->Attach(&late);
    const std::vector<std::wstring> expected = {
        L"5 regA ignored for ranges 2 ",
        L"3 regA note 0 one",
        L"3 regA other 0 two",
        L"4 regB  3 ",
    };
    std::vector<std::wstring> mine;
    for (const std::wstring& line : late.seen)
        if (line.find(L" regA ") != std::wstring::npos || line.find(L" regB ") != std::wstring::npos)
            mine.push_back(line);
    EXPECT_EQ(mine, expected);

    EXPECT_EQ(registrar->Detach(&early), S_OK);
    EXPECT_EQ(registrar->Detach(&early), S_FALSE);
    post(PlotStateMessage::kYRange, L"regA", L"", 4);
    EXPECT_EQ(early.seen.size(), 5u);
    registrar->Detach(&late);
    registrar->Release();
    shared->Release();
}

} // namespace
