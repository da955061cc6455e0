#include "plotcontrol/control/tests/ControlFixture.h"

#include <atomic>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "ui/Window.h"

namespace plottest {

using namespace KEL;

namespace {

// The framework registered under its class id for the whole run, as the host does at start, so the
// control finds the subject registry, the type ids and the settings registrar as in the product.
class RegisteredFramework final : public ::testing::Environment {
public:
    void SetUp() override
    {
        void* framework = nullptr;
        ASSERT_EQ(DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &framework), S_OK);
        mFramework = static_cast<IUnknown*>(framework);
        CoRegisterClassObject(CLSID_CAFFrameWork, mFramework, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &mCookie);
    }
    void TearDown() override
    {
        caf::ReleaseRegistrations();
        CoRevokeClassObject(mCookie);
        mFramework->Release();
    }

private:
    DWORD mCookie = 0;
    IUnknown* mFramework = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kFramework
    = ::testing::AddGlobalTestEnvironment(new RegisteredFramework);

} // namespace

HRESULT Recorder::OnNotify(ISubject*, DWORD eventId, ULONGLONG, ULONGLONG value)
{
    Notice notice;
    notice.kind = eventId & 0xFFFF;
    notice.typeHalf = eventId >> 16;
    const auto values = [&](const double* v, std::int64_t n) { notice.values.assign(v, v + n); };
    switch (notice.kind) {
    case kVLinesDragged:
    case kBoxResized:
    case kZoomLevelChanged: {
        const auto& p = *reinterpret_cast<const EtchValuesNotice*>(value);
        notice.texts = { p.id.ToWString() };
        values(p.values, p.count);
        notice.count = p.count;
        break;
    }
    case kCompileMarkup:
        notice.flag = reinterpret_cast<const EtchCompileNotice*>(value)->success;
        break;
    case kBadPlotterProperty: {
        const auto& p = *reinterpret_cast<const EtchBadPropertyNotice*>(value);
        notice.texts
            = { p.plotter.ToWString(), p.property.ToWString(), p.expectedType.ToWString(), p.defaultValue.ToWString() };
        break;
    }
    case kSetSVG: {
        const auto& p = *reinterpret_cast<const EtchSvgNotice*>(value);
        notice.texts = { p.plotId.ToWString(), p.kind.ToWString(), p.svg.ToWString() };
        break;
    }
    case kXScalingChanged:
    case kYScalingChanged: {
        const auto& p = *reinterpret_cast<const EtchScalingNotice*>(value);
        notice.texts = { p.id.ToWString() };
        values(p.values, p.count + 1);
        notice.count = p.count;
        notice.flag = p.autoScale;
        break;
    }
    case kMouseClick: {
        const auto& p = *reinterpret_cast<const EtchMouseClickNotice*>(value);
        notice.texts = { p.dataId.ToWString(), p.pointText.ToWString() };
        notice.flag = p.select;
        break;
    }
    case kRegionPosChanged: {
        const auto& p = *reinterpret_cast<const EtchRegionPosNotice*>(value);
        notice.texts = { p.regionId.ToWString() };
        notice.values = { p.xPercent, p.yPercent };
        break;
    }
    case kRegionTextChanged: {
        const auto& p = *reinterpret_cast<const EtchRegionTextNotice*>(value);
        notice.texts = { p.regionId.ToWString(), p.text.ToWString() };
        break;
    }
    default:
        break;
    }
    notices.push_back(std::move(notice));
    return S_OK;
}

HRESULT FloatSource::QueryInterface(REFIID iid, void** out)
{
    if (!mLabels && iid == IEtchEnum::kIid) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return SimpleUnknownImp2::QueryInterface(iid, out);
}

HRESULT FloatSource::Clone(IEnumFloatEx** out)
{
    *out = nullptr;
    return E_NOTIMPL;
}

HRESULT FloatSource::Skip(LONG count, LONG* skipped)
{
    const std::int64_t size = static_cast<std::int64_t>(mValues.size());
    const std::int64_t target = std::clamp<std::int64_t>(std::int64_t(mPosition) + count, 0, size);
    *skipped = static_cast<LONG>(target - mPosition);
    mPosition = static_cast<LONG>(target);
    return *skipped == count ? S_OK : S_FALSE;
}

HRESULT FloatSource::GetPosition(LONG* position)
{
    *position = mPosition;
    return S_OK;
}

HRESULT FloatSource::GetSampledFlag(WORD* flag)
{
    *flag = 0;
    return S_FALSE;
}

HRESULT FloatSource::Next(ULONG count, float* values, ULONG* fetched)
{
    ++nextCalls;
    asked.push_back(count);
    ULONG n = 0;
    while (n < count && std::size_t(mPosition) < mValues.size())
        values[n++] = mValues[mPosition++];
    *fetched = n;
    return S_OK;
}

HRESULT FloatSource::GetElementText(LONG index, String* text)
{
    *text = String(L"#" + std::to_wstring(index));
    return S_OK;
}

HRESULT HostObject::QueryInterface(REFIID iid, void** out)
{
    *out = nullptr;
    if (iid == IUnknown::kIid) {
        *out = this;
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

std::wstring UniquePlotId(const char* stem)
{
    static std::atomic<int> next { 1 };
    const std::string id = std::string(stem) + "_" + std::to_string(next++);
    return std::wstring(id.begin(), id.end());
}

void ControlTest::SetUp()
{
    static const bool registered = vx::ui::RegisterClass({ L"PlotControlTestParent", 0, &vx::ui::DefWindowProc });
    (void)registered;
    parent = vx::ui::CreateWindowEx(0, L"PlotControlTestParent", L"view",
        vx::ui::WS_OVERLAPPED | vx::ui::WS_CAPTION | vx::ui::WS_VISIBLE, 100, 100, 400, 300, nullptr, 0, nullptr);
    ASSERT_NE(parent, nullptr);
    control = std::make_unique<EtchWvControl>(&host);
    recorder = new Recorder;
    ASSERT_EQ(control->Attach(recorder), S_OK);
}

void ControlTest::TearDown()
{
    if (control)
        control->Detach(recorder);
    control.reset();
    recorder->Release();
    vx::ui::DestroyWindow(parent);
}

void ControlTest::Create(bool withPlotId)
{
    ASSERT_TRUE(control->Create(parent));
    if (withPlotId) {
        plotId = UniquePlotId(::testing::UnitTest::GetInstance()->current_test_info()->name());
        control->SetPlotId(String(plotId));
    }
}

std::optional<nlohmann::json> ControlTest::Call(const std::string& name, const nlohmann::json& args)
{
    const std::string id = View().Call(name, args.dump());
    lastReply = View().ReplyTo(id);
    if (!lastReply || lastReply->status != 0)
        return std::nullopt;
    const nlohmann::json reply = nlohmann::json::parse(lastReply->result);
    EXPECT_EQ(reply.size(), 1u) << lastReply->result;
    return reply.at("result");
}

const std::vector<std::string>& ControlTest::Evaluated() const
{
    return engine.Last()->evaluated;
}

} // namespace plottest
