#include "varnex/cli/Analyse.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <variant>

#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "com/Ref.h"
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
#include "log/Log.h"
#include "text/Unicode.h"
#include "varnex/cli/ReportFile.h"
#include "varnex/session/OutputFile.h"
#include "varnex/session/SessionFile.h"
#include "varnex/startup/ExtensionLoader.h"

namespace varnex {
namespace {

using vx::host::Recording;

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

using vx::com::Query;
using vx::com::Ref;

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

// What stops an analysis: the one line the user reads.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The beats of the fiducial channel over the analysed range, held in a deque: a week's 763,000
// beats are never copied to grow.
struct Beat {
    double time, rr, deltaRR;
    std::uint32_t beatClass;
};

// One analysis: the recording, the host document, the extension and its HRV document, in the
// order they are made; the destructor takes them down as the host does.
class Session {
public:
    Session(const AnalyseOptions& options, std::ostream& err)
        : o(options)
        , mProgress(err, options.progress)
    {
    }
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void LoadRecording(std::ostream& err);
    void LoadExtension();
    void OpenDocument();
    void Run();
    void EditBeats();
    void SaveSession();
    std::vector<ParameterRow> Parameters();
    std::deque<Beat> Beats();
    // Why the detector found nothing, when the host refused one of its channels; empty otherwise.
    std::string DetectorRefusal() const;
    void ExportRR(OutputFile& file);
    void WriteReport(const std::string& path);
    std::string WritePlots(const std::vector<OutputFile*>& files);
    void Stage(const std::string& text) { mProgress.Stage(text); }
    std::vector<InputFile> InputFiles() const;

private:
    void ChooseChannel();
    void CheckChannel();
    void ChooseRange();
    void RunOnline();
    void ReadSession(std::ostream& err);
    void LoadSession(ICustomDocument2* document);
    bool RunBeatCommand(DWORD command, HRV::Position start, HRV::Position end, bool point);

