#pragma once
// Writes small EDF and EDF+ files for the import tests and the long-recording benchmark.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace vx::host::test {

struct EdfSignalLayout {
    std::string label = "ECG";
    std::string unit = "mV";
    double physMin = -10.0, physMax = 10.0;
    int digMin = -2048, digMax = 2047;
    int samplesPerRecord = 100;
};

struct EdfLayout {
    std::string reserved; // "EDF+C", "EDF+D" or empty
    double duration = 1.0; // seconds per data record
    int64_t records = 2;
    std::string recordCountText; // overrides the written record count when not empty
    std::vector<EdfSignalLayout> signals;
    // EDF+: the bytes of the annotation signal for data record r (its samplesPerRecord * 2 bytes,
    // zero padded); the signal named "EDF Annotations" must be in `signals`.
    std::function<std::string(int64_t record)> annotations;
    // The digital value of signal s, sample i of data record r.
    std::function<int16_t(std::size_t s, int64_t r, int i)> sample
        = [](std::size_t, int64_t, int i) { return static_cast<int16_t>(i); };
};

inline std::string Field(const std::string& text, std::size_t width)
{
    std::string f = text.substr(0, width);
    f.resize(width, ' ');
    return f;
}

inline std::string Num(double v, std::size_t width)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return Field(buffer, width);
}

inline void WriteEdf(std::ostream& out, const EdfLayout& layout)
{
    const std::size_t ns = layout.signals.size();
    out << Field("0", 8) << Field("X X X X", 80) << Field("Startdate 01-JAN-2020 X X X", 80) << "01.01.20"
        << "00.00.00" << Num(static_cast<double>(256 * (ns + 1)), 8) << Field(layout.reserved, 44)
        << Field(layout.recordCountText.empty() ? std::to_string(layout.records) : layout.recordCountText, 8)
        << Num(layout.duration, 8) << Num(static_cast<double>(ns), 4);
    for (const auto& s : layout.signals)
        out << Field(s.label, 16);
    for (std::size_t i = 0; i < ns; ++i)
        out << Field("", 80);
    for (const auto& s : layout.signals)
        out << Field(s.unit, 8);
    for (const auto& s : layout.signals)
        out << Num(s.physMin, 8);
    for (const auto& s : layout.signals)
        out << Num(s.physMax, 8);
    for (const auto& s : layout.signals)
        out << Num(s.digMin, 8);
    for (const auto& s : layout.signals)
        out << Num(s.digMax, 8);
    for (std::size_t i = 0; i < ns; ++i)
        out << Field("", 80);
    for (const auto& s : layout.signals)
        out << Num(s.samplesPerRecord, 8);
    for (std::size_t i = 0; i < ns; ++i)
        out << Field("", 32);
    std::vector<char> bytes;
    for (int64_t r = 0; r < layout.records; ++r)
        for (std::size_t s = 0; s < ns; ++s) {
            const auto& sig = layout.signals[s];
            bytes.assign(static_cast<std::size_t>(2 * sig.samplesPerRecord), '\0');
            if (sig.label == "EDF Annotations" && layout.annotations) {
                const std::string tal = layout.annotations(r);
                std::copy_n(tal.begin(), std::min(tal.size(), bytes.size()), bytes.begin());
            } else {
                for (int i = 0; i < sig.samplesPerRecord; ++i) {
                    const auto v = static_cast<uint16_t>(layout.sample(s, r, i));
                    bytes[static_cast<std::size_t>(2 * i)] = static_cast<char>(v & 0xFF);
                    bytes[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>(v >> 8);
                }
            }
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
}

} // namespace vx::host::test
