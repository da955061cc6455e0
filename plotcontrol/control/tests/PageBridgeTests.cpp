// End to end without a browser window: the page the control loaded runs in node's jsdom with the
// real plotting scripts, and every call the page makes is answered by the control through the
// web view's binding path, with the real markup compiler behind it.
#include "plotcontrol/control/tests/ControlFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <numeric>

#include "plotcontrol/page/EtchPage.h"
#include "text/Unicode.h"

namespace plottest {
namespace {

using namespace KEL;
using nlohmann::json;

// A node process whose standard input and output are lines of JSON.
class NodeProcess {
public:
    explicit NodeProcess(const std::vector<std::string>& arguments)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        mPid = fork();
        if (mPid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            std::vector<char*> argv;
            for (const std::string& a : arguments)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        mToChild = in[1];
        mFromChild = out[0];
    }
    ~NodeProcess()
    {
        if (mToChild >= 0)
            close(mToChild);
        if (mFromChild >= 0)
            close(mFromChild);
        if (mPid > 0) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
    }
    void Write(const json& message)
    {
        const std::string line = message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
        for (std::size_t done = 0; done < line.size();) {
            const ssize_t n = ::write(mToChild, line.data() + done, line.size() - done);
            if (n <= 0)
                return;
            done += std::size_t(n);
        }
    }
    // The next line, or nullopt when the process ended or said nothing for `timeoutMs`.
    std::optional<json> Read(int timeoutMs)
    {
        for (;;) {
            if (auto end = mBuffer.find('\n'); end != std::string::npos) {
                const std::string line = mBuffer.substr(0, end);
                mBuffer.erase(0, end + 1);
                return json::parse(line);
            }
            pollfd p { mFromChild, POLLIN, 0 };
            if (poll(&p, 1, timeoutMs) <= 0)
                return std::nullopt;
            char chunk[65536];
            const ssize_t n = ::read(mFromChild, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            mBuffer.append(chunk, std::size_t(n));
        }
    }
    bool Started() const { return mPid > 0; }

private:
    pid_t mPid = -1;
    int mToChild = -1;
    int mFromChild = -1;
    std::string mBuffer;
};

std::string WriteTemp(const std::string& name, const std::string& text)
{
    const std::string path = ::testing::TempDir() + "plotcontrol_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class PageBridgeTest : public ControlTest {
protected:
    // Runs the page until it is idle, answering its calls through the control; the idle report.
    json RunPage(NodeProcess& node)
    {
        for (;;) {
            auto message = node.Read(30000);
            if (!message)
                return json { { "failed", "the page stopped answering" } };
            if (message->contains("idle"))
                return *message;
            const std::string name = message->at("call");
            calls.push_back(*message);
            const std::string id = View().Call(name, message->at("args").dump());
            const auto reply = View().ReplyTo(id);
            json answer { { "id", message->at("id") } };
            answer["status"] = reply ? reply->status : 1;
            answer["result"] = reply ? reply->result : "no reply";
            answer["evals"] = NewScripts();
            node.Write(answer);
        }
    }
    json NewScripts()
    {
        const auto& all = View().evaluated;
        json scripts = json::array();
        for (; mSent < all.size(); ++mSent)
            scripts.push_back(all[mSent]);
        return scripts;
    }
    std::vector<json> CallsTo(const std::string& name) const
    {
        std::vector<json> found;
        for (const json& c : calls)
            if (c["call"] == name)
                found.push_back(c);
        return found;
    }
    std::unique_ptr<NodeProcess> StartPage()
    {
        const std::string node = VX_NODE_EXECUTABLE;
        const std::string scripts = VX_PLOT_SCRIPTS_DIR;
        if (node.empty() || node.ends_with("-NOTFOUND") || access((scripts + "/node_modules/jsdom").c_str(), F_OK) != 0)
            return nullptr;
        const json names = EtchWvControl::BindingNames();
        auto process = std::make_unique<NodeProcess>(std::vector<std::string> { node, VX_PAGE_BRIDGE_JS,
            WriteTemp("page.html", View().html), WriteTemp("init.json", json(View().initScripts).dump()),
            WriteTemp("bindings.json", names.dump()), scripts });
        return process->Started() ? std::move(process) : nullptr;
    }

    std::vector<json> calls;

private:
    std::size_t mSent = 0;
};

TEST_F(PageBridgeTest, ThePlotIsCompiledAndDrawnFromTheControlsSources)
{
    Create();
    ASSERT_EQ(View().html, Etch::GetEtchPageHtml());
    std::vector<float> rr(300);
    std::iota(rr.begin(), rr.end(), 600.0f);
    auto* source = new FloatSource(rr);
    control->SetEnumSource(String(L"$RR"), source);
    control->RegisterClickablePlot(String(L"$RR"), String(L""), String(L"hrv_tachogram_view"), 0);

    auto node = StartPage();
    if (!node) {
        source->Release();
        GTEST_SKIP() << "node with jsdom is needed (bash scripts/install-deps)";
    }
    // Quotes, a backslash, CR LF line ends and a line separator all have to reach the markup
    // compiler exactly as the view wrote them.
    const std::wstring markup
        = L"tplot: {id: 'hrv_tachogram_view', cursor: { readout: 'RR Interval {0} = {1} \\\\ s' }, "
          L"xdata: [0:1:end], ydata: '$RR' [0:1:2147483647], colour: #1f3fbfff},\r\n"
          L"xlabel: 'Interval\u2028Number', ylabel: 'RR Interval (s)', ";
    ASSERT_TRUE(control->SetMarkup(String(markup)));
    node->Write(json { { "evals", NewScripts() } });
    const json idle = RunPage(*node);
    node->Write(json { { "quit", true } });

    ASSERT_TRUE(idle.contains("idle")) << idle.dump();
    EXPECT_EQ(idle["errors"], json::array()) << idle.dump();
    EXPECT_TRUE(idle["plot"]);
    EXPECT_GE(idle["canvases"].get<int>(), 1);
    EXPECT_GT(idle["draws"].get<int>(), 0);

    const auto compiles = CallsTo("etch_proxy_CompileMarkup");
    ASSERT_EQ(compiles.size(), 1u);
    // The page reads each CR LF of the literal as one line feed.
    std::wstring expected = markup;
    control->GetPersistTask()->WriteAxisScaleMarkup(expected);
    expected.replace(expected.find(L"\r\n"), 2, L"\n");
    EXPECT_EQ(compiles[0]["args"][1], vx::text::UnitsToUtf8(expected));
    ASSERT_FALSE(recorder->notices.empty());
    EXPECT_EQ(recorder->notices[0].kind, kCompileMarkup);
    EXPECT_EQ(recorder->notices[0].flag, 1);

    const auto requests = CallsTo("etch_proxy_RequestPixData");
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const json& c) { return c["args"][0] == "$RR"; }));
    EXPECT_LT(source->nextCalls, 10) << "the values come in blocks";
    control->ClearDataSources();
    source->Release();
}

TEST_F(PageBridgeTest, AMarkupErrorIsShownInThePlot)
{
    Create();
    auto node = StartPage();
    if (!node)
        GTEST_SKIP() << "node with jsdom is needed (bash scripts/install-deps)";
    ASSERT_TRUE(control->SetMarkup(String(L"tplot: {id: 'broken'")));
    node->Write(json { { "evals", NewScripts() } });
    const json idle = RunPage(*node);
    node->Write(json { { "quit", true } });
    ASSERT_TRUE(idle.contains("idle")) << idle.dump();
    EXPECT_EQ(idle["errors"], json::array()) << idle.dump();
    EXPECT_NE(idle["text"].get<std::string>().find("Markup error: Expected "), std::string::npos) << idle.dump();
    EXPECT_NE(idle["text"].get<std::string>().find(" on line 1: "), std::string::npos) << idle.dump();
    EXPECT_EQ(CallsTo("etch_proxy_CompileMarkup").size(), 1u);
}

} // namespace
} // namespace plottest