    const AnalyseOptions& o;
    Progress mProgress;
    std::shared_ptr<Recording> mSource, mRecording;
    std::uint32_t mChannel = 0;
    bool mUseSelection = false;
    // The first refusal of the settings dialog's answers: it ends the run.
    std::string mSettingsError;
    // What the document told the host: its updates (message id, code) and the texts of its
    // message boxes, in order.
    std::vector<std::pair<DWORD, DWORD>> mUpdates;
    std::vector<std::wstring> mMessages;
    HRV::Position mRangeStart { 0, 0 }, mRangeEnd { 0, 0 };
    std::unique_ptr<vx::host::HrvHostDocument> mHost;
    std::unique_ptr<HostFramework> mFramework;
    std::unique_ptr<Extension> mExtension;
    std::vector<IUnknown*> mClassObjects;
    Ref<HRV::IFileSaveAsClass2> mRRExport;
    std::vector<Ref<HRV::IDataPadFunctionClass2>> mFunctions;
    vx::host::HrvHostDocumentObject* mHostObject = nullptr;
    caf::HostDocument* mRecordingDocument = nullptr;
    Ref<ICAFCommandHandler> mCommands;
    bool mAttached = false;
    DWORD mClassKey = 0;
    std::string mSessionPath;
    std::optional<vx::host::SessionContent> mSession;
    std::ostream* mErr = nullptr;
};

Session::~Session()
{
    if (mAttached) {
        mHost->Detach();
        mHostObject->DetachChildren();
    }
    mCommands.Reset();
    if (mRecordingDocument)
        static_cast<IHostDocumentData*>(mRecordingDocument)->Release();
    if (mHostObject)
        static_cast<HRV::IDataPadSource*>(mHostObject)->Release();
    mRRExport.Reset();
    mFunctions.clear();
    // The host document (which holds the extension's data children) goes first, then the class
    // objects, then the library.
    mHost.reset();
    if (mExtension) {
        caf::ReleaseRegistrations();
        mExtension.reset();
    }
    mFramework.reset();
}

void Session::LoadRecording(std::ostream& err)
{
    Stage("loading " + o.record);
    try {
        vx::host::DelimitedOptions text;
        text.sampleRate = o.rate;
        mSource = std::make_shared<Recording>(vx::host::ImportFile(o.record, text));
    } catch (const std::exception& e) {
        throw Failure(e.what());
    }
    for (const std::string& warning : mSource->warnings)
        err << "varnex: warning: " << warning << "\n";
    if (mSource->RecordCount() == 0 || mSource->ChannelCount() == 0)
        throw Failure(o.record + " holds no signal");
    ChooseChannel();
    CheckChannel();
    ChooseRange();
    ReadSession(err);
}

// Every file the run reads: the recording's, the session file of the recording (whether or not
// there is one yet: it is the session's place) and the extension's library.
std::vector<InputFile> Session::InputFiles() const
{
    std::vector<InputFile> inputs;
    for (const auto& file : mSource->files)
        inputs.push_back({ file, "the recording is read from it" });
    inputs.push_back({ vx::host::SessionPathFor(o.record), "it is the session file of " + o.record });
    inputs.push_back({ o.extension.empty() ? DefaultExtension() : o.extension, "the HRV extension is loaded from it" });
    return inputs;
}

// The session file beside the recording, when there is one. A damaged file is reported and left
// as it is; the recording then opens with the default settings.
void Session::ReadSession(std::ostream& err)
{
    mErr = &err;
    if (o.online)
        return;
    mSessionPath = vx::host::SessionPathFor(o.record);
    try {
        mSession = ReadSessionFile(mSessionPath, vx::host::SessionSizeLimit(*mSource));
    } catch (const vx::host::SessionError& e) {
        if (o.saveSession)
            throw Failure(KeptSessionRefusal(mSessionPath, { KeptSession::Why::Unreadable, e.what() }));
        err << "varnex: the session file " << mSessionPath << " cannot be read (" << e.what()
            << "); it is left as it is and the recording opens with the default settings\n";
        return;
    }
}

// The document's persisted objects from the session (or new), then the host's attach
// notification, as the host opens a recording whose analysis it keeps.
void Session::LoadSession(ICustomDocument2* document)
{
    // A session that does not fit the recording is left as it is: a run that would save over it
    // stops here, before its work, with the one line that says how to proceed.
    std::ostringstream refused;
    std::string unusable;
    if (!OpenWithSession(*mHost, document, static_cast<ISubject*>(mRecordingDocument), mSession ? &*mSession : nullptr,
            mSessionPath, o.saveSession ? refused : *mErr, &unusable))
        mSession.reset();
    else if (mSession)
        *mErr << "varnex: using the session file " << mSessionPath << "\n";
    if (!unusable.empty() && o.saveSession)
        throw Failure(KeptSessionRefusal(mSessionPath, { KeptSession::Why::Unusable, unusable }));
}

void Session::ChooseChannel()
{
    if (o.channel.empty())
        return;
    int n = 0;
    if (ParseNumber(o.channel, n)) {
        if (n < 1 || n > mSource->ChannelCount())
            throw Failure("no channel " + o.channel + " in " + o.record);
        mChannel = static_cast<std::uint32_t>(n - 1);
        return;
    }
    int found = -1;
    for (int c = 0; c < mSource->ChannelCount(); ++c)
        if (Narrow(mSource->channels[static_cast<std::size_t>(c)].title) == o.channel)
            found = c;
    if (found < 0)
        throw Failure("no channel titled " + o.channel + " in " + o.record);
    mChannel = static_cast<std::uint32_t>(found);
}

// A channel that cannot be read (a signal of a WFDB record whose file is missing) is refused with
// its reason before anything is analysed.
void Session::CheckChannel()
{
    if (static_cast<int>(mChannel) >= mSource->ChannelCount())
        return;
    for (const vx::host::Record& record : mSource->records) {
        const vx::host::SampleStore& store = record.channels[mChannel];
        if (store.Length() == 0)
            continue;
        try {
            float first = 0;
            store.Read(0, { &first, 1 });
        } catch (const vx::host::RecordingError& e) {
            throw Failure(e.what());
        }
    }
}

// The host document: the recording itself, or for online play an empty record into which the
// recording is sampled; the selection of --from and --to.
void Session::ChooseRange()
{
    mRecording = mSource;
    if (o.online) {
        mRecording = std::make_shared<Recording>();
        mRecording->channels = mSource->channels;
        mRecording->AddRecord(mSource->records[0].interval, 0.0);
    }
    mUseSelection = o.from >= 0 || o.to >= 0;
    if (mUseSelection) {
        mRangeStart = o.from >= 0 ? PositionOfTime(*mSource, o.from, false) : HRV::Position { 0, 0 };
        const int last = mSource->RecordCount() - 1;
        mRangeEnd = o.to >= 0
            ? PositionOfTime(*mSource, o.to, true)
            : HRV::Position { static_cast<int32_t>(mSource->records[static_cast<std::size_t>(last)].length), last };
        if (!(mRangeStart < mRangeEnd))
            throw Failure("the time range holds no data of " + o.record);
    }

    vx::host::HrvHostOptions hostOptions;
    hostOptions.messageBoxAnswer = 1;
    hostOptions.messageShown = [this](const std::wstring& text) { mMessages.push_back(text); };
    hostOptions.updated = [this](DWORD id, DWORD code) { mUpdates.emplace_back(id, code); };
    hostOptions.windowName = KEL::Utf8ToWide(std::filesystem::path(o.record).filename().string());
    // The settings dialog, answered as the user asked: the document's settings refuse an unknown
    // name or a value out of its range, and the first refusal ends the run.
    hostOptions.settingsDialog = [this](HRV::ISettingsEditor& editor) {
        if (!o.species.empty() && FAILED(editor.SelectSpecies(SpeciesIndex(o.species)))) {
            mSettingsError = "the document has no species preset " + o.species;
            return 2;
        }
        const auto set = [&](const std::string& name, const std::string& value) {
            BSTR reason = nullptr;
            const HRESULT hr = editor.SetValue(KEL::Utf8ToWide(name).c_str(), KEL::Utf8ToWide(value).c_str(), &reason);
            if (FAILED(hr))
                mSettingsError = reason ? Narrow(reason) : "bad value for " + name + ": " + value;
            SysFreeString(reason);
            return SUCCEEDED(hr);
        };
        if (!set("SourceChannel", std::to_string(mChannel)) || !set("UseSelection", mUseSelection ? "1" : "0"))
            return 2;
        for (const auto& [name, value] : o.set)
            if (!set(name, value))
                return 2;
        // A value can leave another out of its limits (a band beyond a lowered maximum frequency):
        // the dialog would not take them.
        BSTR reason = nullptr;
        if (editor.CheckFields(&reason) != S_OK) {
            mSettingsError = reason ? Narrow(reason) : "the settings dialog does not take these settings";
            SysFreeString(reason);
            return 2;
        }
        return 1;
    };
    mHost = std::make_unique<vx::host::HrvHostDocument>(mRecording, hostOptions);
    if (mUseSelection) {
        mHost->hasSelection = true;
        mHost->selectionStart = mRangeStart;
        mHost->selectionEnd = mRangeEnd;
    }
}

// The extension, registered with the framework; its enumerators given to the host's engine, its
// parameter and RR-export classes kept.
void Session::LoadExtension()
{
    Stage("loading the HRV extension");
    mFramework = std::make_unique<HostFramework>(FrameworkSource::Host);
    if (FAILED(mFramework->Result()))
        throw Failure("the framework is not available (" + Hex(mFramework->Result()) + ")");
    // The command line shows no window: popups the extension makes stay hidden.
    caf::SetApplicationFlag(L"kel\\application\\visible", false);
    std::string error;
    mExtension = Extension::Load(o.extension.empty() ? DefaultExtension() : o.extension, error);
    if (!mExtension)
        throw Failure(error);
    const HRESULT registered = mExtension->RegisterClassObjects(mFramework->Object());
    if (FAILED(registered))
        throw Failure("the extension refused to register (" + Hex(registered) + ")");

    for (const caf::Registration& r : caf::Registrations())
        if (r.kind == caf::Registration::Kind::ClassObject)
            mClassObjects.push_back(r.object);
    try {
        mHost->RegisterEnumerators(mClassObjects);
        const Ref<ITypeIdRegistry> types = Query<ITypeIdRegistry>(mFramework->Object());
        mHost->RegisterCalculationClasses(mClassObjects, types.Get());
    } catch (const std::exception& e) {
        throw Failure(std::string("the extension's enumerators cannot be used: ") + e.what());
    }
    for (IUnknown* c : mClassObjects) {
        if (auto f = Query<HRV::IDataPadFunctionClass2>(c))
            mFunctions.push_back(std::move(f));
        else if (auto s = Query<HRV::IFileSaveAsClass2>(c))
            mRRExport = std::move(s);
    }
    // The host learns the functions in the reverse of their construction: show them in table order.
    std::reverse(mFunctions.begin(), mFunctions.end());
}

// The HRV document of the recording, opened by the host document through the registered
// document class. The host document holds the document until it goes.
void Session::OpenDocument()
{
    mHostObject = new vx::host::HrvHostDocumentObject(*mHost);
    mRecordingDocument
        = new caf::HostDocument(KEL::Utf8ToWide(o.record), static_cast<HRV::IDataPadSource*>(mHostObject));
    mRecordingDocument->AddRef();
    HRESULT hr = E_FAIL;
    ICustomDocument2* document = mRecordingDocument->OpenDocument(HRV::GUID_HRVDocumentObj, 0, &hr);
    if (hr == CLASS_E_CLASSNOTAVAILABLE)
        throw Failure("the extension offers no HRV document");
    if (!document)
        throw Failure("the extension cannot open an HRV document (" + Hex(hr) + ")");
    mCommands = Query<ICAFCommandHandler>(document);
    if (!mCommands)
        throw Failure("the HRV document takes no commands");
    WORD typeIndex = 0;
    if (const auto types = Query<ITypeIdRegistry>(mFramework->Object()))
        types->GetTypeIndex(HRV::GUID_HRVDocumentObj, &typeIndex);
    mClassKey = DWORD(typeIndex) << 16;
    mHostObject->AttachChild(mClassKey, document);
    mHost->Attach(document);
    mAttached = true;
    LoadSession(document);
}

constexpr DWORD kCmdSettings = 1, kCmdAddMarker = 10, kCmdRemoveMarkers = 11, kCmdOnlineMode = 15, kCmdAnalyse = 18;
constexpr DWORD kUpdateOnlineBlock = 3, kUpdateAnalysed = 4, kUpdateBeatMarks = 6;

// The settings, as the user would set them in the settings dialog, then the analysis.
void Session::Run()
{
    Stage(o.online ? "preparing online analysis" : "detecting beats and analysing");
    const std::size_t messagesBefore = mMessages.size();
    const HRESULT settingsResult = mCommands->OnCommand(mClassKey | kCmdSettings);
    if (!mSettingsError.empty())
        throw Failure(mSettingsError);
    for (std::size_t m = messagesBefore; m < mMessages.size(); ++m)
        if (mMessages[m].starts_with(L"The settings are not valid"))
            throw Failure(Narrow(mMessages[m]));
    if (FAILED(settingsResult))
        throw Failure("the HRV document could not take the settings (" + Hex(settingsResult) + ")");
    if (!mUseSelection) {
        mRangeStart = { 0, 0 };
        mRangeEnd = mHost->DataEnd();
    }
    const DWORD changedId = mClassKey; // the analysis-changed update
    const auto updated = [&](DWORD code) {
        return std::any_of(
            mUpdates.begin(), mUpdates.end(), [&](const auto& u) { return u.first == changedId && u.second == code; });
    };
    if (o.online) {
        RunOnline();
        // The document tells its views of every block it analysed while sampling.
        if (!updated(kUpdateOnlineBlock))
            throw Failure("the HRV document did not analyse while the record was sampled");
    } else if (!updated(kUpdateAnalysed)) {
        mCommands->OnCommand(mClassKey | kCmdAnalyse);
    }
}

// The command answers the change of the beat marks with its analysis-changed update.
bool Session::RunBeatCommand(DWORD command, HRV::Position start, HRV::Position end, bool point)
{
    mHost->hasSelection = true;
    mHost->selectionIsPoint = point;
    mHost->selectionStart = start;
    mHost->selectionEnd = end;
    const auto edits = [&] {
        return std::count(mUpdates.begin(), mUpdates.end(), std::pair<DWORD, DWORD>(mClassKey, kUpdateBeatMarks));
    };
    const auto before = edits();
    mCommands->OnCommand(mClassKey | command);
    return edits() > before;
}

// The user's corrections, made on a selection as the user makes them on the chart.
void Session::EditBeats()
{
    if (o.removeBeats.empty() && o.addBeats.empty())
        return;
    Stage("correcting beats");
    const auto inside = [&](double t) {
        const auto& last = mRecording->records.back();
        return t <= last.startTime + last.length * last.interval;
    };
    const auto seconds = [](double t) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", t);
        return std::string(text);
    };
    for (const auto& [from, to] : o.removeBeats) {
        if (!inside(from))
            throw Failure(
                "--remove-beats " + seconds(from) + ":" + seconds(to) + " starts after the end of " + o.record);
        if (!RunBeatCommand(kCmdRemoveMarkers, PositionOfTime(*mRecording, from, false),
                PositionOfTime(*mRecording, to, true), false))
            throw Failure(
                "the HRV document did not remove the beats from " + seconds(from) + " to " + seconds(to) + " s");
    }
    for (double t : o.addBeats) {
        if (!inside(t))
            throw Failure("--add-beat " + seconds(t) + " lies after the end of " + o.record);
        HRV::Position at = PositionOfTime(*mRecording, t, false);
        const auto& rec = mRecording->records[static_cast<std::size_t>(at.mRecord)];
        // The nearest sample.
        if ((t - rec.startTime) / rec.interval - at.mOffset >= 0.5 && at.mOffset + 1 < rec.length)
            ++at.mOffset;
        if (!RunBeatCommand(kCmdAddMarker, at, { at.mOffset + 1, at.mRecord }, true))
            throw Failure("the HRV document did not add a beat at " + seconds(t) + " s");
    }
    // The selection the analysis was made on, again.
    mHost->hasSelection = mUseSelection;
    mHost->selectionIsPoint = false;
    mHost->selectionStart = mRangeStart;
    mHost->selectionEnd = mRangeEnd;
}

void Session::SaveSession()
{
    if (!o.saveSession)
        return;
    Stage("saving the session");
    try {
        varnex::SaveSession(*mHost, mSessionPath);
    } catch (const std::exception& e) {
        throw Failure("the session was not saved: " + std::string(e.what()));
    }
}

void Session::RunOnline()
{
    mCommands->OnCommand(mClassKey | kCmdOnlineMode);
    const int first = mRecording->RecordCount();
    for (int r = 0; r < mSource->RecordCount(); ++r) {
        Stage("sampling record " + std::to_string(r + 1) + " of " + std::to_string(mSource->RecordCount()));
        if (!mHost->PlayOnline(*mSource, r, 10.0))
            throw Failure("the HRV document refused online sampling");
    }
    mRangeStart = { 0, first };
    mRangeEnd = mHost->DataEnd();
}

// The parameters, through the data pad over the analysed range.
std::vector<ParameterRow> Session::Parameters()
{
    Stage("evaluating parameters");
    std::vector<ParameterRow> rows;
    IDataAccess* access = mHostObject->DataAccess();
    const vx::hf::SourceDescriptor own {};
    const std::int64_t startTick = vx::hf::MakeTickPosition(mRangeStart.mRecord, mRangeStart.mOffset);
    const std::int64_t endTick = vx::hf::MakeTickPosition(mRangeEnd.mRecord, mRangeEnd.mOffset);
    for (const Ref<HRV::IDataPadFunctionClass2>& c : mFunctions) {
        ParameterRow row {};
        VariantInit(&row.value);
        IKELString* text = nullptr;
        if (SUCCEEDED(c->GetIdText(&text)))
            row.id = TakeText(text);
        if (SUCCEEDED(c->GetDisplayName(0, &text)))
            row.name = TakeText(text);
        Ref<IUnknown> function;
        row.result
            = c->CreateFunction(static_cast<HRV::IDataPadSource*>(mHostObject), mChannel, nullptr, function.Put());
        if (const auto texts = Query<HRV::IDataFunctionTexts>(function.Get())) {
            if (texts->GetUnitText(&text) == S_OK)
                row.unit = TakeText(text);
            if (texts->GetFormatText(&text) == S_OK)
                row.format = TakeText(text);
        }
        if (const auto data = Query<IKELDataFunction>(function.Get())) {
            data->SetDataAccess(access);
            data->SetRange(&own, startTick, endTick);
            row.result = data->GetValue(0, mChannel, &row.value);
        }
        rows.push_back(row);
    }
    if (rows.empty())
        throw Failure("the extension offers no HRV parameters");
    return rows;
}

std::deque<Beat> Session::Beats()
{
    std::deque<Beat> beats;
    try {
        vx::calc::Compiled fid = mHost->Engine().Channel(L"HRV_vFID");
        for (int r = mRangeStart.mRecord; r <= mRangeEnd.mRecord; ++r) {
            const auto& rec = mRecording->records[static_cast<std::size_t>(r)];
            const int64_t from = r == mRangeStart.mRecord ? mRangeStart.mOffset : 0;
            const int64_t to = r == mRangeEnd.mRecord ? mRangeEnd.mOffset : rec.length;
            for (int64_t s = from; s < to; s += 1 << 20) {
                vx::calc::EventBuffer events;
                fid.events->Read(r, s, std::min<int64_t>(to, s + (1 << 20)), events);
                for (std::size_t i = 0; i < events.Count(); ++i) {
                    HRV::FiducialEvent e;
                    std::memcpy(&e, events.Record(i), std::min<std::size_t>(events.recordSize, sizeof e));
                    beats.push_back(
                        { rec.startTime + (e.mPosition + e.mFraction) * rec.interval, e.mRR, e.mDeltaRR, e.mClass });
                }
            }
        }
    } catch (const std::exception& e) {
        if (const std::string refusal = DetectorRefusal(); !refusal.empty())
            throw Failure(refusal);
        throw Failure(std::string("cannot read the beats: ") + e.what());
    }
    return beats;
}

std::string Session::DetectorRefusal() const
{
    const auto refusal = mHost->StandingRefusal();
    if (refusal.reason.empty())
        return {};
    return "cannot detect the beats: " + refusal.reason
        + (refusal.setting.empty() ? "" : "; --set " + refusal.setting + "=VALUE changes it");
}

// The RR intervals, through the extension's own export. A file it cannot write the extension
// reports in a message box (a line on the error stream here) beside a line of its log; the user
// reads that report once, as the run's one line, naming the file the user gave.
void Session::ExportRR(OutputFile& file)
{
    if (!mRRExport)
        throw Failure("the extension offers no RR-interval export");
    const std::string path = file.WritePath();
    const std::wstring wide = KEL::Utf8ToWide(path);
    const KEL::String name(wide.c_str());
    std::optional<std::wstring> report;
    std::vector<std::string> logged;
    HRESULT hr = E_FAIL;
    {
        const vx::log::Capture capture;
        auto previous = caf::SetMessageBoxHandler([&report](const caf::MessageBoxRequest& box) {
            report = box.text;
            return 1; // OK
        });
        hr = mRRExport->Save(nullptr, name.Rep(), 0, 0, static_cast<HRV::IDataPadSource*>(mHostObject));
        caf::SetMessageBoxHandler(std::move(previous));
        logged = capture.Lines();
    }
    if (SUCCEEDED(hr)) {
        for (const std::string& line : logged)
            vx::log::WriteLine(line);
        return;
    }
    std::string reason = report ? Narrow(*report) : "cannot write the RR intervals to " + path;
    for (auto at = reason.find(path); at != std::string::npos; at = reason.find(path, at + o.rrFile.size()))
        reason.replace(at, path.size(), o.rrFile);
    throw Failure(reason);
}

// The plot views of the analysis, drawn by the views themselves.
std::string Session::WritePlots(const std::vector<OutputFile*>& files)
{
    PlotSource source;
    source.classObjects = mClassObjects;
    source.document = mCommands.Get();
    source.host = mHost.get();
    WORD copyType = 0;
    if (const auto types = Query<ITypeIdRegistry>(mFramework->Object()))
        types->GetTypeIndex(vx::com::MakeGuid("{62B62191-A1AD-4304-A362-A926FFAF0819}"), &copyType);
    source.copyCommand = DWORD(copyType) << 16;
    return WritePlotFiles(source, o.plots, files);
}

// The HRV report page, asked of the extension's report view class.
void Session::WriteReport(const std::string& path)
{
    const std::string error = WriteReportFile(mClassObjects, static_cast<IHostDocumentData*>(mRecordingDocument), path);
    if (!error.empty())
        throw Failure(error);
}

std::string BeatList(const std::deque<Beat>& beats)
{
    std::string text = "time_s,rr_s,class\n";
    text.reserve(text.size() + beats.size() * 26); // a line is about 26 bytes: the text is not copied to grow
    char line[96];
    for (const Beat& b : beats) {
        if (std::isfinite(b.rr))
            std::snprintf(line, sizeof line, "%.6f,%.6f,%u\n", b.time, b.rr, b.beatClass);
        else
            std::snprintf(line, sizeof line, "%.6f,,%u\n", b.time, b.beatClass);
        text += line;
    }
    return text;
}

// One line on the error stream whenever exclusion leaves intervals out (how many, and why) or no
// parameter has a value (why not).
void ReportExclusion(const std::deque<Beat>& beats, bool noValues, std::ostream& err)
{
    std::size_t intervals = 0, excluded = 0, outside = 0, shape = 0, neighbour = 0;
    for (const Beat& b : beats) {
        // The intervals the statistics weigh: those with a length and a change from the last.
        if (!std::isfinite(b.rr) || !std::isfinite(b.deltaRR))
            continue;
        ++intervals;
        HRV::FiducialEvent e;
        e.mClass = b.beatClass;
        if (e.IsUsed())
            continue;
        ++excluded;
        if (b.beatClass & HRV::kClassRROutside)
            ++outside;
        else if (b.beatClass & HRV::kClassComplexityOutside)
            ++shape;
        else
            ++neighbour;
    }
    // The statistics need one interval at least; an interval needs two beats before it in the range.
    const bool tooFew = noValues && intervals == excluded;
    if (excluded == 0 && !tooFew)
        return;
    err << "varnex: ";
    if (excluded > 0)
        err << excluded << " of " << intervals << " intervals were left out of the analysis (" << outside
            << " outside the normal RR range RRMin-RRMax, " << shape << " of an unusual beat shape, " << neighbour
            << " next to an ectopic beat)" << (tooFew ? ", so no parameter has a value" : "")
            << "; --set ExcludeEctopics=0 keeps them, --set RRMin=S --set RRMax=S widen the range\n";
    else
        err << "no parameter has a value: too few intervals in the analysed range (" << beats.size()
            << (beats.size() == 1 ? " beat, " : " beats, ") << intervals
            << (intervals == 1 ? " interval" : " intervals")
            << " with a change from the one before; one at least is needed)\n";
}

void PrintParameters(std::vector<ParameterRow>& rows, const AnalyseOptions& o, std::ostream& out)
{
    if (o.format == AnalyseOptions::Format::Json) {
        out << "{\"record\": " << vx::text::JsonQuoted(o.record) << ", \"parameters\": [\n";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ParameterRow& r = rows[i];
            out << "  {\"id\": " << vx::text::JsonQuoted(r.id) << ", \"name\": " << vx::text::JsonQuoted(r.name)
                << ", \"value\": " << PlainValue(r, "null") << ", \"unit\": " << vx::text::JsonQuoted(r.unit) << "}"
                << (i + 1 < rows.size() ? ",\n" : "\n");
        }
        out << "]}\n";
    } else if (o.format == AnalyseOptions::Format::Csv) {
        out << "id,name,value,unit\n";
        for (const ParameterRow& r : rows)
            out << CsvField(r.id) << "," << CsvField(r.name) << "," << PlainValue(r, "") << "," << CsvField(r.unit)
                << "\n";
    } else {
        // The two ends of the analysed range read alike: the start takes the end's time format.
        const auto end
            = std::find_if(rows.begin(), rows.end(), [](const ParameterRow& r) { return r.id == "AnalysisEnd"; });
        for (ParameterRow& r : rows)
            if (r.id == "AnalysisStart" && end != rows.end())
                r.format = end->format;
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
}

// Clears the parameters' values on every way out.
struct RowsCleared {
    std::vector<ParameterRow>& rows;
    ~RowsCleared()
    {
        for (auto& r : rows)
            VariantClear(&r.value);
    }
};

} // namespace

