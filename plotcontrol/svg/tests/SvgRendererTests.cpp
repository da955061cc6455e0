#include <gtest/gtest.h>

#include <boost/property_tree/exceptions.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include "plotcontrol/svg/PrintableSvgRenderer.h"

using KEL::RenderPrintableSvg;
using vx::ui::Colour;
using vx::ui::DrawCommand;
using Op = vx::ui::DrawCommand::Op;

namespace {

std::string Svg(const std::string& body, const std::string& size = "width=\"100\" height=\"100\"")
{
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" " + size + ">" + body + "</svg>";
}

// The drawing commands of a recorded picture, without the state changes.
std::vector<DrawCommand> Drawn(const std::string& body)
{
    auto renderer = RenderPrintableSvg(Svg(body), "", L"");
    auto picture = renderer->GetMetafileHandle();
    std::vector<DrawCommand> out;
    for (const DrawCommand& c : picture->commands)
        if (c.op != Op::SelectPen && c.op != Op::SelectBrush && c.op != Op::SelectFont && c.op != Op::SetTextColour
            && c.op != Op::SetBkMode && c.op != Op::SetTextAlign)
            out.push_back(c);
    return out;
}

// The picture drawn into a bitmap (an image file name makes the renderer draw pixels).
vx::ui::BitmapPtr Pixels(const std::string& body)
{
    auto renderer = RenderPrintableSvg(Svg(body), "", L"/nonexistent/picture.png");
    return renderer->GetBitmap();
}

std::vector<vx::ui::Point> Points(std::initializer_list<std::pair<int, int>> list)
{
    std::vector<vx::ui::Point> out;
    for (auto [x, y] : list)
        out.push_back({ x, y });
    return out;
}

constexpr Colour kRed = Colour::Rgb(255, 0, 0);
constexpr Colour kGreen = Colour::Rgb(0, 255, 0);

} // namespace

TEST(SvgRenderer, RectangleIsFilledOrOutlinedNeverBoth)
{
    auto outlined = Drawn("<rect x=\"10\" y=\"10\" width=\"20\" height=\"10\" style=\"fill:none;stroke:#ff0000\"/>");
    ASSERT_EQ(outlined.size(), 1u);
    EXPECT_EQ(outlined[0].op, Op::Rectangle);
    auto filled = Drawn("<rect x=\"10\" y=\"10\" width=\"20\" height=\"10\" style=\"fill:#00ff00;stroke:#ff0000\"/>");
    ASSERT_EQ(filled.size(), 1u);
    EXPECT_EQ(filled[0].op, Op::FillRect);
    EXPECT_EQ(filled[0].brush.colour, kGreen);
    EXPECT_EQ(filled[0].rect, (vx::ui::Rect { 10, 10, 30, 20 }));

    auto bitmap = Pixels("<rect x=\"10\" y=\"10\" width=\"20\" height=\"10\" style=\"fill:none;stroke:#ff0000\"/>");
    EXPECT_EQ(bitmap->Pixel(10, 15), kRed); // the left edge
    EXPECT_EQ(bitmap->Pixel(20, 15), Colour {}); // the inside stays empty
    EXPECT_EQ(bitmap->Alpha(20, 15), 0);
}

TEST(SvgRenderer, StyleStaysInForceForLaterElements)
{
    auto drawn = Drawn("<rect x=\"0\" y=\"0\" width=\"5\" height=\"5\" style=\"fill:#00ff00\"/>"
                       "<rect x=\"10\" y=\"0\" width=\"5\" height=\"5\"/>");
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[1].op, Op::FillRect);
    EXPECT_EQ(drawn[1].brush.colour, kGreen);
}

