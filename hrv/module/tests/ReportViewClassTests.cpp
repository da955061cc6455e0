// The report view class gives the host the report of a recording's HRV document: only that class
// answers for reports, its answers say page or sentence, and bad arguments fail without a text.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/caf/tests/RegisteredFramework.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "hrv/datapad/Parameters.h"
#include "hrv/document/Document.h"
#include "hrv/module/ReportViewClass.h"

using namespace HRV;

namespace {

std::shared_ptr<vx::host::Recording> OneMinute()
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup channel;
    channel.title = L"ECG";
    r->AddChannel(channel);
    r->AddRecord(1.0 / 360, 0.0);
    r->records[0].channels[0].Append(std::vector<float>(360 * 60));
    r->records[0].length = 360 * 60;
    return r;
}

class ReportViewClassTest : public caf::test::RegisteredFramework { };

std::wstring Take(IKELString* rep)
{
    KEL::String text;
    text.AssignRep(rep);
    return std::wstring(text.View());
}

} // namespace

TEST_F(ReportViewClassTest, OnlyTheReportClassGivesReports)
{
    auto* report = new ReportViewClass(ViewClassTable()[0]);
    auto* tachogram = new ViewClass(ViewClassTable()[1]);
    report->AddRef();
    tachogram->AddRef();
    void* out = nullptr;
    ASSERT_EQ(report->QueryInterface(IReportSource::kIid, &out), S_OK);
    auto* source = static_cast<IReportSource*>(out);
    EXPECT_EQ(tachogram->QueryInterface(IReportSource::kIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    IKELString* text = reinterpret_cast<IKELString*>(1);
    EXPECT_EQ(source->GetReport(nullptr, &text), E_INVALIDARG); // no host document
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(source->GetReport(nullptr, nullptr), E_POINTER);
    source->Release();
    tachogram->Release();
    report->Release();
}

TEST_F(ReportViewClassTest, TheReportOfARecordingsDocumentIsAPageOrASentence)
{
    vx::host::HrvHostDocument host(OneMinute());
    auto* recording = new vx::host::HrvHostDocumentObject(host);
    auto* document = new Document(static_cast<IRecordingDocument*>(recording), nullptr, 0);
    document->AddRef();
    recording->AttachChild(DocumentClassKey(), static_cast<IHRVDocument*>(document));
    auto* report = new ReportViewClass(ViewClassTable()[0]);
    report->AddRef();
    IUnknown* hostDocument = static_cast<IDataPadSource*>(recording);

    IKELString* text = nullptr;
    EXPECT_EQ(report->GetReport(hostDocument, &text), S_FALSE);
    EXPECT_EQ(Take(text), L"The report is unavailable as HRV has not been analyzed.");

    document->GetSettings().mRangeStart = { 0, 0 };
    document->GetSettings().mRangeEnd = { kPositionNotSet, 0 };
    document->Engine().mRR = { 0.8, 0.8, 0.8 };
    document->Engine().mStats.mCount = 3;
    document->Engine().mStats.mSumRR = 2.4;
    ASSERT_EQ(report->GetReport(hostDocument, &text), S_OK);
    const std::wstring page = Take(text);
    EXPECT_NE(page.find(L"<td class=\"rowtitle\">Analysis End</td><td>Block: 1, 0:01:00.000</td>"), std::wstring::npos);
    EXPECT_NE(page.find(L"<td class=\"rowtitle\">Average RR</td><td>800 ms</td>"), std::wstring::npos);

    report->Release();
    recording->DetachChildren();
    document->Close();
    document->Release();
    recording->Release();
}
