// WFDB records into the recording model, through the WFDB reader of host/import.
#include "host/import/InputFile.h"
#include "host/import/Wfdb.h"
#include "host/recording/Import.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace vx::host {
namespace {

std::wstring Widen(const std::string& s)
{
    // Header texts are ASCII in practice; bytes above 0x7F are taken as Latin-1.
    std::wstring w;
    w.reserve(s.size());
    for (unsigned char c : s)
        w.push_back(static_cast<wchar_t>(c));
    return w;
}

// A signal file whose samples are read a stretch at a time. It is opened when first read, and
// before each stretch it is checked to be as it was when the record was opened and checked whole
// (same size and modification time): an edited file is reported, never read as the record.
class StretchFile {
public:
    explicit StretchFile(std::filesystem::path path)
        : mPath(std::move(path))
    {
        mOpened = Status(mPath);
    }

    void Read(const import::WfdbHeader& header, std::size_t signal, int64_t first, std::span<int16_t> out)
    {
        const import::InputFile& file = File();
        struct stat now { };
        if (::fstat(file.Descriptor(), &now) != 0 || !Same(now, mOpened))
            throw RecordingError(mPath.string() + ": the file changed after the record was opened");
        try {
            import::ReadStretch(header, signal, file, first, out);
        } catch (const import::ImportError& e) {
            throw RecordingError(e.what());
        }
    }

private:
    static struct stat Status(const std::filesystem::path& path)
    {
        struct stat st { };
        if (::stat(path.c_str(), &st) != 0)
            throw RecordingError(path.string() + ": cannot be read");
        return st;
    }
    static bool Same(const struct stat& a, const struct stat& b)
    {
        return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec
            && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    }
    const import::InputFile& File()
    {
        std::lock_guard lock(mMutex);
        if (!mFile) {
            try {
                mFile = std::make_unique<import::InputFile>(mPath);
            } catch (const import::ImportError& e) {
                throw RecordingError(e.what());
            }
        }
        return *mFile;
    }

    std::filesystem::path mPath;
    struct stat mOpened { };
    std::mutex mMutex;
    std::unique_ptr<import::InputFile> mFile;
};

} // namespace

void AddWfdbAnnotations(Recording& recording, const std::filesystem::path& path, const std::wstring& title)
{
    std::vector<import::Annotation> annotations;
    try {
        annotations = import::ReadAnnotations(path);
    } catch (const import::ImportError& e) {
        throw RecordingError(e.what());
    }
    AddWfdbAnnotations(recording, annotations, title, path.string());
}

void AddWfdbAnnotations(Recording& recording, const std::vector<import::Annotation>& annotations,
    const std::wstring& title, const std::string& name)
{
    if (recording.records.empty())
        throw RecordingError(name + ": the recording has no record to annotate");
    EventChannel channel;
    channel.title = title;
    channel.recordSize = sizeof(AnnotationEvent);
    channel.records.resize(recording.records.size());
    Record& record = recording.records.front();
    int64_t last = 0;
    for (const import::Annotation& a : annotations)
        last = std::max(last, a.sample);
    if (recording.channels.empty())
        record.length = std::max(record.length, last + 1); // an annotation-only record
    else if (!annotations.empty() && last >= record.length)
        throw RecordingError(name + ": annotation at sample " + std::to_string(last)
            + " lies beyond the end of the record (" + std::to_string(record.length) + " samples)");
    auto& bytes = channel.records.front();
    for (const import::Annotation& a : annotations) {
        if (!import::IsBeatCode(a.code)) {
            Comment c;
            c.record = 0;
            c.position = a.sample;
            c.channel = -1;
            c.text = Widen(import::AnnotationMnemonic(a.code));
            if (!a.aux.empty())
                c.text += L" " + Widen(a.aux);
            recording.comments.push_back(std::move(c));
            continue;
        }
        AnnotationEvent e {};
        e.position = static_cast<int32_t>(a.sample);
        e.code = static_cast<uint8_t>(a.code);
        e.subtype = static_cast<int8_t>(a.subtype);
        e.channel = static_cast<uint8_t>(a.channel);
        e.number = static_cast<int8_t>(a.number);
        const auto* p = reinterpret_cast<const std::byte*>(&e);
        bytes.insert(bytes.end(), p, p + sizeof e);
    }
    recording.eventChannels.push_back(std::move(channel));
}

