// Fuzzes the formula grammar and its stack program: any bytes must compile or fail, never
// crash, and the evaluation always gives exactly the values asked for.
#include "plotcontrol/compiler/FormulaEvaluator.h"

#include "log/Log.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        vx::log::SetSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    const std::string_view expression(reinterpret_cast<const char*>(data), size);
    std::vector<double> values;
    Etch::EvaluateFormula(expression, -1.5, 0.25, 8, values);
    if (values.size() != 8)
        __builtin_trap();
    return 0;
}
