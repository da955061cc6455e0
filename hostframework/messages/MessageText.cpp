#include "hostframework/messages/MessageText.h"

namespace KEL {

int ParamTypeFromName(std::wstring_view name)
{
    if (name == L"string")
        return kParamTypeString;
    if (name == L"safearray")
        return kParamTypeSafeArray;
    if (name == L"rect")
        return kParamTypeRect;
    if (name == L"bool")
        return kParamTypeBool;
    return kParamTypeOther;
}

std::vector<std::wstring> SplitMessageFields(std::wstring_view text)
{
    std::vector<std::wstring_view> pieces;
    if (text.empty())
        return {};
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(L',', start);
        pieces.push_back(
            text.substr(start, comma == std::wstring_view::npos ? std::wstring_view::npos : comma - start));
        if (comma == std::wstring_view::npos)
            break;
        start = comma + 1;
    }

    std::vector<std::wstring> fields;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::wstring_view piece = pieces[i];
        if (!piece.starts_with(L"{{")) {
            fields.emplace_back(piece);
            continue;
        }
        piece.remove_prefix(2);
        std::wstring field;
        for (;;) {
            const bool last = piece.ends_with(L"}}") || i + 1 == pieces.size();
            if (piece.ends_with(L"}}"))
                piece.remove_suffix(2);
            field += piece;
            if (last)
                break;
            field += L", ";
            piece = pieces[++i];
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

std::wstring ReplaceAllText(std::wstring_view text, std::wstring_view from, std::wstring_view to)
{
    if (from.empty())
        return std::wstring(text);
    std::wstring out;
    std::size_t start = 0;
    for (std::size_t at = text.find(from); at != std::wstring_view::npos; at = text.find(from, start)) {
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

std::vector<std::wstring> DescribeMessageLines(
    std::wstring_view name, std::wstring_view description, std::wstring_view parameterText)
{
    std::vector<std::wstring> lines;
    if (!name.empty())
        lines.push_back(std::wstring(kNameLabel) + std::wstring(name));
    if (!description.empty())
        lines.push_back(std::wstring(kDescriptionLabel) + std::wstring(description));
    if (parameterText.empty())
        return lines;
    const std::vector<std::wstring> fields = SplitMessageFields(parameterText);
    if (fields.empty() || fields.size() % 3 != 0)
        return lines;
    const std::size_t groups = fields.size() / 3;
    for (std::size_t g = 0; g < groups; ++g) {
        std::wstring line(g == 0 ? kParametersLabel : kContinuationIndent);
        line += ReplaceAllText(fields[3 * g + 1], L";", L",");
        if (g + 1 < groups)
            line += L",";
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace KEL
