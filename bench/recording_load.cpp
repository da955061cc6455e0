// Loads a synthetic 24-hour recording at 1 kHz (one EDF channel, written to a temporary file
// first) and walks it block by block; prints the load time, the walk time and the peak memory.
//   recording_load [hours] [rate] [channels]
#include "host/recording/HostSources.h"
#include "host/recording/Import.h"
#include "host/recording/tests/EdfWriter.h"
#include "hostframework/enumerators/SourceCursors.h"

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {
double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
long PeakMiB()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}
} // namespace

int main(int argc, char** argv)
{
    const double hours = argc > 1 ? std::atof(argv[1]) : 24.0;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int channels = argc > 3 ? std::atoi(argv[3]) : 1;
    const auto path
        = std::filesystem::temp_directory_path() / ("vx-recording-bench-" + std::to_string(::getpid()) + ".edf");

    vx::host::test::EdfLayout layout;
    layout.records = static_cast<int64_t>(hours * 3600);
    layout.duration = 1.0;
    layout.signals.resize(static_cast<std::size_t>(channels));
    for (auto& s : layout.signals)
        s.samplesPerRecord = rate;
    layout.sample = [rate](std::size_t s, int64_t r, int i) {
        const double t = static_cast<double>(r) + static_cast<double>(i) / rate;
        return static_cast<int16_t>(1000.0 * std::sin(2 * 3.14159265358979 * (1.0 + static_cast<double>(s)) * t));
    };
    auto start = std::chrono::steady_clock::now();
    {
        std::ofstream out(path, std::ios::binary);
        vx::host::test::WriteEdf(out, layout);
    }
    const double writeTime = Seconds(start);
    const long beforeLoad = PeakMiB();

    start = std::chrono::steady_clock::now();
    vx::host::Recording recording = vx::host::ImportEdf(path);
    const double loadTime = Seconds(start);
    std::filesystem::remove(path);

    start = std::chrono::steady_clock::now();
    std::vector<float> block(1024);
    double sum = 0;
    int64_t walked = 0;
    for (int c = 0; c < recording.ChannelCount(); ++c) {
        const int64_t n = recording.ChannelLength(c, 0);
        for (int64_t p = 0; p < n; p += static_cast<int64_t>(block.size())) {
            const auto count = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(block.size()), n - p));
            recording.ReadPhysical(c, 0, p, std::span(block.data(), count));
            for (std::size_t i = 0; i < count; ++i)
                sum += block[i];
            walked += static_cast<int64_t>(count);
        }
    }
    const double walkTime = Seconds(start);

    // The same walk as an extension's enumerator makes it: a cursor over the host's sample
    // stream, sample by sample.
    auto shared = std::make_shared<vx::host::Recording>(std::move(recording));
    start = std::chrono::steady_clock::now();
    double cursorSum = 0;
    int64_t stepped = 0;
    for (int c = 0; c < shared->ChannelCount(); ++c) {
        auto* stream = new vx::host::HostFloatStream(shared, c, 0);
        EEH3::FloatExWrapper cursor(stream);
        stream->Release();
        for (bool ok = cursor.IsValid(); ok; ok = cursor.Next()) {
            cursorSum += cursor.Value();
            ++stepped;
        }
    }
    const double cursorTime = Seconds(start);
    const vx::host::Recording& recordingRef = *shared;

    std::printf("recording: %.1f h, %d Hz, %d channel(s), %lld samples walked (checksum %.3f)\n", hours, rate, channels,
        static_cast<long long>(walked), sum);
    std::printf(
        "write file: %.2f s; load: %.2f s; walk in 1024-sample blocks: %.2f s\n", writeTime, loadTime, walkTime);
    std::printf("walk through the enumerator cursor: %.2f s, %lld samples (checksum %.3f)\n", cursorTime,
        static_cast<long long>(stepped), cursorSum);
    std::printf("sample storage: %.1f MiB; peak resident memory: %ld MiB (before load %ld MiB)\n",
        static_cast<double>(recordingRef.SampleBytes()) / (1 << 20), PeakMiB(), beforeLoad);
    return 0;
}
