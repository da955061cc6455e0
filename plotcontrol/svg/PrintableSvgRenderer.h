#pragma once
// Draws the SVG that the plot page writes for copying, printing and saving. Only the small set
// of SVG that the plotting scripts emit is understood: rect, path (absolute M and L), g with a
// translation and a clip path, clipPath, filter with feGaussianBlur (drop shadows), defs and use,
// circle, line, ellipse and text, with the style properties fill, fill-opacity, stroke,
// stroke-opacity, stroke-width, stroke-dasharray, font-size and font-family. Anything else is
// skipped. The picture is recorded (a metafile for the clipboard and the printer) or, when an
// image file name is given, drawn into a bitmap that ExportImage saves.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>

#include "ui/Gdi.h"

namespace KEL {

// Raised for SVG that the plot page never writes: a nesting the subset forbids, a definition
// that uses itself, markup nested too deeply, an unreadable style.
class bad_svg_exception : public std::runtime_error {
public:
    bad_svg_exception();
    explicit bad_svg_exception(const std::string& detail);
};

// The picture of a plot as drawing commands: what the clipboard and the printer receive.
struct SvgMetafile {
    vx::ui::Size size {};
    std::vector<vx::ui::DrawCommand> commands;
};
using SvgMetafilePtr = std::shared_ptr<const SvgMetafile>;

struct ImageExportResult {
    bool saved = false;
    std::string error; // empty when saved
};

class PrintableSvgRenderer {
public:
    ~PrintableSvgRenderer();
    PrintableSvgRenderer(const PrintableSvgRenderer&) = delete;
    PrintableSvgRenderer& operator=(const PrintableSvgRenderer&) = delete;

    float Width() const { return mWidth; }
    float Height() const { return mHeight; }
    const std::string& FontFamily() const { return mFontFamily; }

    // Ends the recording and hands the picture over; null for a bitmap target or when it was
    // already taken.
    SvgMetafilePtr GetMetafileHandle();
    // The bitmap drawn into for an image file (null for a recording).
    vx::ui::BitmapPtr GetBitmap() const { return mBitmap; }
    // Saves the bitmap to the file named at creation, in the format its extension names. The
    // file is written beside its final name and renamed into place, so a failed save leaves
    // neither a partial file nor a damaged earlier one.
    ImageExportResult ExportImage();

private:
    friend std::unique_ptr<PrintableSvgRenderer> RenderPrintableSvg(
        const std::string& svg, const std::string& applicationName, const std::wstring& fileName);
    friend class SvgElementVisitor;
    using Tree = boost::property_tree::ptree;
    struct FRect {
        float x = 0, y = 0, width = 0, height = 0;
    };

    PrintableSvgRenderer(float width, float height, const std::wstring& fileName);

    void ParseSvgStyle(const std::string& style);
    void ApplySvgStyleProperty(const std::string& name, const std::string& value);
    void SelectSvgFont(const std::string& families);
    void DrawSvgRect(const FRect& rect, const std::string& filterId);
    void FillSvgGradientRect(const FRect& rect, float deviation);
    void DrawSvgPolyline(const std::string& data);
    void DrawSvgText(const std::string& text, float x, float y, int horizontal, int vertical, float angle);
    void DrawCircle(float cx, float cy, float r);
    void DrawLine(float x1, float y1, float x2, float y2);
    void DrawEllipse(float cx, float cy, float rx, float ry, float angle);
    void PushWorldTransform(float dx, float dy);
    void PopWorldTransform();
    vx::ui::Pen StrokePen() const;
    bool StrokeVisible() const { return (mStroke >> 24) != 0; }
    vx::ui::Point ToDevice(float x, float y) const;
    void FillAlpha(const vx::ui::Rect& rect, std::uint32_t argb);

    vx::ui::DC& Target() { return *mDC; }

    std::unique_ptr<vx::ui::DC> mDC;
    vx::ui::BitmapPtr mBitmap;
    bool mRecordingTaken = false;
    std::map<std::string, std::optional<FRect>> mClips; // nullopt: an empty intersection
    std::map<std::string, float> mFilters;
    std::map<std::string, std::shared_ptr<const Tree>> mDefinitions; // id -> a tree holding the element
    std::vector<std::pair<float, float>> mTransformStack;
    float mDx = 0, mDy = 0; // the current world translation
    std::set<std::string> mUsesInProgress;
    int mUseDepth = 0;
    long mElementsDrawn = 0;

    float mWidth = 0, mHeight = 0;
    std::uint32_t mFill = 0xFF000000;
    std::uint32_t mStroke = 0xFF000000;
    std::string mFontFamily = "Arial";
    float mFontSize = 10.0f;
    float mStrokeWidth = 1.0f;
    std::vector<float> mDashArray;
    std::wstring mFileName;
    std::wstring mExtension;
};

// Reads the SVG text and draws it. The application name describes the picture for other
// programs; an empty file name records a metafile, an image file name draws into a bitmap of
// the picture's size (refused when that size is not a sane bitmap, or for ".emf", which is not
// written here). Throws bad_svg_exception, the XML reader's parse error or std::runtime_error.
std::unique_ptr<PrintableSvgRenderer> RenderPrintableSvg(
    const std::string& svg, const std::string& applicationName, const std::wstring& fileName);

// The family of the face the font configuration draws text of `family` in (a generic family such
// as "sans-serif" or a face name): a face that is installed, found by that name. Empty when no
// face is installed at all.
std::string MatchedFontFamily(const std::string& family);

// The deepest element nesting RenderPrintableSvg reads.
constexpr int kMaxSvgNesting = 256;

// Helpers of the reader, shared with the tests.
namespace svg {
// The number at the start of `text` (after blanks) as the classic locale reads it: the value
// and how many characters it took; nothing when no finite number starts there.
std::optional<float> ReadNumber(std::string_view text, std::size_t& consumed);
// The id of "url(#id)" anywhere in the text.
std::optional<std::string> UrlId(std::string_view text);
// The two offsets of "translate(x y)" (signed numbers separated by blanks).
std::optional<std::pair<float, float>> Translation(std::string_view text);
// The angle of "rotate(a x y)".
std::optional<float> RotationAngle(std::string_view text);
// Parses a colour into `argb`; false (and `argb` unchanged) when the text is no colour.
bool ParseSvgColour(std::string_view text, std::uint32_t& argb);
// The deepest element nesting of an XML text, counted without building the tree.
int NestingDepth(std::string_view xml);
} // namespace svg

} // namespace KEL