TEST(SvgRenderer, ColoursAndOpacity)
{
    struct Case {
        std::uint32_t before;
        const char* text;
        bool parsed;
        std::uint32_t after;
    };
    const Case cases[] = {
        { 0xFF000000, "rgba(0,0,255,0.5)", true, 0x7F0000FF },
        { 0x7FFF0000, "#00ff00", true, 0x7F00FF00 }, // keeps the alpha of rgba(255,0,0,0.5)
        { 0xFF000000, "#ABCDEF", true, 0xFFABCDEF }, { 0xFF123456, "#12345", false, 0xFF123456 },
        { 0xFF123456, "#12345g", false, 0xFF123456 }, { 0xFF123456, "blue", false, 0xFF123456 },
        { 0xFF123456, "rgba(1,2,3)", false, 0xFF123456 },
        { 0xFF000000, "rgba(999,0,0,7)", true, 0xFFFF0000 }, // clamped
    };
    for (const Case& c : cases) {
        std::uint32_t colour = c.before;
        EXPECT_EQ(KEL::svg::ParseSvgColour(c.text, colour), c.parsed) << c.text;
        EXPECT_EQ(colour, c.after) << c.text;
    }

    // Opacities replace the alpha byte; a half-transparent fill is blended, not painted.
    auto drawn = Drawn("<rect x=\"0\" y=\"0\" width=\"8\" height=\"8\" style=\"fill:#0000ff;fill-opacity:0.5\"/>");
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].op, Op::AlphaBlit);
    EXPECT_EQ(drawn[0].value, 127);
    auto bitmap = Pixels("<rect x=\"0\" y=\"0\" width=\"8\" height=\"8\" style=\"fill:#0000ff;fill-opacity:0.5\"/>");
    EXPECT_NEAR(bitmap->Alpha(4, 4), 127, 1);
}

TEST(SvgRenderer, PathDataBecomesOpenPolylines)
{
    auto drawn = Drawn("<path d=\"M 0 0 L 10 0 L 10 10 M 20 20 L 30 30\"/>");
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].points, Points({ { 0, 0 }, { 10, 0 }, { 10, 10 } }));
    EXPECT_EQ(drawn[1].points, Points({ { 20, 20 }, { 30, 30 } }));

    // Signs, exponents, commas and commands outside the subset are read past, never looped on.
    struct Case {
        const char* d;
        std::vector<vx::ui::Point> points;
    };
    const Case cases[] = {
        { "M-3 -3L5 5Z", Points({ { -3, -3 }, { 5, 5 } }) },
        { "M 1e-5 0 L 4e1 2", Points({ { 0, 0 }, { 40, 2 } }) },
        { "M0,0 L7,7 z", Points({ { 0, 0 }, { 7, 7 } }) },
        { "M 0 0 L inf 3 L 9 9 C", Points({ { 0, 0 }, { 3, 9 } }) }, // "inf" is no number: 3 and 9 pair up
        { "M 0 0 L 1e999 4 6", Points({ { 0, 0 }, { 4, 6 } }) },
    };
    for (const Case& c : cases) {
        auto lines = Drawn(std::string("<path d=\"") + c.d + "\"/>");
        ASSERT_EQ(lines.size(), 1u) << c.d;
        EXPECT_EQ(lines[0].points, c.points) << c.d;
    }

    auto bitmap = Pixels("<path style=\"stroke:#ff0000\" d=\"M 10 50 L 90 50\"/>");
    EXPECT_EQ(bitmap->Pixel(50, 50), kRed);
    EXPECT_EQ(bitmap->Alpha(50, 53), 0);
}

TEST(SvgRenderer, GroupTranslationMovesChildrenAndIsUndoneAfter)
{
    struct Case {
        const char* transform;
        vx::ui::Rect inside;
    };
    const Case cases[] = {
        { "translate(10 20)", { 10, 20, 15, 25 } },
        { "translate(-10 20)", { -10, 20, -5, 25 } }, // negative offsets move too
        { "translate(2.5   -4)", { 3, -4, 8, 1 } }, { "scale(2)", { 0, 0, 5, 5 } }, // not understood: no move
        { "translate(10,20)", { 0, 0, 5, 5 } }, // the plot page separates with blanks only
    };
    for (const Case& c : cases) {
        auto drawn = Drawn(std::string("<g transform=\"") + c.transform
            + "\"><rect x=\"0\" y=\"0\" width=\"5\" height=\"5\"/></g><rect x=\"0\" y=\"0\" width=\"5\" "
              "height=\"5\"/>");
        ASSERT_EQ(drawn.size(), 2u) << c.transform;
        EXPECT_EQ(drawn[0].rect, c.inside) << c.transform;
        EXPECT_EQ(drawn[1].rect, (vx::ui::Rect { 0, 0, 5, 5 })) << c.transform;
    }
}

