#pragma once
// A recording held in memory for the engine's tests: channels of float samples per record.
#include "host/calc/Engine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace vx::calc::test {

class TestRecording final : public IRecording {
public:
    // One record per entry; every channel of a record has the same length and rate.
    struct Record {
        double rate = 1000.0;
        std::vector<std::vector<float>> channels;
    };
    std::vector<Record> records;
    // Whether the engine may read the records from worker threads.
    bool concurrent = false;
    std::atomic<int> reads = 0;
    std::atomic<int64_t> samplesRead = 0;

    int RecordCount() const override { return static_cast<int>(records.size()); }
    int ChannelCount() const override { return records.empty() ? 0 : static_cast<int>(records[0].channels.size()); }
    TimeBase ChannelInfo(int channel, int record) const override
    {
        if (record < 0 || record >= RecordCount())
            return {};
        const Record& r = records[static_cast<std::size_t>(record)];
        return { static_cast<int64_t>(r.channels[static_cast<std::size_t>(channel)].size()), 1.0 / r.rate };
    }
    TimeBase RecordInfo(int record) const override { return ChannelInfo(0, record); }
    bool ReadsConcurrently(int) const override { return concurrent; }
    void ReadChannel(int channel, int record, int64_t start, std::span<float> out, bool raw) override
    {
        ++reads;
        samplesRead += static_cast<int64_t>(out.size());
        const auto& s = records[static_cast<std::size_t>(record)].channels[static_cast<std::size_t>(channel)];
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = s.at(static_cast<std::size_t>(start) + i) * (raw ? 100.0f : 1.0f);
    }
};

inline std::vector<float> Generate(int64_t count, double rate, const std::function<double(double)>& f)
{
    std::vector<float> v(static_cast<std::size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<float>(f(static_cast<double>(i) / rate));
    return v;
}

// A simple ECG-like signal: narrow R waves with a T wave, baseline wander and noise. R peaks at
// the returned positions.
inline std::vector<float> SyntheticEcg(int64_t count, double rate, std::vector<int64_t>* beats, uint32_t seed = 7)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::uniform_real_distribution<double> rr(0.7, 1.0);
    std::vector<double> peaks;
    for (double t = 0.4; t < static_cast<double>(count) / rate - 0.5; t += rr(rng))
        peaks.push_back(t);
    std::vector<float> v(static_cast<std::size_t>(count));
    std::size_t first = 0;
    for (int64_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        while (first < peaks.size() && peaks[first] + 0.6 < t)
            ++first;
        double x = 0.3 * std::sin(2 * std::numbers::pi * 0.2 * t) + noise(rng);
        for (std::size_t b = first; b < peaks.size() && peaks[b] - 0.3 < t; ++b) {
            const double d = t - peaks[b];
            x += 1.5 * std::exp(-0.5 * d * d / (0.012 * 0.012))
                + 0.3 * std::exp(-0.5 * (d - 0.3) * (d - 0.3) / (0.05 * 0.05));
        }
        v[static_cast<std::size_t>(i)] = static_cast<float>(x);
    }
    if (beats)
        for (double p : peaks)
            beats->push_back(std::llround(p * rate));
    return v;
}

inline std::shared_ptr<TestRecording> OneChannel(std::vector<float> samples, double rate)
{
    auto r = std::make_shared<TestRecording>();
    r->records.push_back({ rate, { std::move(samples) } });
    return r;
}

inline std::vector<float> ReadAll(Engine& engine, const std::wstring& name, int record = 0)
{
    Compiled c = engine.Channel(name);
    std::vector<float> out(static_cast<std::size_t>(c.samples->Info(record).length));
    c.samples->Read(record, 0, out);
    return out;
}

inline std::vector<int32_t> EventPositions(Engine& engine, const std::wstring& name, int record = 0)
{
    Compiled c = engine.Channel(name);
    EventBuffer events;
    c.events->Read(record, 0, c.events->Info(record).length, events);
    std::vector<int32_t> out;
    for (std::size_t i = 0; i < events.Count(); ++i)
        out.push_back(events.Position(i));
    return out;
}

} // namespace vx::calc::test