namespace {

bool TakeTime(const std::string& option, const std::string& v, double& into, std::string& error)
{
    double t = 0;
    if (!ParseNumber(v, t) || !std::isfinite(t) || t < 0) {
        error = option + " needs a time in seconds, not " + v;
        return false;
    }
    into = t;
    return true;
}

using AnalyseOption = Option<AnalyseOptions>;

const AnalyseOption kAnalyseOptions[] = {
    { "--channel", "N|TITLE", "source channel (default 1, the first)",
        [](AnalyseOptions& o, const std::string& v, std::string&) {
            o.channel = v;
            return true;
        } },
    { "--species", "NAME",
        "preset: Human, Large Dog, Small Dog, Guinea Pig, Mouse, Pig,\nRabbit, Rat, Custom (or its index 0-8)",
        [](AnalyseOptions& o, const std::string& v, std::string& error) {
            o.species = v;
            if (SpeciesIndex(o.species) >= 0)
                return true;
            error = "unknown species preset: " + o.species;
            return false;
        } },
    { "--from", "S", "analyse only from this time on, in seconds",
        [](AnalyseOptions& o, const std::string& v, std::string& error) {
            return TakeTime("--from", v, o.from, error);
        } },
    { "--to", "S", "analyse only up to this time, in seconds",
        [](AnalyseOptions& o, const std::string& v, std::string& error) { return TakeTime("--to", v, o.to, error); } },
    { "--rate", "HZ", "sample rate of delimited text without a time column",
        [](AnalyseOptions& o, const std::string& v, std::string& error) {
            if (ParseNumber(v, o.rate) && std::isfinite(o.rate) && o.rate > 0)
                return true;
            error = "--rate needs samples per second, not " + v;
            return false;
        } },
    { "--set", "NAME=VALUE", "any setting, e.g. --set ExcludeEctopics=0 --set RRMax=1.5",
        [](AnalyseOptions& o, const std::string& v, std::string& error) {
            // The document's settings check the name and the value when they are set.
            const auto eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--set needs NAME=VALUE";
                return false;
            }
            o.set.emplace_back(v.substr(0, eq), v.substr(eq + 1));
            return true;
        } },
    { "--rr", "FILE", "the RR intervals (seconds, one per line)",
        [](AnalyseOptions& o, const std::string& v, std::string&) {
            o.rrFile = v;
            return true;
        } },
    { "--beats", "FILE", "CSV of every beat: time_s,rr_s,class",
        [](AnalyseOptions& o, const std::string& v, std::string&) {
            o.beatsFile = v;
            return true;
        } },
    { "--report", "FILE", "the HRV report as an HTML page",
        [](AnalyseOptions& o, const std::string& v, std::string&) {
            o.reportFile = v;
            return true;
        } },
    { "--plot", "VIEW=FILE",
        "a plot view as a picture (needs a display; repeatable):\nVIEW: tachogram, spectrum, rr-histogram, "
        "drr-histogram,\npoincare, classifier; FILE .svg, .png, .jpg, .jpeg, .gif,\n.tif or .tiff",
        [](AnalyseOptions& o, const std::string& v, std::string& error) {
            PlotRequest request;
            if (!ParsePlotRequest(v, request, error))
                return false;
            o.plots.push_back(request);
            return true;
        } },
    { "--remove-beats", "FROM:TO", "remove the detected beats between two times (seconds)",
        [](AnalyseOptions& o, const std::string& v, std::string& error) {
            const auto colon = v.find(':');
            double from = 0, to = 0;
            if (colon == std::string::npos || !ParseNumber(v.substr(0, colon), from)
                || !ParseNumber(v.substr(colon + 1), to) || !std::isfinite(from) || !std::isfinite(to) || from < 0
                || to <= from) {
                error = "--remove-beats needs FROM:TO, two times in seconds with FROM before TO, not " + v;
                return false;
            }
            o.removeBeats.emplace_back(from, to);
            return true;
        } },
    { "--add-beat", "S", "add a beat at a time the detector missed (seconds)",
        [](AnalyseOptions& o, const std::string& v, std::string& error) {
            double t = 0;
            if (!TakeTime("--add-beat", v, t, error))
                return false;
            o.addBeats.push_back(t);
            return true;
        } },
    { "--save-session", "",
        "keep the settings and beat corrections beside the record\n(RECORD.varnex-session), read back by later runs",
        [](AnalyseOptions& o, const std::string&, std::string&) {
            o.saveSession = true;
            return true;
        } },
    { "--online", "", "play the record as if it were being sampled",
        [](AnalyseOptions& o, const std::string&, std::string&) {
            o.online = true;
            return true;
        } },
    { "--json", "", "the parameters as JSON",
        [](AnalyseOptions& o, const std::string&, std::string&) {
            o.format = AnalyseOptions::Format::Json;
            return true;
        } },
    { "--csv", "", "the parameters as CSV",
        [](AnalyseOptions& o, const std::string&, std::string&) {
            o.format = AnalyseOptions::Format::Csv;
            return true;
        } },
    { "--extension", "FILE", "the HRV extension (default: libhrv.so beside varnex)",
        [](AnalyseOptions& o, const std::string& v, std::string&) {
            o.extension = v;
            return true;
        } },
    { "--progress", "", "stage lines on the error stream (default: on a terminal)",
        [](AnalyseOptions& o, const std::string&, std::string&) {
            o.progress = true;
            return true;
        } },
    { "--quiet", "", "no stage lines",
        [](AnalyseOptions& o, const std::string&, std::string&) {
            o.progress = false;
            return true;
        } },
};

