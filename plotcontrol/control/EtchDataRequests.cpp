// The values, labels and click read-outs the plotting scripts fetch: from the data sources a view
// registered (ids beginning with "$"), or from a formula of one variable.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <locale>
#include <sstream>

#include "log/Log.h"
#include "plotcontrol/compiler/FormulaEvaluator.h"
#include "plotcontrol/control/EtchWvControl.h"
#include "text/Unicode.h"

namespace KEL {

using nlohmann::json;

namespace {

// A source is read in blocks of this many values into one buffer reused across a request.
constexpr ULONG kBlockSize = 256;

double Number(const json& args, std::size_t i)
{
    const json& value = args.at(i);
    if (!value.is_number())
        throw json::type_error::create(302, "type must be number, but is " + std::string(value.type_name()), &value);
    return value.get<double>();
}

// A page's number as a whole number: truncated toward zero, clamped into the 32-bit range first
// (a NaN counts as 0), so that no conversion goes out of range.
std::int32_t ToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<std::int32_t>(std::clamp(std::trunc(value), double(INT32_MIN), double(INT32_MAX)));
}

std::string Classic(double value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(15);
    out << value;
    return out.str();
}

// Moves the source's read position to the whole part of `index` (clamped by the source to the
// series), wherever the previous request left it; the position reached.
LONG Reposition(IEnumFloatEx* source, double index)
{
    LONG position = 0;
    source->GetPosition(&position);
    const double target = std::isnan(index) ? 0.0 : std::trunc(std::clamp(index, double(INT32_MIN), double(INT32_MAX)));
    const double delta = std::clamp(target - position, double(INT32_MIN), double(INT32_MAX));
    LONG skipped = 0;
    source->Skip(static_cast<LONG>(delta), &skipped);
    source->GetPosition(&position);
    return position;
}

// Reads from the position in whole blocks until a block comes back short or `count` values were
// read; every value read is handed on, so up to 255 more than asked may follow (the page slices).
template <class Each> void ReadBlocks(IEnumFloatEx* source, std::int32_t count, Each each)
{
    float buffer[kBlockSize];
    std::int64_t remaining = count;
    while (remaining > 0) {
        ULONG fetched = 0;
        if (FAILED(source->Next(kBlockSize, buffer, &fetched)))
            break;
        fetched = std::min(fetched, kBlockSize);
        for (ULONG i = 0; i < fetched; ++i)
            each(buffer[i]);
        remaining -= fetched;
        if (fetched < kBlockSize)
            break;
    }
}

IEtchEnum* QueryEtchEnum(IEnumFloatEx* source)
{
    void* out = nullptr;
    if (!source || FAILED(source->QueryInterface(IEtchEnum::kIid, &out)))
        return nullptr;
    return static_cast<IEtchEnum*>(out);
}

std::string ElementText(IEtchEnum* labels, LONG index)
{
    String text;
    labels->GetElementText(index, &text);
    return vx::text::UnitsToUtf8(text.ToWString());
}

} // namespace

void EtchWvControl::RequestPixData(const std::string& id, const json& args)
{
    const std::string expression = args.at(0).get<std::string>();
    const double tick = Number(args, 1), interval = Number(args, 2);
    const std::int32_t count = ToInt32(Number(args, 3));
    vx::log::WriteLine("KELBOOTLOG: etch_proxy_RequestPixData, req: " + expression + ", " + Classic(tick) + ", "
        + Classic(interval) + ", " + std::to_string(count));
    json values = json::array();
    if (!expression.empty() && expression[0] == '$') {
        IEnumFloatEx* source = FindSource(expression);
        if (source && count > 0) {
            Reposition(source, tick);
            ReadBlocks(source, count, [&values](float v) { values.push_back(double(v)); });
        }
    } else if (count > 0) {
        std::vector<double> computed;
        Etch::EvaluateFormula(expression, tick, interval, count, computed);
        values = computed;
    }
    Reply(id, values);
}

