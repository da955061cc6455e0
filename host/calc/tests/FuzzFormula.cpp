// Fuzzes the formula parser and compiler: any text must give a tree or a FormulaError, never a
// crash, and a compiled formula must evaluate or throw CalcError.
#include "host/calc/CalcError.h"
#include "host/calc/Engine.h"
#include "host/calc/Parser.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class TinyRecording final : public vx::calc::IRecording {
public:
    int RecordCount() const override { return 1; }
    int ChannelCount() const override { return 2; }
    vx::calc::TimeBase ChannelInfo(int, int) const override { return { 3000, 0.001 }; }
    vx::calc::TimeBase RecordInfo(int) const override { return { 3000, 0.001 }; }
    void ReadChannel(int channel, int, int64_t start, std::span<float> out, bool) override
    {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<float>((start + static_cast<int64_t>(i)) % 97) * (channel + 1);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i < size && i < 65536; ++i)
        text += static_cast<wchar_t>(data[i]);
    try {
        vx::calc::ParseFormula(text);
    } catch (const vx::calc::FormulaError&) {
        return 0;
    }
    try {
        vx::calc::Engine engine(std::make_shared<TinyRecording>());
        engine.SetFormula(L"A", L"lowpass(Ch1,30)");
        engine.SetFormula(L"B", text);
        vx::calc::Compiled c = engine.Channel(L"B");
        if (c.samples) {
            std::vector<float> out(500);
            c.samples->Read(0, 2800, out);
        } else if (c.events) {
            vx::calc::EventBuffer events;
            c.events->Read(0, 0, 3000, events);
        }
    } catch (const vx::calc::CalcError&) {
    }
    return 0;
}