// The record: the one word that is no option.
bool TakeRecord(AnalyseOptions& o, const std::string& word, std::string& error)
{
    if (word.empty() || word[0] == '-' || !o.record.empty()) {
        error = "unexpected argument: " + word;
        return false;
    }
    o.record = word;
    return true;
}

} // namespace

OptionTable<AnalyseOptions> AnalyseOptionTable()
{
    return kAnalyseOptions;
}

bool ParseAnalyseArguments(const std::vector<std::string>& args, AnalyseOptions& o, std::string& error)
{
    o.progress = isatty(2) != 0;
    if (!ParseOptions<AnalyseOptions>(args, kAnalyseOptions, TakeRecord, o, error))
        return false;
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
    if (o.online && (o.saveSession || !o.addBeats.empty() || !o.removeBeats.empty())) {
        error = "--online analyses a record being sampled; beat corrections and sessions do not apply";
        return false;
    }
    return true;
}

int Analyse(const AnalyseOptions& o, std::ostream& out, std::ostream& err)
{
    try {
        Session session(o, err);
        // The values go before the extension that made them.
        std::vector<ParameterRow> rows;
        RowsCleared cleared { rows };
        session.LoadRecording(err);
        // Every output is checked before any work: none may be a file the run reads or another
        // output, and each must be writable. No file is made until its bytes are written.
        std::vector<std::string> outputs;
        for (const std::string* f : { &o.rrFile, &o.beatsFile, &o.reportFile })
            if (!f->empty())
                outputs.push_back(*f);
        for (const PlotRequest& p : o.plots)
            outputs.push_back(p.file);
        CheckOutputs(outputs, session.InputFiles());
        std::unique_ptr<OutputFile> rrFile, beatsFile, reportFile;
        if (!o.rrFile.empty())
            rrFile = std::make_unique<OutputFile>(o.rrFile);
        if (!o.beatsFile.empty())
            beatsFile = std::make_unique<OutputFile>(o.beatsFile);
        if (!o.reportFile.empty())
            reportFile = std::make_unique<OutputFile>(o.reportFile);
        std::vector<std::unique_ptr<OutputFile>> plotFiles;
        for (const PlotRequest& p : o.plots)
            plotFiles.push_back(std::make_unique<OutputFile>(p.file));

        session.LoadExtension();
        session.OpenDocument();
        session.Run();
        session.EditBeats();
        rows = session.Parameters();
        const std::deque<Beat> beats = session.Beats();
        const bool anyValue
            = std::any_of(rows.begin(), rows.end(), [](const ParameterRow& r) { return r.result == S_OK; });
        if (!anyValue && beats.empty()) {
            if (const std::string refusal = session.DetectorRefusal(); !refusal.empty())
                throw Failure(refusal);
            throw Failure("no beats were found in the analysed range of " + o.record);
        }

        // Written beside their targets, then put in place together.
        if (rrFile)
            session.ExportRR(*rrFile);
        if (beatsFile)
            beatsFile->Write(BeatList(beats));
        if (reportFile)
            session.WriteReport(reportFile->WritePath());
        if (rrFile)
            rrFile->Commit();
        if (beatsFile)
            beatsFile->Commit();
        if (reportFile)
            reportFile->Commit();
        session.SaveSession();
        ReportExclusion(beats, !anyValue, err);
        PrintParameters(rows, o, out);
        // The plots last: without a display everything else is written already.
        if (!o.plots.empty()) {
            session.Stage("drawing the plots");
            std::vector<OutputFile*> files;
            for (auto& f : plotFiles)
                files.push_back(f.get());
            const std::string failed = session.WritePlots(files);
            if (!failed.empty()) {
                out.flush();
                return Fail(err, failed);
            }
            for (auto& f : plotFiles)
                f->Commit();
        }
        session.Stage("done");
    } catch (const std::exception& e) {
        return Fail(err, e.what());
    }
    // Output lost (a full disk, a closed pipe) is a failure, not a success.
    out.flush();
    return out.good() ? 0 : Fail(err, "cannot write the parameters to the standard output");
}

} // namespace varnex