void EtchWvControl::RequestLabelsData(const std::string& id, const json& args)
{
    const std::string expression = args.at(0).get<std::string>();
    const double tick = Number(args, 1);
    Number(args, 2);
    const std::int32_t count = ToInt32(Number(args, 3));
    json texts = json::array();
    IEtchEnum* labels = QueryEtchEnum(FindSource(expression));
    if (labels && count > 0) {
        IEnumFloatEx* source = FindSource(expression);
        // Labels are counted from where the source stands after the move, which a short series
        // may have clamped.
        LONG index = Reposition(source, tick);
        ReadBlocks(source, count, [&](float) { texts.push_back(ElementText(labels, index++)); });
    }
    if (labels)
        labels->Release();
    Reply(id, texts);
}

void EtchWvControl::OnMouseClick(const std::string& id, const json& args)
{
    const double index = Number(args, 0);
    const std::string plotterId = args.at(1).get<std::string>();
    const bool select = args.at(2).get<bool>();
    const String wantedPlotter = String::FromUtf8(plotterId.data(), plotterId.size());

    std::string dataId = plotterId, pointText = Classic(index);
    for (const auto& [yId, registered] : mPlotterIds) {
        if (!wantedPlotter.EqualsNoCase(String::FromUtf8(registered.data(), registered.size()).View()))
            continue;
        if (IEtchEnum* labels = QueryEtchEnum(FindSource(yId))) {
            pointText = ElementText(labels, ToInt32(index));
            dataId = yId;
            labels->Release();
        }
        break;
    }
    const EtchMouseClickNotice notice { String::FromUtf8(dataId.data(), dataId.size()),
        String::FromUtf8(pointText.data(), pointText.size()), static_cast<BYTE>(select ? 1 : 0) };
    Send(kMouseClick, &notice);
    Reply(id, "someDataId");
}

void EtchWvControl::OnMouseMove(const std::string& id, const json& args)
{
    const double x = Number(args, 0), y = Number(args, 1);
    const double xScale = Number(args, 2), xOffset = Number(args, 3), yScale = Number(args, 4),
                 yOffset = Number(args, 5);
    bool timeSeries = true;
    if (args.size() == 8) {
        const double kind = args[7].is_number() ? args[7].get<double>() : 1.0;
        timeSeries = kind > 0;
    }
    const double mouseX = float(x) * xScale + xOffset, mouseY = float(y) * yScale + yOffset;
    // Distances are measured in pixels, so that both axes weigh alike.
    const auto pixelDistance
        = [&](double ux, double uy) { return std::hypot((ux - mouseX) / xScale, (uy - mouseY) / yScale); };
    double best = DBL_MAX, bestX = 0, bestY = 0;
    std::string bestPlot;
    for (const auto& entry : mClickablePlots) {
        const std::string& yId = entry.first;
        const ClickablePlot& plot = entry.second;
        IEnumFloatEx* ys = FindSource(yId);
        if (!ys)
            continue;
        const auto consider = [&](double ux, double uy) {
            const double d = pixelDistance(ux, uy);
            if (d < best) {
                best = d;
                bestX = ux;
                bestY = uy;
                bestPlot = yId;
            }
        };
        if (timeSeries) {
            // The samples on either side of the one under the mouse.
            const double first = std::floor(mouseX) - 1;
            const LONG at = Reposition(ys, std::max(0.0, first));
            float values[3];
            ULONG fetched = 0;
            ys->Next(3, values, &fetched);
            for (ULONG i = 0; i < std::min<ULONG>(fetched, 3); ++i)
                consider(double(at + LONG(i)), values[i]);
        } else if (IEnumFloatEx* xs = FindSource(plot.xDataId)) {
            Reposition(xs, 0);
            Reposition(ys, 0);
            float bx[16], by[16];
            for (;;) {
                ULONG nx = 0, ny = 0;
                xs->Next(16, bx, &nx);
                ys->Next(16, by, &ny);
                const ULONG n = std::min({ nx, ny, ULONG(16) });
                for (ULONG i = 0; i < n; ++i)
                    consider(bx[i], by[i]);
                if (n < 16)
                    break;
            }
        }
    }
    json result = json::object();
    if (!bestPlot.empty()) {
        result["distance"] = Classic(best);
        result["x"] = Classic((bestX - xOffset) / xScale);
        result["y"] = Classic((bestY - yOffset) / yScale);
        result["plotter_id"] = mPlotterIds[bestPlot];
    }
    Reply(id, result);
}

} // namespace KEL
