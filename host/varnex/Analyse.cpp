#include "varnex/Analyse.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <variant>

#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "foundation/String.h"
#include "foundation/Utf.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hostframework/interfaces/BeatEvents.h"
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "varnex/ExtensionLoader.h"
#include "varnex/ReportFile.h"

namespace varnex {
namespace {

const char* const kSpecies[]
    = { "Human", "Large Dog", "Small Dog", "Guinea Pig", "Mouse", "Pig", "Rabbit", "Rat", "Custom" };

template <class T> bool ParseNumber(const std::string& text, T& out)
{
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

int SpeciesIndex(const std::string& text)
{
    for (int i = 0; i < 9; ++i)
        if (text == kSpecies[i])
            return i;
    int index = -1;
    return ParseNumber(text, index) && index >= 0 && index <= 8 ? index : -1;
}

std::string Narrow(const std::wstring& text)
{
    return KEL::Utf16ToUtf8(text.c_str(), text.size());
}

std::string TakeText(IKELString* rep)
{
    KEL::String s;
    s.AssignRep(rep);
    return Narrow(std::wstring(s.c_str()));
}

std::string DefaultExtension()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("libhrv.so") : (self.parent_path() / "libhrv.so").string();
}

template <class I> I* Query(IUnknown* object)
{
    void* out = nullptr;
    if (!object || FAILED(object->QueryInterface(I::kIid, &out)))
        return nullptr;
    return static_cast<I*>(out);
}

// Releases on scope exit.
struct Releaser {
    IUnknown* object;
    ~Releaser()
    {
        if (object)
            object->Release();
    }
};

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// One parameter as the data pad shows it.
struct ParameterRow {
    std::string id, name, unit, format;
    VARIANT value;
    HRESULT result;
};

std::string FormatValue(const ParameterRow& row)
{
    const VARIANT& v = row.value;
    char text[64];
    if (v.vt == VT_I4)
        return std::to_string(v.lVal);
    if (v.vt != VT_R8)
        return "";
    const double x = v.dblVal;
    if (!std::isfinite(x))
        return "";
    if (row.format == "HH:mm:ss.00") {
        const double t = std::max(0.0, x);
        const auto h = static_cast<long>(t / 3600);
        const auto m = static_cast<int>((t - h * 3600.0) / 60);
        std::snprintf(text, sizeof text, "%02ld:%02d:%05.2f", h, m, t - h * 3600.0 - m * 60.0);
        return text;
    }
    if (row.format == "0.0###") {
        // One decimal at least, up to four.
        std::snprintf(text, sizeof text, "%.4f", x);
        std::string s = text;
        while (s.size() > 2 && s.back() == '0' && s[s.size() - 2] != '.')
            s.pop_back();
        return s;
    }
    std::snprintf(text, sizeof text, "%.10g", x);
    return text;
}

// The value as a machine reads it: the whole number, or the finite real to ten significant
// digits; `missing` where the parameter has no value.
std::string PlainValue(const ParameterRow& row, const char* missing)
{
    if (row.result == S_OK && row.value.vt == VT_I4)
        return std::to_string(row.value.lVal);
    if (row.result == S_OK && row.value.vt == VT_R8 && std::isfinite(row.value.dblVal)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.10g", row.value.dblVal);
        return text;
    }
    return missing;
}

std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string CsvField(const std::string& s)
{
    if (s.find_first_of(",\"\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// Where a time (seconds from the recording's start) falls: the record that holds it and the
// sample offset in it.
HRV::Position PositionOfTime(const vx::host::Recording& r, double t, bool end)
{
    for (int i = 0; i < r.RecordCount(); ++i) {
        const auto& rec = r.records[static_cast<std::size_t>(i)];
        const double last = rec.startTime + rec.length * rec.interval;
        if (t < last || i + 1 == r.RecordCount()) {
            const double offset = std::clamp((t - rec.startTime) / rec.interval, 0.0, double(rec.length));
            return { static_cast<int32_t>(end ? std::ceil(offset) : std::floor(offset)), i };
        }
    }
    return { 0, 0 };
}

class Progress {
public:
    Progress(std::ostream& err, bool on)
        : mErr(err)
        , mOn(on)
    {
    }
    void Stage(const std::string& text)
    {
        if (mOn)
            mErr << "varnex: " << text << "\n" << std::flush;
    }

private:
    std::ostream& mErr;
    bool mOn;
};

int Fail(std::ostream& err, const std::string& reason)
{
    err << "varnex: " << reason << "\n";
    return 1;
}

} // namespace

bool ParseAnalyseArguments(const std::vector<std::string>& args, AnalyseOptions& o, std::string& error)
{
    o.progress = isatty(2) != 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--channel") {
            if (!value(o.channel))
                return false;
        } else if (a == "--species") {
            if (!value(o.species))
                return false;
            if (SpeciesIndex(o.species) < 0) {
                error = "unknown species preset: " + o.species;
                return false;
            }
        } else if (a == "--from" || a == "--to") {
            double t = 0;
            if (!value(v))
                return false;
            if (!ParseNumber(v, t) || t < 0) {
                error = a + " needs a time in seconds, not " + v;
                return false;
            }
            (a == "--from" ? o.from : o.to) = t;
        } else if (a == "--rate") {
            if (!value(v))
                return false;
            if (!ParseNumber(v, o.rate) || !(o.rate > 0)) {
                error = "--rate needs samples per second, not " + v;
                return false;
            }
        } else if (a == "--set") {
            if (!value(v))
                return false;
            // The document's settings check the name and the value when they are set.
            const auto eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--set needs NAME=VALUE";
                return false;
            }
            o.set.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--rr") {
            if (!value(o.rrFile))
                return false;
        } else if (a == "--beats") {
            if (!value(o.beatsFile))
                return false;
        } else if (a == "--report") {
            if (!value(o.reportFile))
                return false;
        } else if (a == "--extension") {
            if (!value(o.extension))
                return false;
        } else if (a == "--online") {
            o.online = true;
        } else if (a == "--json") {
            o.format = AnalyseOptions::Format::Json;
        } else if (a == "--csv") {
            o.format = AnalyseOptions::Format::Csv;
        } else if (a == "--progress") {
            o.progress = true;
        } else if (a == "--quiet") {
            o.progress = false;
        } else if (!a.empty() && a[0] != '-' && o.record.empty()) {
            o.record = a;
        } else {
            error = "unexpected argument: " + a;
            return false;
        }
    }
    if (o.record.empty()) {
        error = "no record given";
        return false;
    }
    if (o.from >= 0 && o.to >= 0 && o.to <= o.from) {
        error = "--to must be later than --from";
        return false;
    }
    if (o.online && (o.from >= 0 || o.to >= 0)) {
        error = "--online plays the whole record; --from and --to do not apply";
        return false;
    }
    return true;
}

int Analyse(const AnalyseOptions& o, std::ostream& out, std::ostream& err)
{
    Progress progress(err, o.progress);
    using vx::host::Recording;

    // The recording.
    progress.Stage("loading " + o.record);
    std::shared_ptr<Recording> source;
    try {
        vx::host::DelimitedOptions text;
        text.sampleRate = o.rate;
        source = std::make_shared<Recording>(vx::host::ImportFile(o.record, text));
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
    if (source->RecordCount() == 0 || source->ChannelCount() == 0)
        return Fail(err, o.record + " holds no signal");
    uint32_t channel = 0;
    if (!o.channel.empty()) {
        int n = 0;
        if (ParseNumber(o.channel, n)) {
            if (n < 1 || n > source->ChannelCount())
                return Fail(err, "no channel " + o.channel + " in " + o.record);
            channel = static_cast<uint32_t>(n - 1);
        } else {
            int found = -1;
            for (int c = 0; c < source->ChannelCount(); ++c)
                if (Narrow(source->channels[static_cast<std::size_t>(c)].title) == o.channel)
                    found = c;
            if (found < 0)
                return Fail(err, "no channel titled " + o.channel + " in " + o.record);
            channel = static_cast<uint32_t>(found);
        }
    }

    // The host document: the recording itself, or for online play an empty record into which the
    // recording is sampled.
    std::shared_ptr<Recording> recording = source;
    if (o.online) {
        recording = std::make_shared<Recording>();
        recording->channels = source->channels;
        recording->AddRecord(source->records[0].interval, 0.0);
    }
    HRV::Position selectionStart { 0, 0 }, selectionEnd { 0, 0 };
    const bool useSelection = o.from >= 0 || o.to >= 0;
    if (useSelection) {
        selectionStart = o.from >= 0 ? PositionOfTime(*source, o.from, false) : HRV::Position { 0, 0 };
        const int last = source->RecordCount() - 1;
        selectionEnd = o.to >= 0
            ? PositionOfTime(*source, o.to, true)
            : HRV::Position { static_cast<int32_t>(source->records[static_cast<std::size_t>(last)].length), last };
        if (!(selectionStart < selectionEnd))
            return Fail(err, "the time range holds no data of " + o.record);
    }

    vx::host::HrvHostOptions hostOptions;
    hostOptions.messageBoxAnswer = 1;
    hostOptions.windowName = KEL::Utf8ToWide(std::filesystem::path(o.record).filename().string());
    // The settings dialog, answered as the user asked: the document's settings refuse an unknown
    // name or a value out of its range, and the first refusal ends the run.
    std::string settingsError;
    hostOptions.settingsDialog = [&](HRV::ISettingsEditor& editor) {
        if (!o.species.empty() && FAILED(editor.SelectSpecies(SpeciesIndex(o.species)))) {
            settingsError = "the document has no species preset " + o.species;
            return 2;
        }
        const auto set = [&](const std::string& name, const std::string& value) {
            BSTR reason = nullptr;
            const HRESULT hr = editor.SetValue(KEL::Utf8ToWide(name).c_str(), KEL::Utf8ToWide(value).c_str(), &reason);
            if (FAILED(hr))
                settingsError = reason ? Narrow(reason) : "bad value for " + name + ": " + value;
            SysFreeString(reason);
            return SUCCEEDED(hr);
        };
        if (!set("SourceChannel", std::to_string(channel)) || !set("UseSelection", useSelection ? "1" : "0"))
            return 2;
        for (const auto& [name, value] : o.set)
            if (!set(name, value))
                return 2;
        return 1;
    };
    auto host = std::make_unique<vx::host::HrvHostDocument>(recording, hostOptions);
    if (useSelection) {
        host->hasSelection = true;
        host->selectionStart = selectionStart;
        host->selectionEnd = selectionEnd;
    }

    // The extension.
    progress.Stage("loading the HRV extension");
    HostFramework framework(FrameworkSource::Host);
    if (FAILED(framework.Result()))
        return Fail(err, "the framework is not available (" + Hex(framework.Result()) + ")");
    std::string error;
    std::unique_ptr<Extension> extension
        = Extension::Load(o.extension.empty() ? DefaultExtension() : o.extension, error);
    if (!extension)
        return Fail(err, error);
    // Shut down as the host does: the host document (which holds the extension's data children)
    // goes first, then the class objects, then the library.
    struct Shutdown {
        std::unique_ptr<vx::host::HrvHostDocument>& host;
        std::unique_ptr<Extension>& extension;
        ~Shutdown()
        {
            host.reset();
            caf::ReleaseRegistrations();
            extension.reset();
        }
    } shutdown { host, extension };
    const HRESULT registered = extension->RegisterClassObjects(framework.Object());
    if (FAILED(registered))
        return Fail(err, "the extension refused to register (" + Hex(registered) + ")");

    std::vector<IUnknown*> classObjects;
    for (const caf::Registration& r : caf::Registrations())
        if (r.kind == caf::Registration::Kind::ClassObject)
            classObjects.push_back(r.object);
    try {
        vx::extcalc::RegisterExtensionEnumerators(host->Engine(), classObjects, host->DataStore());
    } catch (const std::exception& e) {
        return Fail(err, std::string("the extension's enumerators cannot be used: ") + e.what());
    }
    HRV::IFileSaveAsClass2* rrExport = nullptr;
    std::vector<HRV::IDataPadFunctionClass2*> functions;
    for (IUnknown* c : classObjects) {
        if (auto* f = Query<HRV::IDataPadFunctionClass2>(c)) {
            functions.push_back(f);
        } else if (auto* s = Query<HRV::IFileSaveAsClass2>(c)) {
            if (rrExport)
                rrExport->Release();
            rrExport = s;
        }
    }
    // The host learns the functions in the reverse of their construction: show them in table order.
    std::reverse(functions.begin(), functions.end());
    struct ClassRefs {
        HRV::IFileSaveAsClass2*& rr;
        std::vector<HRV::IDataPadFunctionClass2*>& functions;
        ~ClassRefs()
        {
            if (rr)
                rr->Release();
            for (auto* f : functions)
                f->Release();
        }
    } classRefs { rrExport, functions };

    // The HRV document of the recording, opened by the host document through the registered
    // document class. The host document holds the document until it goes.
    auto* hostObject = new vx::host::HrvHostDocumentObject(*host);
    Releaser hostObjectRef { static_cast<HRV::IDataPadSource*>(hostObject) };
    auto* recordingDocument
        = new caf::HostDocument(KEL::Utf8ToWide(o.record), static_cast<HRV::IDataPadSource*>(hostObject));
    recordingDocument->AddRef();
    Releaser recordingDocumentRef { static_cast<IHostDocumentData*>(recordingDocument) };
    HRESULT hr = E_FAIL;
    ICustomDocument2* document = recordingDocument->OpenDocument(HRV::GUID_HRVDocumentObj, 0, &hr);
    if (hr == CLASS_E_CLASSNOTAVAILABLE)
        return Fail(err, "the extension offers no HRV document");
    if (!document)
        return Fail(err, "the extension cannot open an HRV document (" + Hex(hr) + ")");
    ICAFCommandHandler* commands = Query<ICAFCommandHandler>(document);
    Releaser commandsRef { commands };
    if (!commands)
        return Fail(err, "the HRV document takes no commands");
    WORD typeIndex = 0;
    if (auto* types = Query<ITypeIdRegistry>(framework.Object())) {
        types->GetTypeIndex(HRV::GUID_HRVDocumentObj, &typeIndex);
        types->Release();
    }
    const DWORD classKey = DWORD(typeIndex) << 16;
    hostObject->AttachChild(classKey, document);
    host->Attach(document);
    struct Detach {
        vx::host::HrvHostDocument& host;
        vx::host::HrvHostDocumentObject& object;
        ~Detach()
        {
            host.Detach();
            object.DetachChildren();
        }
    } detach { *host, *hostObject };
    auto command = [&](DWORD n) { return commands->OnCommand(classKey | n); };
    constexpr DWORD kCmdSettings = 1, kCmdOnlineMode = 15, kCmdAnalyse = 18;
    const DWORD changedId = classKey; // the analysis-changed update

    // The settings, as the user would set them in the settings dialog, then the analysis.
    progress.Stage(o.online ? "preparing online analysis" : "detecting beats and analysing");
    const std::size_t messagesBefore = host->messages.size();
    const HRESULT settingsResult = command(kCmdSettings);
    if (!settingsError.empty())
        return Fail(err, settingsError);
    for (std::size_t m = messagesBefore; m < host->messages.size(); ++m)
        if (host->messages[m].starts_with(L"The settings are not valid"))
            return Fail(err, Narrow(host->messages[m]));
    if (FAILED(settingsResult))
        return Fail(err, "the HRV document could not take the settings (" + Hex(settingsResult) + ")");
    HRV::Position rangeStart = useSelection ? selectionStart : HRV::Position { 0, 0 };
    HRV::Position rangeEnd = useSelection ? selectionEnd : host->DataEnd();
    if (o.online) {
        command(kCmdOnlineMode);
        const int first = recording->RecordCount();
        for (int r = 0; r < source->RecordCount(); ++r) {
            progress.Stage("sampling record " + std::to_string(r + 1) + " of " + std::to_string(source->RecordCount()));
            if (!host->PlayOnline(*source, r, 10.0))
                return Fail(err, "the HRV document refused online sampling");
        }
        rangeStart = { 0, first };
        rangeEnd = host->DataEnd();
        // The document tells its views of every block it analysed while sampling.
        const bool followed = std::any_of(host->updates.begin(), host->updates.end(),
            [&](const auto& u) { return u.first == changedId && u.second == 3; });
        if (!followed)
            return Fail(err, "the HRV document did not analyse while the record was sampled");
    } else {
        const bool analysed = std::any_of(host->updates.begin(), host->updates.end(),
            [&](const auto& u) { return u.first == changedId && u.second == 4; });
        if (!analysed)
            command(kCmdAnalyse);
    }

    // The parameters, through the data pad over the analysed range.
    progress.Stage("evaluating parameters");
    std::vector<ParameterRow> rows;
    IDataAccess* access = hostObject->DataAccess();
    const vx::hf::SourceDescriptor own {};
    const std::int64_t startTick = vx::hf::MakeTickPosition(rangeStart.mRecord, rangeStart.mOffset);
    const std::int64_t endTick = vx::hf::MakeTickPosition(rangeEnd.mRecord, rangeEnd.mOffset);
    for (HRV::IDataPadFunctionClass2* c : functions) {
        ParameterRow row {};
        VariantInit(&row.value);
        IKELString* text = nullptr;
        if (SUCCEEDED(c->GetIdText(&text)))
            row.id = TakeText(text);
        if (SUCCEEDED(c->GetDisplayName(0, &text)))
            row.name = TakeText(text);
        IUnknown* function = nullptr;
        row.result = c->CreateFunction(static_cast<HRV::IDataPadSource*>(hostObject), channel, nullptr, &function);
        Releaser functionRef { function };
        if (auto* texts = Query<HRV::IDataFunctionTexts>(function)) {
            if (texts->GetUnitText(&text) == S_OK)
                row.unit = TakeText(text);
            if (texts->GetFormatText(&text) == S_OK)
                row.format = TakeText(text);
            texts->Release();
        }
        if (auto* data = Query<IKELDataFunction>(function)) {
            data->SetDataAccess(access);
            data->SetRange(&own, startTick, endTick);
            row.result = data->GetValue(0, channel, &row.value);
            data->Release();
        }
        rows.push_back(row);
    }
    if (rows.empty())
        return Fail(err, "the extension offers no HRV parameters");
    const bool anyValue = std::any_of(rows.begin(), rows.end(), [](const ParameterRow& r) { return r.result == S_OK; });
    if (!anyValue) {
        for (auto& r : rows)
            VariantClear(&r.value);
        return Fail(err, "no beat intervals were found in the analysed range of " + o.record);
    }

    // The RR intervals, through the extension's own export.
    if (!o.rrFile.empty()) {
        if (!rrExport)
            return Fail(err, "the extension offers no RR-interval export");
        const std::wstring wide = KEL::Utf8ToWide(o.rrFile);
        const KEL::String name(wide.c_str());
        hr = rrExport->Save(nullptr, name.Rep(), 0, 0, static_cast<HRV::IDataPadSource*>(hostObject));
        if (FAILED(hr))
            return Fail(err, "cannot write the RR intervals to " + o.rrFile);
    }

    // The beats of the fiducial channel.
    if (!o.beatsFile.empty()) {
        std::ofstream beats(o.beatsFile, std::ios::binary | std::ios::trunc);
        if (!beats)
            return Fail(err, "cannot write " + o.beatsFile);
        beats << "time_s,rr_s,class\n";
        try {
            vx::calc::Compiled fid = host->Engine().Channel(L"HRV_vFID");
            for (int r = rangeStart.mRecord; r <= rangeEnd.mRecord; ++r) {
                const auto& rec = recording->records[static_cast<std::size_t>(r)];
                const int64_t from = r == rangeStart.mRecord ? rangeStart.mOffset : 0;
                const int64_t to = r == rangeEnd.mRecord ? rangeEnd.mOffset : rec.length;
                for (int64_t s = from; s < to; s += 1 << 20) {
                    vx::calc::EventBuffer events;
                    fid.events->Read(r, s, std::min<int64_t>(to, s + (1 << 20)), events);
                    for (std::size_t i = 0; i < events.Count(); ++i) {
                        HRV::FiducialEvent e;
                        std::memcpy(&e, events.Record(i), std::min<std::size_t>(events.recordSize, sizeof e));
                        char line[96];
                        std::snprintf(line, sizeof line, "%.6f,%.6f,%u\n",
                            rec.startTime + (e.mPosition + e.mFraction) * rec.interval,
                            std::isfinite(e.mRR) ? e.mRR : 0.0, e.mClass);
                        if (!std::isfinite(e.mRR))
                            std::snprintf(line, sizeof line, "%.6f,,%u\n",
                                rec.startTime + (e.mPosition + e.mFraction) * rec.interval, e.mClass);
                        beats << line;
                    }
                }
            }
        } catch (const std::exception& e) {
            return Fail(err, std::string("cannot read the beats: ") + e.what());
        }
        beats.close();
        if (beats.fail())
            return Fail(err, "cannot write " + o.beatsFile);
    }

    if (!o.reportFile.empty()) {
        const std::string reportError
            = WriteReportFile(classObjects, static_cast<IHostDocumentData*>(recordingDocument), o.reportFile);
        if (!reportError.empty())
            return Fail(err, reportError);
    }

    // The parameters.
    if (o.format == AnalyseOptions::Format::Json) {
        out << "{\"record\": " << JsonString(o.record) << ", \"parameters\": [\n";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ParameterRow& r = rows[i];
            const std::string value = PlainValue(r, "null");
            out << "  {\"id\": " << JsonString(r.id) << ", \"name\": " << JsonString(r.name) << ", \"value\": " << value
                << ", \"unit\": " << JsonString(r.unit) << "}" << (i + 1 < rows.size() ? ",\n" : "\n");
        }
        out << "]}\n";
    } else if (o.format == AnalyseOptions::Format::Csv) {
        out << "id,name,value,unit\n";
        for (const ParameterRow& r : rows) {
            const std::string value = PlainValue(r, "");
            out << CsvField(r.id) << "," << CsvField(r.name) << "," << value << "," << CsvField(r.unit) << "\n";
        }
    } else {
        for (const ParameterRow& r : rows) {
            char line[160];
            const std::string value = r.result == S_OK ? FormatValue(r) : "";
            std::snprintf(line, sizeof line, "%-16s %-16s %14s %s", r.id.c_str(), r.name.c_str(),
                value.empty() ? "-" : value.c_str(), r.unit.c_str());
            std::string s = line;
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
            out << s << "\n";
        }
    }
    for (auto& r : rows)
        VariantClear(&r.value);
    progress.Stage("done");
    return out.good() ? 0 : Fail(err, "cannot write the parameters");
}

} // namespace varnex