TEST(SvgRenderer, ClipPathClipsLaterGroupToTheIntersection)
{
    auto bitmap = Pixels(
        "<clipPath id=\"c\"><rect x=\"10\" y=\"10\" width=\"50\" height=\"50\"/>"
        "<rect x=\"30\" y=\"0\" width=\"50\" height=\"40\"/></clipPath>"
        "<g clip-path=\"url(#c)\"><rect x=\"0\" y=\"0\" width=\"100\" height=\"100\" style=\"fill:#ff0000\"/></g>"
        "<rect x=\"0\" y=\"90\" width=\"10\" height=\"10\" style=\"fill:#00ff00\"/>");
    EXPECT_EQ(bitmap->Pixel(35, 20), kRed); // inside both
    EXPECT_EQ(bitmap->Alpha(15, 20), 0); // inside the first only
    EXPECT_EQ(bitmap->Alpha(35, 45), 0); // inside the first, below the second
    EXPECT_EQ(bitmap->Alpha(5, 5), 0);
    EXPECT_EQ(bitmap->Pixel(5, 95), kGreen); // the clip ends with the group
}

TEST(SvgRenderer, ShapesAndText)
{
    auto circle = Drawn("<circle cx=\"50\" cy=\"50\" r=\"10\"/>");
    ASSERT_EQ(circle.size(), 1u);
    EXPECT_EQ(circle[0].op, Op::Ellipse);
    EXPECT_EQ(circle[0].rect, (vx::ui::Rect { 40, 40, 61, 61 }));
    auto ring = Pixels("<circle cx=\"50\" cy=\"50\" r=\"10\" style=\"stroke:#ff0000\"/>");
    EXPECT_EQ(ring->Pixel(50, 40), kRed);
    EXPECT_EQ(ring->Alpha(50, 50), 0); // outline only

    auto dashed = Drawn("<line x1=\"0\" y1=\"5\" x2=\"20.9\" y2=\"5\" style=\"stroke-dasharray:4,2\"/>");
    ASSERT_EQ(dashed.size(), 1u);
    EXPECT_EQ(dashed[0].op, Op::PolyPolyline);
    EXPECT_EQ(dashed[0].points,
        Points({ { 0, 5 }, { 4, 5 }, { 6, 5 }, { 10, 5 }, { 12, 5 }, { 16, 5 }, { 18, 5 }, { 20, 5 } }));

    auto tilted = Drawn("<ellipse cx=\"50\" cy=\"50\" rx=\"20\" ry=\"5\" transform=\"rotate(90 50 50)\"/>");
    ASSERT_EQ(tilted.size(), 1u);
    EXPECT_EQ(tilted[0].points.front(), (vx::ui::Point { 50, 70 })); // the long axis now points down

    auto renderer
        = RenderPrintableSvg(Svg("<text x=\"30\" y=\"40\" text-anchor=\"end\" dominant-baseline=\"text-after-edge\" "
                                 "transform=\"rotate(-90 30 40)\" style=\"font-size:14\">RR [ms]</text>"),
            "", L"");
    auto picture = renderer->GetMetafileHandle();
    const DrawCommand* text = nullptr;
    const DrawCommand* font = nullptr;
    const DrawCommand* align = nullptr;
    for (const DrawCommand& c : picture->commands) {
        if (c.op == Op::TextOut)
            text = &c;
        if (c.op == Op::SelectFont)
            font = &c;
        if (c.op == Op::SetTextAlign)
            align = &c;
    }
    ASSERT_TRUE(text && font && align);
    EXPECT_EQ(text->text, L"RR [ms]");
    EXPECT_EQ(text->points[0], (vx::ui::Point { 30, 40 }));
    EXPECT_EQ(font->font.height, -14);
    EXPECT_EQ(font->font.escapement, 900); // a quarter turn anticlockwise
    EXPECT_EQ(align->value, int(vx::ui::TA_RIGHT | vx::ui::TA_BOTTOM));
}

