// Scores the beat detector's formula chain on WFDB records against their reference annotations,
// as in ANSI/AAMI EC57: a detection matches a reference beat within 150 ms; sensitivity
// Se = TP / (TP + FN) and positive predictivity +P = TP / (TP + FP) over all beat annotations.
//
// Two sets of detections are scored per record: the peak events of the detection stage
// (HRV_vDET, cmpeakdet), and the beats after the fiducial rule the extension applies to them
// (the first maximum of the low-pass channel in a QRS-width window around each peak, a peak
// whose maximum falls inside the previous window dropped), emulated here.
//
// With --extension, a third set is scored: the beats of the fiducial channel (HRV_vFID) as the
// extension's detector writes the whole chain and the host evaluates the fiducial formula through
// the extension's own enumerator (Human preset, first channel, the whole record).
//
// usage: score_detection [--data DIR] [--qrs SECONDS] [--rate HZ] [--extension] [--verbose] [RECORD...]
//   DIR defaults to ../shared/data/ecg/mitdb relative to the working directory, else to the
//   repository's folder; records default to 100 103 105 106.
#include "bench/ChainFormulas.h"
#include "bench/WfdbRecording.h"
#include "host/calc/CalcError.h"
#include "integration/Ec57.h"
#include "integration/ExtensionChain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace vx;

namespace {

using ec57::Match;
using ec57::Score;

// Linear interpolation to another rate, to try the chain at rates other than the record's.
import::WfdbRecord Resample(const import::WfdbRecord& in, double rate){ import::WfdbRecord out;
out.header = in.header;
out.header.frequency = rate;
const double step = in.header.frequency / rate;
const auto n = static_cast<std::size_t>(static_cast<double>(in.Length()) / step);
out.header.sampleCount = static_cast<int64_t>(n);
for (const auto& s : in.samples) {
    std::vector<int16_t> r(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = static_cast<double>(i) * step;
        const auto k = static_cast<std::size_t>(x);
        const double f = x - static_cast<double>(k);
        const double b = k + 1 < s.size() ? s[k + 1] : s[k];
        r[i] = static_cast<int16_t>(std::lround(s[k] * (1 - f) + b * f));
    }
    out.samples.push_back(std::move(r));
}
// The record's length is its signals' sample count.
out.counts.assign(in.counts.size(), static_cast<int64_t>(n));
return out;
} // namespace

} // namespace

