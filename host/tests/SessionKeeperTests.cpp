// The desktop host's session of a recording, headless: the question on closing a window with
// unsaved changes and what each answer does to the session file, and the window that shows the
// steps of a long opening.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "ScratchHost.h"
#include "caf/PlotStateRegistrar.h"
#include "foundation/Utf.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "varnex/session/SessionFile.h"
#include "varnex/session/SessionKeeper.h"

namespace fs = std::filesystem;
namespace ui = vx::ui;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

class ClosingWithChanges : public ::testing::Test {
protected:
    void SetUp() override
    {
        caf::PlotStateRegistrarObject()->Store().Restore({});
        std::ostringstream quiet;
        varnex::OpenWithSession(*mHost, nullptr, nullptr, nullptr, Path(), quiet);
        ui::TakeMessageBoxRequests();
    }
    void TearDown() override
    {
        ui::SetDialogScript(nullptr);
        caf::PlotStateRegistrarObject()->Store().Restore({});
    }
    std::string Path() const { return (mDir / "r.hea.varnex-session").string(); }
    // A change the session file does not hold: a scale range the user set in a plot.
    void Change(double max)
    {
        PlotStateMessage m;
        m.number = PlotStateMessage::kYRange;
        m.plotId = L"tachogram";
        m.first = max;
        ASSERT_EQ(caf::PlotStateRegistrarObject()->Post(&m), S_OK);
    }

    vx::test::ScratchHost mScratch { "varnex-keeper" };
    const fs::path& mDir = mScratch.dir;
    std::unique_ptr<vx::host::HrvHostDocument>& mHost = mScratch.host;
};

} // namespace

TEST_F(ClosingWithChanges, EachAnswerDoesWhatItSays)
{
    struct Case {
        const char* name;
        std::optional<varnex::KeptSession> kept; // the session file could not be read or used at opening
        int button; // pressed in the question; 0: no question expected
        bool dirty;
        bool mayClose;
        bool saved; // the session file holds the change afterwards
        bool errorShown;
    };
    const Case cases[] = {
        { "nothing to save closes without a question", std::nullopt, 0, false, true, false, false },
        { "Save writes the session, then closes", std::nullopt, varnex::kSaveButton, true, true, true, false },
        { "Don't Save closes and writes nothing", std::nullopt, varnex::kDontSaveButton, true, true, false, false },
        { "Cancel keeps the window", std::nullopt, varnex::kCancelButton, true, false, false, false },
        { "Save over an unreadable session is refused and keeps the window",
            varnex::KeptSession { varnex::KeptSession::Why::Unreadable, "its checksum does not match" },
            varnex::kSaveButton, true, false, false, true },
        { "Save over a session that does not fit the recording is refused and keeps the window",
            varnex::KeptSession { varnex::KeptSession::Why::Unusable, "its channel HRV_vLPF cannot be made again" },
            varnex::kSaveButton, true, false, false, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A scale no earlier case set, so that the change is one.
        const double scale = 1.0 + static_cast<double>(&c - cases);
        fs::remove(Path());
        if (c.kept) {
            std::ofstream(Path(), std::ios::binary) << "damaged";
        }
        if (c.dirty)
            Change(scale);
        std::ostringstream err;
        varnex::SessionKeeper keeper(*mHost, Path(), c.kept, err);
        EXPECT_EQ(keeper.NeedsSave(), c.dirty);

        int questions = 0;
        ui::SetDialogScript([&](ui::HWND dialog) {
            ++questions;
            EXPECT_EQ(ui::GetWindowText(ui::GetDlgItem(dialog, 100)), L"Save the changes to 100 before closing?");
            EXPECT_EQ(
                ui::LOWORD(static_cast<DWORD>(ui::SendMessage(dialog, ui::DM_GETDEFID, 0, 0))), varnex::kSaveButton);
            ui::SendMessage(dialog, ui::WM_COMMAND, ui::MAKEWPARAM(static_cast<unsigned>(c.button), ui::BN_CLICKED),
                reinterpret_cast<ui::LPARAM>(ui::GetDlgItem(dialog, c.button)));
        });
        EXPECT_EQ(keeper.MayClose(nullptr, L"100"), c.mayClose);
        EXPECT_EQ(questions, c.button ? 1 : 0);
        const auto requests = ui::TakeMessageBoxRequests();
        EXPECT_EQ(requests.size(), c.errorShown ? 1u : 0u);
        if (c.errorShown) {
            ASSERT_FALSE(requests.empty());
            EXPECT_NE(requests[0].text.find(L"move"), std::wstring::npos) << "says how to proceed";
            EXPECT_NE(requests[0].text.find(KEL::Utf8ToWide(c.kept->reason)), std::wstring::npos);
            EXPECT_EQ(ReadFile(Path()), "damaged") << "the kept file is left as it is";
            EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << "one line: " << err.str();
        } else {
            EXPECT_EQ(err.str(), "");
        }
        EXPECT_EQ(keeper.NeedsSave(), c.dirty && !c.saved);
        if (!c.mayClose) {
            // The window stays; closing it again asks again, and Don't Save closes it.
            questions = 0;
            ui::SetDialogScript([&](ui::HWND dialog) {
                ++questions;
                ui::SendMessage(dialog, ui::WM_COMMAND, ui::MAKEWPARAM(varnex::kDontSaveButton, ui::BN_CLICKED),
                    reinterpret_cast<ui::LPARAM>(ui::GetDlgItem(dialog, varnex::kDontSaveButton)));
            });
            EXPECT_TRUE(keeper.MayClose(nullptr, L"100"));
            EXPECT_EQ(questions, 1);
            if (c.kept) {
                EXPECT_EQ(ReadFile(Path()), "damaged");
            }
        }
        if (c.saved) {
            const auto read = varnex::ReadSessionFile(Path(), vx::host::SessionSizeLimit(mHost->GetRecording()));
            ASSERT_TRUE(read.has_value());
            ASSERT_EQ(read->plotStates.size(), 1u);
            EXPECT_EQ(read->plotStates[0].first, scale);
        } else if (!c.kept) {
            EXPECT_FALSE(fs::exists(Path()));
        }
        // What was not saved is left for the next case to find unsaved: start clean.
        std::ostringstream quiet;
        varnex::OpenWithSession(*mHost, nullptr, nullptr, nullptr, Path(), quiet);
    }
}

TEST(LoadProgress, ShowsEachStepOfTheOpeningUntilItGoes)
{
    ui::HWND window = nullptr;
    {
        varnex::LoadProgress progress(L"100", 3);
        window = progress.Window();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(ui::IsWindowVisible(window));
        EXPECT_EQ(ui::GetWindowText(window), L"Opening 100");
        progress.Step(L"reading the recording");
        EXPECT_EQ(progress.Text(), L"Opening 100: reading the recording (step 1 of 3)");
        progress.Step(L"loading the HRV extension");
        EXPECT_EQ(progress.Text(), L"Opening 100: loading the HRV extension (step 2 of 3)");
        // The user closing it does not stop the opening.
        ui::SendMessage(window, ui::WM_CLOSE, 0, 0);
        EXPECT_TRUE(ui::IsWindow(window));
    }
    EXPECT_FALSE(ui::IsWindow(window));
}
