#include "PrintableSvgSubset.h"

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include "plotcontrol/svg/PrintableSvgRenderer.h"

namespace vx::e2e {

namespace {

using Tree = boost::property_tree::ptree;

// The attributes the reader reads of each element it draws or keeps.
const std::map<std::string, std::set<std::string>>& Attributes()
{
    static const std::map<std::string, std::set<std::string>> table = {
        { "svg", { "xmlns", "xmlns:xlink", "width", "height" } },
        { "g", { "clip-path", "transform" } },
        { "rect", { "x", "y", "width", "height", "style", "filter" } },
        { "path", { "d", "style" } },
        { "clipPath", { "id" } },
        { "filter", { "id" } },
        { "feGaussianBlur", { "in", "stdDeviation" } },
        { "defs", {} },
        { "use", { "xlink:href", "x", "y", "style" } },
        { "circle", { "cx", "cy", "r", "style" } },
        { "line", { "x1", "y1", "x2", "y2", "style" } },
        { "ellipse", { "cx", "cy", "rx", "ry", "transform", "style" } },
        { "text", { "x", "y", "text-anchor", "dominant-baseline", "transform", "style" } },
    };
    return table;
}

const std::set<std::string> kNumeric
    = { "x", "y", "width", "height", "x1", "y1", "x2", "y2", "cx", "cy", "r", "rx", "ry", "stdDeviation" };
const std::set<std::string> kDrawn = { "rect", "path", "use", "circle", "line", "ellipse", "text" };
const std::vector<std::string> kStyle = { "fill", "fill-opacity", "stroke", "stroke-opacity", "stroke-width",
    "stroke-dasharray", "font-size", "font-family" };

const std::regex kDecimal(R"(-?[0-9]+(\.[0-9]+)?)");
const std::regex kColour(R"(#[0-9a-f]{6}|rgba\([0-9]+,[0-9]+,[0-9]+,[0-9.]+\))");
const std::regex kRotate(R"(rotate\((-?[0-9]+(\.[0-9]+)?) -?[0-9]+(\.[0-9]+)? -?[0-9]+(\.[0-9]+)?\))");
const std::regex kTranslate(R"(translate\([0-9]+(\.[0-9]+)? [0-9]+(\.[0-9]+)?\))");

bool Decimal(const std::string& text)
{
    std::size_t used = 0;
    return std::regex_match(text, kDecimal) && KEL::svg::ReadNumber(text, used) && used == text.size();
}

bool PathData(const std::string& d)
{
    std::istringstream in(d);
    std::string word;
    int numbers = 0;
    bool first = true;
    while (in >> word) {
        if (word == "M" || word == "L") {
            if (numbers % 2 != 0 || (first && word != "M"))
                return false;
            first = false;
        } else if (first || !Decimal(word)) {
            return false;
        } else {
            ++numbers;
        }
    }
    return !first && numbers % 2 == 0;
}

class Checker {
public:
    std::vector<std::string> problems;