TEST(SvgRenderer, ShadowFilterAndDefinitions)
{
    auto shadow
        = Drawn("<filter id=\"s\"><feGaussianBlur in=\"SourceAlpha\" stdDeviation=\"2\"/></filter>"
                "<rect x=\"10\" y=\"10\" width=\"40\" height=\"20\" filter=\"url(#s)\" style=\"fill:#000000\"/>");
    ASSERT_EQ(shadow.size(), 2u);
    EXPECT_EQ(shadow[0].op, Op::AlphaBlit);
    EXPECT_EQ(shadow[0].rect, (vx::ui::Rect { 7, 7, 53, 33 })); // grown by 1.5 deviations
    EXPECT_EQ(shadow[1].rect, (vx::ui::Rect { 7, 7, 53, 33 }));

    const std::string defs = "<defs><rect id=\"box\" width=\"4\" height=\"4\"/></defs>";
    auto used = Drawn(defs + "<use xlink:href=\"#box\" x=\"20\" y=\"30\"/>");
    ASSERT_EQ(used.size(), 1u);
    EXPECT_EQ(used[0].rect, (vx::ui::Rect { 20, 30, 24, 34 }));
    // Definitions belong to the picture that made them.
    EXPECT_TRUE(Drawn("<use xlink:href=\"#box\" x=\"20\" y=\"30\"/>").empty());
}

TEST(SvgRenderer, FontFamilyIsTheFirstInstalledOne)
{
    struct Case {
        const char* families;
        const char* chosen;
    };
    const Case cases[] = {
        { "No Such Face, DejaVu Sans, serif", "DejaVu Sans" }, { "'DejaVu Sans'", "DejaVu Sans" },
        { "No Such Face", "Arial" }, { "&quot;No Such Face&quot;, sans-serif", "sans-serif" }, // a quoted name
    };
    for (const Case& c : cases) {
        auto renderer
            = RenderPrintableSvg(Svg(std::string("<text style=\"font-family:") + c.families + "\">x</text>"), "", L"");
        EXPECT_EQ(renderer->FontFamily(), c.chosen) << c.families;
    }
}

TEST(SvgRenderer, MatchedFontFamilyNamesAnInstalledFaceThatMatchesItself)
{
    // Generic families and missing faces alike come out as the name of a face that is installed:
    // asked for by that name, the font configuration gives the same face.
    for (const char* family : { "sans-serif", "monospace", "No Such Face" }) {
        const std::string face = KEL::MatchedFontFamily(family);
        ASSERT_FALSE(face.empty()) << family;
        EXPECT_NE(face, family);
        EXPECT_EQ(KEL::MatchedFontFamily(face), face) << family;
        auto renderer
            = RenderPrintableSvg(Svg("<text style=\"font-family:No Such Face, " + face + "\">x</text>"), "", L"");
        EXPECT_EQ(renderer->FontFamily(), face) << family;
    }
}

TEST(SvgRenderer, PictureSizeComesFromTheRoot)
{
    auto renderer = RenderPrintableSvg("<svg><rect width=\"3\" height=\"3\"/></svg>", "", L"");
    EXPECT_EQ(renderer->Width(), 0.0f);
    EXPECT_EQ(renderer->GetMetafileHandle()->size, (vx::ui::Size { 0, 0 }));
    auto sized = RenderPrintableSvg(Svg("", "width=\"800\" height=\"400\""), "", L"");
    EXPECT_EQ(sized->GetMetafileHandle()->size, (vx::ui::Size { 800, 400 }));
    EXPECT_EQ(sized->GetMetafileHandle(), nullptr); // handed over once
}

