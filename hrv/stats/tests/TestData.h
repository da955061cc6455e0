#pragma once

// Reads the beat sample numbers of testdata/mitdb100_beats.txt and forms the series the
// analysis engine forms: each interval that has a previous interval, with its delta, rate and
// the time of the beat that ends it.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace HRVTest {

struct RRSeries {
    std::vector<double> rr, deltaRR, rate, times;
};

inline std::string TestDataPath(const std::string& name)
{
    const char* dir = std::getenv("VX_TEST_DATA");
    return std::string(dir ? dir : VX_TEST_DATA_DIR) + "/" + name;
}

inline std::vector<int64_t> ReadBeatSamples(const std::string& name)
{
    std::ifstream in(TestDataPath(name));
    std::vector<int64_t> samples;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            samples.push_back(std::stoll(line));
    return samples;
}

inline RRSeries SeriesFromSamples(const std::vector<int64_t>& samples, double fs)
{
    RRSeries s;
    for (std::size_t k = 2; k < samples.size(); ++k) {
        const double rr = static_cast<double>(samples[k] - samples[k - 1]) / fs;
        const double previous = static_cast<double>(samples[k - 1] - samples[k - 2]) / fs;
        s.rr.push_back(rr);
        s.deltaRR.push_back(rr - previous);
        s.rate.push_back(1.0 / rr);
        s.times.push_back(static_cast<double>(samples[k]) / fs);
    }
    return s;
}

} // namespace HRVTest