int main(int argc, char** argv)
{
    std::filesystem::path dir = "../shared/data/ecg/mitdb";
    if (!std::filesystem::exists(dir))
        dir = std::filesystem::path(VX_SOURCE_DIR) / ".." / "shared" / "data" / "ecg" / "mitdb";
    std::vector<std::string> records;
    double qrs = 0.08;
    double rate = 0; // resample the records to this rate first (0: as recorded)
    bool verbose = false;
    bool extension = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--data") && i + 1 < argc)
            dir = argv[++i];
        else if (!std::strcmp(argv[i], "--qrs") && i + 1 < argc)
            qrs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--rate") && i + 1 < argc)
            rate = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--extension"))
            extension = true;
        else if (!std::strcmp(argv[i], "--verbose"))
            verbose = true;
        else
            records.push_back(argv[i]);
    }
    if (records.empty())
        records = { "100", "103", "105", "106" };

    Score totalPeaks, totalBeats, totalExtension;
    bool below97 = false;
    std::printf("%-8s %7s | %-28s | %-28s%s\n", "record", "beats", "cmpeakdet  Se%    +P%  FN  FP",
        "fiducial   Se%    +P%  FN  FP", extension ? " | extension  Se%    +P%  FN  FP" : "");
    try {
        for (const std::string& name : records) {
            auto record = std::make_shared<import::WfdbRecord>(import::ReadRecord(dir / (name + ".hea")));
            const auto annotations = import::ReadAnnotations(dir / (name + ".atr"));
            std::vector<int64_t> reference;
            for (const auto& a : annotations)
                if (import::IsBeatCode(a.code))
                    reference.push_back(a.sample);
            if (rate > 0) {
                const double ratio = rate / record->header.frequency;
                record = std::make_shared<import::WfdbRecord>(Resample(*record, rate));
                for (int64_t& r : reference)
                    r = std::llround(static_cast<double>(r) * ratio);
            }
            const double fs = record->header.frequency;
            auto recording = std::make_shared<bench::WfdbRecording>(record);
            calc::Engine engine(recording);
            bench::InstallDefaultChain(engine, fs, qrs);

            // Peak events, read in large stretches as the analysis would.
            calc::Compiled det = engine.Channel(L"HRV_vDET");
            calc::EventBuffer events;
            const int64_t length = record->Length();
            for (int64_t s = 0; s < length; s += 1 << 20)
                det.events->Read(0, s, std::min(length, s + (1 << 20)), events);
            std::vector<int64_t> peaks;
            for (std::size_t i = 0; i < events.Count(); ++i)
                peaks.push_back(events.Position(i));

            // The fiducial rule on the low-pass channel.
            calc::Compiled lpf = engine.Channel(L"HRV_vLPF");
            const int w = static_cast<int>(qrs * fs + 0.5);
            const int h = w / 2;
            std::vector<int64_t> beats;
            std::vector<float> window(static_cast<std::size_t>(w + 1));
            int64_t searchedTo = 0;
            for (int64_t p : peaks) {
                const int64_t s = std::max<int64_t>(p - h, 0);
                const int64_t e = std::min<int64_t>(s + w, length - 1);
                window.resize(static_cast<std::size_t>(e - s + 1));
                lpf.samples->Read(0, s, window);
                std::size_t best = 0;
                for (std::size_t k = 1; k < window.size(); ++k)
                    if (window[k] > window[best])
                        best = k;
                const int64_t f = s + static_cast<int64_t>(best);
                if (f >= searchedTo) {
                    beats.push_back(f);
                    searchedTo = e + 1;
                }
            }

            const auto tol = static_cast<int64_t>(std::llround(0.150 * fs));
            std::vector<int64_t> missed, extra;
            Score sp = Match(reference, peaks, tol, fs, &missed, &extra);
            Score sb = Match(reference, beats, tol, fs, nullptr, nullptr);
            totalPeaks.Add(sp);
            totalBeats.Add(sb);
            std::printf("%-8s %7zu | %13.2f %6.2f %3ld %3ld | %13.2f %6.2f %3ld %3ld", name.c_str(), reference.size(),
                sp.Se(), sp.PP(), sp.fn, sp.fp, sb.Se(), sb.PP(), sb.fn, sb.fp);
            if (extension) {
                // The whole chain as the extension writes it, on a fresh engine.
                calc::Engine host(recording);
                if (integration::InstallExtensionEnumerators(host) != 2)
                    throw calc::CalcError("the extension's enumerator classes were not registered");
                integration::EngineDetectorHost detectorHost(host, recording);
                HRV::HRVDetector detector(&detectorHost);
                HRV::DetectorSettings settings = HRV::DefaultDetectorSettings();
                settings.mQRSWidth = qrs;
                settings.mRangeStart = { 0, 0 };
                settings.mRangeEnd = { 0, 0x7FFFFFFF };
                if (!detector.Update(0xFFFFFFFF, &settings))
                    throw calc::CalcError("the detector chain was refused: " + detectorHost.mLastError);
                std::vector<int64_t> fiducial;
                for (const auto& beat : integration::ReadBeats(host, L"HRV_vFID", 0, 0, length))
                    fiducial.push_back(beat.mPosition);
                Score se = Match(reference, fiducial, tol, fs, nullptr, nullptr);
                totalExtension.Add(se);
                below97 = below97 || se.Se() < 97 || se.PP() < 97;
                std::printf(" | %13.2f %6.2f %3ld %3ld", se.Se(), se.PP(), se.fn, se.fp);
            } else {
                below97 = below97 || sb.Se() < 97 || sb.PP() < 97;
            }
            std::printf("\n");
            if (verbose) {
                for (int64_t m : missed)
                    std::printf("    missed %9.3f s\n", m / fs);
                for (int64_t x : extra)
                    std::printf("    extra  %9.3f s\n", x / fs);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "score_detection: %s\n", error.what());
        return 2;
    }
    std::printf("%-8s %7ld | %13.2f %6.2f %3ld %3ld | %13.2f %6.2f %3ld %3ld", "total", totalPeaks.tp + totalPeaks.fn,
        totalPeaks.Se(), totalPeaks.PP(), totalPeaks.fn, totalPeaks.fp, totalBeats.Se(), totalBeats.PP(), totalBeats.fn,
        totalBeats.fp);
    if (extension)
        std::printf(" | %13.2f %6.2f %3ld %3ld", totalExtension.Se(), totalExtension.PP(), totalExtension.fn,
            totalExtension.fp);
    std::printf("\n");
    std::printf("record below 97%% after the %s: %s\n", extension ? "extension's enumerator" : "fiducial rule",
        below97 ? "yes" : "no");
    const auto [peakMedian, peak95] = totalPeaks.Timing();
    const auto [beatMedian, beat95] = totalBeats.Timing();
    std::printf("timing error |detection - reference|: cmpeakdet median %.1f ms, 95%% %.1f ms; fiducial median %.1f "
                "ms, 95%% %.1f ms\n",
        peakMedian, peak95, beatMedian, beat95);
    return 0;
}
