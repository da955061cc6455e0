#include "hostframework/messages/MsgIdMessageClassObjectRootImpl.h"

#include <cwctype>

#include "hostframework/messages/MessageText.h"

namespace KEL {
namespace {

// Keeps the first failure of a series of calls, else the last answer.
class FirstFailure {
public:
    void operator()(HRESULT hr)
    {
        if (!mFailed)
            mResult = hr;
        mFailed = mFailed || FAILED(hr);
    }
    HRESULT Result() const { return mResult; }

private:
    HRESULT mResult = S_OK;
    bool mFailed = false;
};

std::wstring Lower(std::wstring_view text)
{
    std::wstring out(text);
    for (wchar_t& c : out)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}

// One parameter group as it is written: type code, parameter text and value list converted.
struct Parameter {
    int type;
    std::wstring text;
    std::wstring values;
};

Parameter ParameterOf(const std::vector<std::wstring>& fields, std::size_t group)
{
    return { KEL::ParamTypeFromName(Lower(fields[3 * group])), ReplaceAllText(fields[3 * group + 1], L";", L","),
        ReplaceAllText(fields[3 * group + 2], L";;", L",") };
}

// Takes over the reference of an IKELString that a host call handed out.
String Adopt(IKELString* rep)
{
    String text(rep);
    if (rep)
        rep->Release();
    return text;
}

// Writes the text a builder gives.
template <class Builder> HRESULT WriteBuilt(Builder* builder, IMessageTextWriter* target, DWORD flags)
{
    IKELString* rep = nullptr;
    builder->GetText(&rep);
    const String text = Adopt(rep);
    return target->Write(text.Rep(), flags);
}

} // namespace

MsgIdMessageClassObjectRootImpl::MsgIdMessageClassObjectRootImpl(DWORD number, String name, String description,
    String parameterDescription, DWORD value1, DWORD value2, String extra)
    : mNumber(number)
    , mName(std::move(name))
    , mDescription(std::move(description))
    , mParameterDescription(std::move(parameterDescription))
    , mValue1(value1)
    , mValue2(value2)
    , mExtra(std::move(extra))
{
}

MsgIdMessageClassObjectRootImpl::~MsgIdMessageClassObjectRootImpl() = default;

int MsgIdMessageClassObjectRootImpl::ParamTypeFromName(const String& name)
{
    return KEL::ParamTypeFromName(name.View());
}

HRESULT MsgIdMessageClassObjectRootImpl::DescribeMessage(
    const String& parameterText, IMessageLineSink* sink, std::uintptr_t argument) const
{
    if (!sink)
        return E_POINTER;
    FirstFailure result;
    for (const std::wstring& line : DescribeMessageLines(mName.View(), mDescription.View(), parameterText.View()))
        result(sink->WriteLine(String(line).Rep(), argument));
    return result.Result();
}

HRESULT MsgIdMessageClassObjectRootImpl::WriteMessageText(
    const String& parameterText, IMessageTextWriter* target, DWORD flags) const
{
    if (!target)
        return E_FAIL;
    IKELString* objectRep = nullptr;
    const HRESULT objectResult = target->GetObjectText(&objectRep);
    const String objectText = Adopt(objectRep);
    if (mName.IsEmpty() || objectText.IsEmpty())
        return objectResult;

    IStatementBuilder* statement = nullptr;
    if (FAILED(target->GetStatementBuilder(&statement)) || !statement)
        return E_FAIL;
    statement->Begin(objectText.Rep(), mName.Rep());
    const std::vector<std::wstring> fields = SplitMessageFields(parameterText.View());
    HRESULT result = S_OK;
    bool bracketed = false;
    for (std::size_t g = 0; g < fields.size() / 3; ++g) {
        const Parameter p = ParameterOf(fields, g);
        if (p.type == kParamTypeSafeArray || p.type == kParamTypeRect) {
            result = WriteBracketedMessageText(fields, target, statement, flags);
            bracketed = true;
            break;
        }
        statement->AddParameter(String(p.text).Rep(), String(p.values).Rep(), p.type);
    }
    if (!bracketed)
        result = WriteBuilt(statement, target, flags);
    statement->Release();
    return result;
}

HRESULT MsgIdMessageClassObjectRootImpl::WriteBracketedMessageText(const std::vector<std::wstring>& fields,
    IMessageTextWriter* target, IStatementBuilder* statement, DWORD flags) const
{
    const bool comments = (flags & kNoCommentLines) == 0;
    FirstFailure result;
    if (comments)
        result(target->Write(String(L"' Begin " + mName.ToWString() + L"\n").Rep(), flags));
    for (std::size_t g = 0; g < fields.size() / 3; ++g) {
        const Parameter p = ParameterOf(fields, g);
        IDeclarationBuilder* declaration = nullptr;
        if (SUCCEEDED(target->GetDeclarationBuilder(&declaration)) && declaration) {
            declaration->SetName(String(p.text).Rep());
            for (std::size_t f = 3 * g; f < 3 * g + 3; ++f)
                declaration->AddField(String(fields[f].empty() ? L"{{}}" : fields[f]).Rep());
            result(WriteBuilt(declaration, target, flags));
            declaration->Release();
        }
        IValueBuilder* value = nullptr;
        if (SUCCEEDED(target->GetValueBuilder(&value)) && value) {
            value->SetName(String(p.text.substr(0, p.text.find(L' '))).Rep());
            value->SetValue(String(p.values).Rep(), p.type);
            result(WriteBuilt(value, target, flags));
            value->Release();
        }
    }
    result(WriteBuilt(statement, target, flags));
    if (comments)
        result(target->Write(String(L"' End " + mName.ToWString() + L"\n\n").Rep(), flags));
    return result.Result();
}

} // namespace KEL
