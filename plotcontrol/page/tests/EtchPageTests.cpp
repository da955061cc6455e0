#include "plotcontrol/page/EtchPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string File(const std::string& name)
{
    std::string text;
    EXPECT_TRUE(Etch::AppendEmbeddedWebFile(name, text)) << name;
    return text;
}

TEST(EtchPage, FilesAreEmbeddedInTableOrder)
{
    std::vector<std::string> names;
    Etch::ListEmbeddedWebFiles(names);
    ASSERT_EQ(names.size(), 32u);
    EXPECT_EQ(names.front(), "bar.js");
    EXPECT_EQ(names[14], "jquery.js");
    EXPECT_EQ(names.back(), "zoom.js");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const auto& n : names) {
        const std::string text = File(n);
        EXPECT_GT(text.size(), 100u) << n;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    }
    EXPECT_NE(File("jquery.js").find("jQuery"), std::string::npos);
}

TEST(EtchPage, BundleNames)
{
    struct Case {
        const char* name;
        bool accepted;
        unsigned flags;
    };
    const Case cases[] = {
        { "etch_local.js", true, 1 },
        { "etch.js", true, 3 },
        { "etch_no_jquery.js", true, 2 },
        { "etch_not_local.js", true, 3 },
        { "etch_remote.js", true, 3 },
        { "ETCH_Local.js", true, 1 },
        { "etch_local_no_remote_not_jquery.js", true, 0 },
        { "etch", false, 3 },
        { "etch.css", false, 3 },
        { "main.js", false, 3 },
        { "etch.min.js", false, 3 },
    };
    for (const auto& c : cases) {
        unsigned flags = 99;
        EXPECT_EQ(Etch::ParseEtchBundleName(c.name, flags), c.accepted) << c.name;
        EXPECT_EQ(flags, c.flags) << c.name;
    }
}

TEST(EtchPage, BundlesPutJQueryMainAndRemoteFirst)
{
    std::vector<std::string> names;
    Etch::ListEmbeddedWebFiles(names);
    std::string expected = File("jquery.js") + File("main.js");
    for (const auto& n : names)
        if (n != "jquery.js" && n != "main.js" && n != "remote.js")
            expected += File(n);
    std::string local;
    ASSERT_TRUE(Etch::GetEtchWebFile("ETCH_Local.js", local));
    EXPECT_EQ(local, expected);

    std::string remote;
    ASSERT_TRUE(Etch::GetEtchWebFile("etch_remote.js", remote));
    EXPECT_EQ(remote.find(File("jquery.js") + File("main.js") + File("remote.js")), 0u);
    EXPECT_EQ(remote.size(), local.size() + File("remote.js").size());

    std::string text;
    EXPECT_FALSE(Etch::GetEtchWebFile("etch_local.JS", text));
    EXPECT_FALSE(Etch::GetEtchWebFile("nothing.js", text));
    EXPECT_TRUE(text.empty());
    ASSERT_TRUE(Etch::GetEtchWebFile("main.js", text));
    EXPECT_EQ(text, File("main.js"));
    std::string mime;
    EXPECT_FALSE(Etch::GetWebFileMimeType("etch.css", mime));
    ASSERT_TRUE(Etch::GetWebFileMimeType("page.html", mime));
    EXPECT_EQ(mime, "text/html");
}

TEST(EtchPage, PageCarriesResourcesProxyBundleAndPlotDivision)
{
    const std::string& page = Etch::GetEtchPageHtml();
    EXPECT_EQ(&page, &Etch::GetEtchPageHtml());
    EXPECT_EQ(page.rfind(
                  "<!doctype html><html> <head>\n<script type='text/javascript'>function etch_proxy_ResourceURLs()", 0),
        0u);
    for (const char* part : { "'cursor_all_stretch_t.cur'", "throbber: 'throbber.gif'", "const etch_proxy = new Proxy",
             "//# sourceURL=etch://injected/binding_proxy.js\n",
             "\n//# sourceURL=etch://injected/etch_local.js\n  </script>", "<div id=\"local\">  </div> </body>" })
        EXPECT_NE(page.find(part), std::string::npos) << part;
    std::string bundle;
    Etch::GetEtchWebFile("etch_local.js", bundle);
    EXPECT_NE(page.find("  <script type='text/javascript'>" + bundle + "\n//# sourceURL"), std::string::npos);
    EXPECT_EQ(page.find(File("remote.js")), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 16), "</script></html>");
}

TEST(EtchPage, EveryResourceThePageNamesIsEmbedded)
{
    const std::string& page = Etch::GetEtchPageHtml();
    std::vector<std::string> names { "throbber.gif" };
    for (std::size_t at = page.find("cursor_"); at != std::string::npos; at = page.find("cursor_", at + 1)) {
        const std::size_t end = page.find(".cur'", at);
        if (end != std::string::npos && end - at < 40 && page.find('\'', at) > end)
            names.push_back(page.substr(at, end - at + 4));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    ASSERT_EQ(names.size(), 9u);
    for (const auto& n : names) {
        std::string bytes, mime;
        ASSERT_TRUE(Etch::GetEtchResource(n, bytes, mime)) << n;
        if (n.ends_with(".gif")) {
            EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
            EXPECT_EQ(mime, "image/gif");
        } else {
            EXPECT_EQ(bytes.substr(0, 4), std::string("\0\0\2\0", 4)) << n; // a cursor resource
            EXPECT_EQ(bytes.size(), 4286u) << n;
        }
    }
    std::string bytes, mime;
    EXPECT_FALSE(Etch::GetEtchResource("etch_local.js", bytes, mime));
}

} // namespace