TEST(SvgRenderer, BadSvgIsRefusedWithAClearError)
{
    const std::string deep = [] {
        std::string s = "<svg width=\"10\" height=\"10\">";
        for (int i = 0; i < 100000; ++i)
            s += "<g>";
        for (int i = 0; i < 100000; ++i)
            s += "</g>";
        return s + "</svg>";
    }();
    struct Case {
        std::string svg;
        std::string message; // a part of the error text
    };
    std::vector<Case> cases = {
        { Svg("<clipPath id=\"c\"><path d=\"M0 0\"/></clipPath>"), "Printable SVG generated by this plot is invalid" },
        { Svg("<clipPath id=\"c\"><g/></clipPath>"), "a group inside a clip path" },
        { Svg("<filter id=\"f\"><filter id=\"g\"/></filter>"), "a filter inside" },
        { Svg("<feGaussianBlur in=\"SourceAlpha\"/>"), "a blur outside a filter" },
        { Svg("<defs><g id=\"a\"><use xlink:href=\"#a\"/></g></defs><use xlink:href=\"#a\"/>"), "uses itself" },
        { Svg("<defs><g id=\"a\"><use xlink:href=\"#b\"/></g><g id=\"b\"><use xlink:href=\"#a\"/></g></defs>"
              "<use xlink:href=\"#a\"/>"),
            "uses itself" },
        { Svg("<rect style=\"fill:\\q\"/>"), "unreadable style" },
        { deep, "nested 100001 deep" },
        { "<svg><rect></svg>", "" }, // the XML reader's own error
        { "<html/>", "No such node" },
    };
    // Definitions that use each other ten times a level would draw a hundred million rectangles.
    const std::string expanding = [] {
        std::string defs;
        for (int level = 0; level < 8; ++level) {
            defs += "<g id=\"a" + std::to_string(level) + "\">";
            for (int k = 0; k < 10; ++k)
                defs += "<use xlink:href=\"#a" + std::to_string(level + 1) + "\"/>";
            defs += "</g>";
        }
        return Svg("<defs>" + defs + "<rect id=\"a8\" width=\"1\" height=\"1\"/></defs><use xlink:href=\"#a0\"/>");
    }();
    cases.push_back({ expanding, "definitions expand to more than 200000 elements" });
    const std::string chain = [] {
        std::string defs;
        for (int level = 0; level < 20; ++level)
            defs += "<g id=\"c" + std::to_string(level) + "\"><use xlink:href=\"#c" + std::to_string(level + 1)
                + "\"/></g>";
        return Svg("<defs>" + defs + "</defs><use xlink:href=\"#c0\"/>");
    }();
    cases.push_back({ chain, "used inside each other too deeply" });
    for (const Case& c : cases) {
        try {
            RenderPrintableSvg(c.svg, "", L"");
            ADD_FAILURE() << "accepted: " << c.svg.substr(0, 80);
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(RenderPrintableSvg("<svg><rect></svg>", "", L""), boost::property_tree::xml_parser_error);

    // A long attribute is read, not matched with a recursive pattern engine.
    const std::string longAttribute = "<g transform=\"" + std::string(100000, '(') + "\" clip-path=\"url(#"
        + std::string(100000, 'x') + ")\"><rect width=\"2\" height=\"2\"/></g>";
    EXPECT_EQ(Drawn(longAttribute).size(), 1u);
}

TEST(SvgRenderer, NestingDepthCountsOnlyElements)
{
    EXPECT_EQ(KEL::svg::NestingDepth("<a><b/><c x=\"/>\"><d></d></c></a>"), 3);
    EXPECT_EQ(KEL::svg::NestingDepth("<?xml version=\"1.0\"?><!-- <x><y> --><a><![CDATA[<b><c>]]></a>"), 1);
}