    void Element(const std::string& name, const Tree& node, const std::string& parent)
    {
        const auto known = Attributes().find(name);
        if (known == Attributes().end()) {
            problems.push_back("element " + name + " in " + parent);
            return;
        }
        const bool inClip = parent == "clipPath";
        const bool inFilter = parent == "filter";
        const bool defined = parent == "defs";
        if (inClip && name != "rect")
            problems.push_back(name + " inside a clip path");
        if (inFilter && name != "feGaussianBlur")
            problems.push_back(name + " inside a filter");
        if (name == "feGaussianBlur" && !inFilter)
            problems.push_back("feGaussianBlur outside a filter");

        std::map<std::string, std::string> attributes;
        if (auto a = node.get_child_optional("<xmlattr>"))
            for (const auto& [key, value] : *a)
                attributes[key] = value.data();
        for (const auto& [key, value] : attributes) {
            const bool idAllowed = key == "id" && (defined || name == "clipPath" || name == "filter");
            if (!known->second.count(key) && !idAllowed)
                problems.push_back(name + " attribute " + key);
            else if (kNumeric.count(key) && !Decimal(value))
                problems.push_back(name + " " + key + "=\"" + value + "\" is no plain decimal");
        }
        const auto attribute = [&](const char* key) {
            auto found = attributes.find(key);
            return found == attributes.end() ? std::string() : found->second;
        };

        if (defined) {
            if (attribute("id").empty())
                problems.push_back("definition " + name + " without an id");
            mDefinitionIds.insert(attribute("id"));
        }
        if (name == "svg") {
            for (const char* side : { "width", "height" })
                if (!attributes.count(side))
                    problems.push_back(std::string("svg without ") + side);
        } else if (name == "path") {
            if (!PathData(attribute("d")))
                problems.push_back("path d=\"" + attribute("d").substr(0, 60) + "\"");
        } else if (name == "g") {
            if (attributes.count("transform")
                && !(std::regex_match(attribute("transform"), kTranslate)
                    && KEL::svg::Translation(attribute("transform"))))
                problems.push_back("g transform=\"" + attribute("transform") + "\"");
            if (attributes.count("clip-path")) {
                auto id = KEL::svg::UrlId(attribute("clip-path"));
                if (!id || !mClipIds.count(*id))
                    problems.push_back("g clipped by an unknown clip path " + attribute("clip-path"));
            }
        } else if (name == "clipPath") {
            if (attribute("id").empty())
                problems.push_back("clipPath without an id");
            mClipIds.insert(attribute("id"));
        } else if (name == "use") {
            const std::string href = attribute("xlink:href");
            if (href.size() < 2 || href[0] != '#' || !mDefinitionIds.count(href.substr(1)))
                problems.push_back("use of an unknown definition \"" + href + "\"");
        } else if (name == "text" || name == "ellipse") {
            if (attributes.count("transform")
                && !(std::regex_match(attribute("transform"), kRotate)
                    && KEL::svg::RotationAngle(attribute("transform"))))
                problems.push_back(name + " transform=\"" + attribute("transform") + "\"");
        }
        if (name == "text") {
            static const std::set<std::string> anchors = { "", "start", "middle", "end" };
            static const std::set<std::string> baselines = { "", "middle", "text-after-edge", "text-before-edge" };
            if (!anchors.count(attribute("text-anchor")))
                problems.push_back("text-anchor " + attribute("text-anchor"));
            if (!baselines.count(attribute("dominant-baseline")))
                problems.push_back("dominant-baseline " + attribute("dominant-baseline"));
        }
        if (kDrawn.count(name) && !inClip)
            Style(name, attribute("style"));

        for (const auto& [childName, child] : node) {
            if (childName.empty() || childName[0] == '<')
                continue;
            if (name == "text")
                problems.push_back("element " + childName + " inside text");
            else
                Element(childName, child, name);
        }
    }

private:
    void Style(const std::string& element, const std::string& style)
    {
        std::map<std::string, std::string> properties;
        std::istringstream in(style);
        for (std::string part; std::getline(in, part, ';');) {
            const auto colon = part.find(':');
            if (colon == std::string::npos)
                continue;
            properties[part.substr(0, colon)] = part.substr(colon + 1);
        }
        for (const std::string& p : kStyle)
            if (!properties.count(p))
                problems.push_back(element + " style without " + p);
        for (const auto& [key, value] : properties) {
            bool good = true;
            if (key == "fill")
                good = value == "none" || std::regex_match(value, kColour);
            else if (key == "stroke")
                good = std::regex_match(value, kColour);
            else if (key == "fill-opacity" || key == "stroke-opacity" || key == "stroke-width" || key == "font-size")
                good = Decimal(value);
            else if (key == "stroke-dasharray") {
                std::istringstream parts(value);
                for (std::string n; std::getline(parts, n, ',');)
                    good = good && Decimal(n);
            } else if (key == "font-family")
                good = !value.empty() && value.find('"') == std::string::npos;
            else
                problems.push_back(element + " style property " + key);
            if (!good)
                problems.push_back(element + " " + key + ":" + value);
        }
    }

    std::set<std::string> mClipIds;
    std::set<std::string> mDefinitionIds;
};

} // namespace

std::vector<std::string> OutsidePrintableSubset(const std::string& svg)
{
    Tree tree;
    try {
        std::istringstream in(svg);
        in.imbue(std::locale::classic());
        boost::property_tree::read_xml(in, tree);
    } catch (const std::exception& e) {
        return { std::string("not XML: ") + e.what() };
    }
    Checker checker;
    int roots = 0;
    for (const auto& [name, node] : tree) {
        if (name.empty() || name[0] == '<')
            continue;
        ++roots;
        if (name != "svg")
            checker.problems.push_back("root element " + name);
        else
            checker.Element(name, node, "");
    }
    if (roots != 1)
        checker.problems.push_back("not one root element");
    return checker.problems;
}

} // namespace vx::e2e