Recording WfdbRecording(import::WfdbRecord&& wfdb, const std::string& name, const WfdbSignalLoader& decodeLater)
{
    Recording recording;
    int ticksPerFrame = 1;
    try {
        ticksPerFrame = wfdb.header.TicksPerFrame();
    } catch (const import::ImportError& e) {
        throw RecordingError(name + ": " + e.what());
    }
    // One tick per sample of the fastest signal: a signal of fewer samples per frame is slower.
    const int r = recording.AddRecord(1.0 / (wfdb.header.frequency * ticksPerFrame));
    recording.records[static_cast<std::size_t>(r)].info = Widen(wfdb.header.recordName);
    wfdb.wide.resize(wfdb.header.signals.size());
    wfdb.unavailable.resize(wfdb.header.signals.size());
    for (std::size_t s = 0; s < wfdb.header.signals.size(); ++s) {
        const import::WfdbSignalInfo& info = wfdb.header.signals[s];
        ChannelSetup setup;
        setup.title = Widen(info.description.empty() ? "Signal " + std::to_string(s + 1) : info.description);
        setup.unit = Widen(info.units);
        setup.factor = 1.0 / info.gain;
        setup.offset = -static_cast<double>(info.baseline);
        setup.ticksPerSample = ticksPerFrame / std::max(1, info.samplesPerFrame);
        const double half = std::ldexp(1.0, std::clamp(info.adcResolution, 2, 24) - 1);
        setup.displayLow = setup.ToPhysical(info.adcZero - half);
        setup.displayHigh = setup.ToPhysical(info.adcZero + half - 1);
        const int c = recording.AddChannel(std::move(setup));
        auto& store = recording.records[static_cast<std::size_t>(r)].channels[static_cast<std::size_t>(c)];
        if (!wfdb.unavailable[s].empty())
            // A signal whose file is missing is listed; reading it says why it cannot be.
            store = SampleStore(
                wfdb.counts[s], [why = wfdb.unavailable[s]]() -> SampleStore::Samples { throw RecordingError(why); });
        else if (decodeLater)
            // Decoded on first read, holding that channel alone.
            store = SampleStore(wfdb.counts[s], [decodeLater, s] { return decodeLater(s); });
        else if (wfdb.IsWide(s))
            store = SampleStore(std::move(wfdb.wide[s]));
        else
            // The decoded array moves into the store: no copy of the samples.
            store = SampleStore(std::move(wfdb.samples[s]));
    }
    recording.records[static_cast<std::size_t>(r)].length
        = recording.channels.empty() ? wfdb.header.sampleCount : wfdb.Length() * ticksPerFrame;
    recording.Validate(name);
    recording.warnings = std::move(wfdb.warnings);
    return recording;
}

