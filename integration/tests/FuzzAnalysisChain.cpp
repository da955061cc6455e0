// The analysis chain over recordings that real files can hold: any sample rate, gaps of NaN and
// infinite samples, spikes and steps, with detector settings varied and, optionally, a formula of
// the user's over the chain's channels. The chain gives beats in order inside the record, or a
// CalcError; it never crashes or hangs.
//   input: byte 0 the rate, byte 1 settings bits, then 3-byte edits (u16 position, kind)
//   until a '\n'; after it, a formula text
#include "host/recording/Recording.h"
#include "integration/ExtensionChain.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kRates[] = { 100.0, 128.0, 250.0, 256.0, 360.0, 500.0, 1000.0, 97.3 };

// Eight seconds of a plain ECG-like trace at 75 beats a minute, then the input's edits.
std::vector<float> Trace(double rate, const uint8_t* edits, std::size_t count)
{
    const auto n = static_cast<std::size_t>(8.0 * rate);
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double phase = std::fmod(t, 0.8);
        x[i] = static_cast<float>(std::exp(-std::pow((phase - 0.4) / 0.012, 2)) + 0.05 * std::sin(2 * M_PI * 0.3 * t));
    }
    for (std::size_t e = 0; e + 3 <= count && e < 3 * 64; e += 3) {
        const std::size_t at = (edits[e] | (edits[e + 1] << 8)) % n;
        const uint8_t kind = edits[e + 2];
        const std::size_t span = 1 + (kind >> 3);
        for (std::size_t i = at; i < std::min(n, at + span); ++i)
            switch (kind & 7) {
            case 0:
                x[i] = std::numeric_limits<float>::quiet_NaN();
                break;
            case 1:
                x[i] = std::numeric_limits<float>::infinity();
                break;
            case 2:
                x[i] = -std::numeric_limits<float>::infinity();
                break;
            case 3:
                x[i] = 1e30f;
                break;
            case 4:
                x[i] += 3.0f;
                break;
            case 5:
                x[i] = 0.0f;
                break;
            case 6:
                x[i] = -x[i];
                break;
            default:
                x[i] = std::numeric_limits<float>::denorm_min();
                break;
            }
    }
    return x;
}

HRV::DetectorSettings SettingsFrom(uint8_t bits)
{
    HRV::DetectorSettings s = HRV::DefaultDetectorSettings();
    s.mRangeStart = { 0, 0 };
    s.mRangeEnd = { 0, 0x7FFFFFFF };
    s.mExcludeEctopics = bits & 1;
    if (bits & 2)
        s.mLowPassCutoff = 15.0;
    if (bits & 4)
        s.mLevellingWindow = 1.0;
    if (bits & 8)
        s.mNoiseLevel = 0.5;
    if (bits & 16)
        s.mMinPeakHeight = 1.0;
    if (bits & 32)
        s.mQRSWidth = 0.2;
    if (bits & 64)
        s.mMinPeriod = 0.15;
    if (bits & 128) {
        s.mRRMin = 0.3;
        s.mRRMax = 2.0;
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    const double rate = kRates[data[0] % std::size(kRates)];
    std::size_t editEnd = 2;
    while (editEnd < size && data[editEnd] != '\n')
        ++editEnd;
    std::wstring formula;
    for (std::size_t i = editEnd + 1; i < size && formula.size() < 512; ++i)
        formula += static_cast<wchar_t>(data[i]);

    auto recording = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup ecg;
    ecg.title = L"ECG";
    recording->AddChannel(ecg);
    recording->AddRecord(1.0 / rate, 0.0);
    std::vector<float> samples = Trace(rate, data + 2, editEnd - 2);
    const auto length = static_cast<int64_t>(samples.size());
    recording->records[0].channels[0] = vx::host::SampleStore(std::move(samples));
    recording->records[0].length = length;

    try {
        vx::calc::Engine engine(recording);
        if (vx::integration::InstallExtensionEnumerators(engine) != 2)
            std::abort();
        vx::integration::EngineDetectorHost host(engine, recording);
        HRV::HRVDetector detector(&host);
        HRV::DetectorSettings settings = SettingsFrom(data[1]);
        if (!detector.Update(0xFFFFFFFF, &settings))
            return 0;
        const auto beats = vx::integration::ReadBeats(engine, L"HRV_vFID", 0, 0, length);
        int32_t last = -1;
        for (const HRV::FiducialEvent& b : beats) {
            if (b.mPosition <= last || b.mPosition >= length)
                std::abort();
            if (!std::isnan(b.mRR) && !(b.mRR > 0))
                std::abort();
            last = b.mPosition;
        }
        if (!formula.empty()) {
            engine.SetFormula(L"user", formula);
            vx::calc::Compiled c = engine.Channel(L"user");
            if (c.samples) {
                std::vector<float> out(256);
                const int64_t n = c.samples->Info(0).length;
                if (n > 0)
                    c.samples->Read(0, std::max<int64_t>(0, n / 2 - 128),
                        std::span(out).first(std::min<std::size_t>(256, static_cast<std::size_t>(n))));
            } else if (c.events) {
                vx::calc::EventBuffer events;
                c.events->Read(0, 0, c.events->Info(0).length, events);
            }
        }
    } catch (const vx::calc::CalcError&) {
    }
    return 0;
}