Recording ImportWfdb(const std::filesystem::path& headerPath, const std::vector<std::string>& annotators)
{
    // Every signal file is read and checked now; the samples of a channel are decoded again when
    // something first reads them, so a channel no formula reads is never held.
    import::WfdbRecord wfdb;
    try {
        wfdb = import::ReadRecord(headerPath, std::vector<bool> { false }); // hold none
    } catch (const import::ImportError& e) {
        throw RecordingError(e.what());
    }
    auto decodeLater = [headerPath, signals = wfdb.header.signals.size(), opened = wfdb.warnings](
                           std::size_t s) -> SampleStore::Samples {
        std::vector<bool> hold(signals, false);
        hold[s] = true;
        import::WfdbRecord again;
        try {
            again = import::ReadRecord(headerPath, hold);
        } catch (const import::ImportError& e) {
            throw RecordingError(e.what());
        }
        // A checksum that held when the record was opened and fails now: the file was changed.
        for (const std::string& warning : again.warnings)
            if (std::find(opened.begin(), opened.end(), warning) == opened.end())
                throw RecordingError(warning + " (the file changed after the record was opened)");
        if (s < again.unavailable.size() && !again.unavailable[s].empty())
            throw RecordingError(again.unavailable[s]);
        if (again.IsWide(s))
            return std::move(again.wide[s]);
        return std::move(again.samples[s]);
    };
    const std::vector<std::string> files = wfdb.files;
    int ticksPerFrame = 1;
    try {
        ticksPerFrame = wfdb.header.TicksPerFrame();
    } catch (const import::ImportError& e) {
        throw RecordingError(e.what());
    }
    // A signal in format 212 or 16 of a single-segment record is read from its file a block at a
    // time through the shared block cache, so that a long record is never held whole; the file
    // was checked whole just now.
    auto header = std::make_shared<const import::WfdbHeader>(wfdb.header);
    std::map<std::string, std::shared_ptr<StretchFile>> stretchFiles;
    std::vector<std::pair<std::size_t, std::shared_ptr<StretchFile>>> streamed;
    for (std::size_t s = 0; s < header->signals.size(); ++s) {
        if (!import::CanReadStretches(*header, s) || s >= wfdb.unavailable.size() || !wfdb.unavailable[s].empty())
            continue;
        const std::string& name = header->signals[s].fileName;
        auto& file = stretchFiles[name];
        if (!file)
            file = std::make_shared<StretchFile>(headerPath.parent_path() / name);
        streamed.emplace_back(s, file);
    }
    const std::vector<int64_t> counts = wfdb.counts;
    Recording recording = WfdbRecording(std::move(wfdb), headerPath.string(), decodeLater);
    for (const auto& signal : streamed) {
        const std::size_t s = signal.first;
        const std::shared_ptr<StretchFile> file = signal.second;
        recording.records.front().channels[s] = SampleStore(counts[s],
            [header, s, file](int64_t first, std::span<int16_t> out) { file->Read(*header, s, first, out); });
    }
    recording.files.push_back(headerPath);
    for (const std::string& file : files)
        if (std::find(recording.files.begin(), recording.files.end(), headerPath.parent_path() / file)
            == recording.files.end())
            recording.files.push_back(headerPath.parent_path() / file);
    // Annotations are optional: a damaged file is reported and the record is used without it.
    for (const std::string& ext : annotators) {
        std::filesystem::path atr = headerPath;
        atr.replace_extension("." + ext);
        std::error_code error;
        if (!std::filesystem::exists(atr, error))
            continue;
        recording.files.push_back(atr);
        try {
            std::vector<import::Annotation> annotations;
            try {
                annotations = import::ReadAnnotations(atr);
            } catch (const import::ImportError& e) {
                throw RecordingError(e.what());
            }
            // Annotation times count frames; the record counts ticks of its fastest signal.
            for (import::Annotation& a : annotations)
                a.sample *= ticksPerFrame;
            AddWfdbAnnotations(recording, annotations, Widen(ext), atr.string());
        } catch (const RecordingError& e) {
            recording.warnings.push_back(std::string(e.what()) + "; the record is read without these annotations");
        }
    }
    return recording;
}

Recording ImportFile(const std::filesystem::path& path, const DelimitedOptions& options)
{
    std::string ext = path.extension().string();
    std::transform(
        ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".hea")
        return ImportWfdb(path, { "atr", "ecg" });
    if (ext == ".edf")
        return ImportEdf(path);
    return ImportDelimited(path, options);
}

} // namespace vx::host
