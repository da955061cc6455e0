// The message class root's two text operations against a recording sink and text writer.
#include <gtest/gtest.h>

#include <deque>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/messages/MsgIdMessageClassObjectRootImpl.h"

using KEL::MsgIdMessageClassObjectRootImpl;
using KEL::String;
using Log = std::vector<std::wstring>;

namespace {

std::wstring Text(IKELString* rep)
{
    return rep ? String(rep).ToWString() : L"(null)";
}

// Answers each call with the next scripted result, S_OK when the script is used up.
class Script {
public:
    explicit Script(std::deque<HRESULT> results = {})
        : mResults(std::move(results))
    {
    }
    HRESULT Next()
    {
        if (mResults.empty())
            return S_OK;
        const HRESULT hr = mResults.front();
        mResults.pop_front();
        return hr;
    }

private:
    std::deque<HRESULT> mResults;
};

class Sink final : public SimpleUnknownImp1<IMessageLineSink, 1> {
public:
    HRESULT WriteLine(IKELString* line, std::uintptr_t argument) override
    {
        lines.push_back(Text(line) + L"@" + std::to_wstring(argument));
        return script.Next();
    }
    Log lines;
    Script script;
};

// Builders record their calls in the writer's log and give a fixed text.
template <class I> class Builder : public SimpleUnknownImp1<I, 0> {
public:
    Builder(Log& log, std::wstring name)
        : mLog(log)
        , mName(std::move(name))
    {
    }
    HRESULT GetText(IKELString** out) override
    {
        *out = String(mName).CopyRep();
        return S_OK;
    }

protected:
    void Record(const std::wstring& call) { mLog.push_back(mName + L"." + call); }

private:
    Log& mLog;
    std::wstring mName;
};

class Statement final : public Builder<IStatementBuilder> {
public:
    using Builder::Builder;
    HRESULT Begin(IKELString* object, IKELString* className) override
    {
        Record(L"begin(" + Text(object) + L"," + Text(className) + L")");
        return S_OK;
    }
    HRESULT AddParameter(IKELString* text, IKELString* values, int type) override
    {
        Record(L"param(" + Text(text) + L"|" + Text(values) + L"|" + std::to_wstring(type) + L")");
        return S_OK;
    }
};

class Declaration final : public Builder<IDeclarationBuilder> {
public:
    using Builder::Builder;
    HRESULT SetName(IKELString* name) override
    {
        Record(L"name(" + Text(name) + L")");
        return S_OK;
    }
    HRESULT AddField(IKELString* field) override
    {
        Record(L"field(" + Text(field) + L")");
        return S_OK;
    }
};

class Value final : public Builder<IValueBuilder> {
public:
    using Builder::Builder;
    HRESULT SetName(IKELString* name) override
    {
        Record(L"name(" + Text(name) + L")");
        return S_OK;
    }
    HRESULT SetValue(IKELString* value, int type) override
    {
        Record(L"value(" + Text(value) + L"|" + std::to_wstring(type) + L")");
        return S_OK;
    }
};

class Writer final : public SimpleUnknownImp1<IMessageTextWriter, 1> {
public:
    HRESULT Write(IKELString* text, DWORD flags) override
    {
        log.push_back(L"write(" + Text(text) + L"|" + std::to_wstring(flags) + L")");
        return writes.Next();
    }
    HRESULT GetStatementBuilder(IStatementBuilder** out) override { return Hand(new Statement(log, L"stmt"), out); }
    HRESULT GetDeclarationBuilder(IDeclarationBuilder** out) override
    {
        return Hand(new Declaration(log, L"decl"), out);
    }
    HRESULT GetValueBuilder(IValueBuilder** out) override { return Hand(new Value(log, L"value"), out); }
    HRESULT GetObjectText(IKELString** out) override
    {
        *out = objectText.empty() ? nullptr : String(objectText).CopyRep();
        return objectResult;
    }

    Log log;
    Script writes;
    std::wstring objectText = L"Doc";
    HRESULT objectResult = S_OK;

private:
    template <class I, class B> static HRESULT Hand(B* builder, I** out)
    {
        builder->AddRef();
        *out = builder;
        return S_OK;
    }
};

MsgIdMessageClassObjectRootImpl Message(const wchar_t* name, const wchar_t* description = L"")
{
    return MsgIdMessageClassObjectRootImpl(256, name, description, L"", 0, 0, L"");
}

} // namespace

TEST(MessageClassRoot, KeepsWhatItWasGiven)
{
    MsgIdMessageClassObjectRootImpl root(258, L"HRV_ReselectAnalyzedRegion", L"Reselects", L"string,a,b", 1, 2, L"x");
    EXPECT_EQ(root.Number(), 258u);
    EXPECT_EQ(root.Name(), L"HRV_ReselectAnalyzedRegion");
    EXPECT_EQ(root.Description(), L"Reselects");
    EXPECT_EQ(root.ParameterDescription(), L"string,a,b");
    EXPECT_EQ(root.Value1(), 1u);
    EXPECT_EQ(root.Value2(), 2u);
    EXPECT_EQ(root.Extra(), L"x");
    EXPECT_EQ(MsgIdMessageClassObjectRootImpl::ParamTypeFromName(L"rect"), 4);
}

TEST(MessageClassRoot, DescriptionGoesToTheSinkLineByLine)
{
    Sink sink;
    const auto root = Message(L"HRV_Analyze", L"Performs the analysis");
    EXPECT_EQ(root.DescribeMessage(L"string,First;a,,bool,Second,,rect,Third,", &sink, 9), S_OK);
    EXPECT_EQ(sink.lines,
        (Log { L"Name:        HRV_Analyze@9", L"Description: Performs the analysis@9", L"Parameters:  First,a,@9",
            L"             Second,@9", L"             Third@9" }));
    // An empty description writes no "Description: " line.
    sink.lines.clear();
    EXPECT_EQ(Message(L"M").DescribeMessage(L"", &sink, 0), S_OK);
    EXPECT_EQ(sink.lines, Log { L"Name:        M@0" });
    EXPECT_EQ(root.DescribeMessage(L"", nullptr, 0), E_POINTER);
}

TEST(MessageClassRoot, DescriptionWritesEveryLineAndReportsTheFirstFailure)
{
    const auto root = Message(L"M", L"D");
    struct Case {
        const char* what;
        std::deque<HRESULT> answers;
        HRESULT result;
    };
    const Case cases[] = {
        { "all succeed", { S_OK, S_OK, S_OK }, S_OK },
        { "last answer when none fails", { S_OK, S_OK, S_FALSE }, S_FALSE },
        { "early failure is not hidden", { E_ACCESSDENIED, S_OK, S_OK }, E_ACCESSDENIED },
        { "first of two failures", { S_OK, E_OUTOFMEMORY, E_FAIL }, E_OUTOFMEMORY },
    };
    for (const Case& c : cases) {
        Sink sink;
        sink.script = Script(c.answers);
        EXPECT_EQ(root.DescribeMessage(L"string,P,", &sink, 0), c.result) << c.what;
        EXPECT_EQ(sink.lines.size(), 3u) << c.what; // every line was written
    }
    Sink silent;
    EXPECT_EQ(Message(L"").DescribeMessage(L"", &silent, 0), S_OK);
    EXPECT_TRUE(silent.lines.empty());
}

TEST(MessageClassRoot, MessageIsWrittenAsOneStatement)
{
    Writer writer;
    writer.writes = Script({ S_FALSE });
    // A type name in capitals gives the same type code as in lower case.
    EXPECT_EQ(Message(L"HRV_Analyze").WriteMessageText(L"STRING,Title;x,a;;b,Bool,Show,yes", &writer, 3), S_FALSE);
    EXPECT_EQ(writer.log,
        (Log { L"stmt.begin(Doc,HRV_Analyze)", L"stmt.param(Title,x|a,b|2)", L"stmt.param(Show|yes|5)",
            L"write(stmt|3)" }));
}

TEST(MessageClassRoot, NothingIsWrittenWithoutTargetObjectTextOrName)
{
    EXPECT_EQ(Message(L"M").WriteMessageText(L"", nullptr, 0), E_FAIL);
    Writer noObject;
    noObject.objectText.clear();
    noObject.objectResult = S_FALSE;
    EXPECT_EQ(Message(L"M").WriteMessageText(L"string,a,b", &noObject, 0), S_FALSE);
    EXPECT_TRUE(noObject.log.empty());
    Writer noName;
    EXPECT_EQ(Message(L"").WriteMessageText(L"string,a,b", &noName, 0), S_OK);
    EXPECT_TRUE(noName.log.empty());
}

TEST(MessageClassRoot, SafeArrayOrRectSwitchesToTheBracketedForm)
{
    const wchar_t* parameters = L"string,Title,a,SafeArray,Data values,1;;2;;3,rect,Area,";
    const Log body {
        L"stmt.begin(Doc,M)",
        L"stmt.param(Title|a|2)",
        L"decl.name(Title)",
        L"decl.field(string)",
        L"decl.field(Title)",
        L"decl.field(a)",
        L"write(decl|0)",
        L"value.name(Title)",
        L"value.value(a|2)",
        L"write(value|0)",
        L"decl.name(Data values)",
        L"decl.field(SafeArray)",
        L"decl.field(Data values)",
        L"decl.field(1;;2;;3)",
        L"write(decl|0)",
        L"value.name(Data)",
        L"value.value(1,2,3|3)",
        L"write(value|0)",
        L"decl.name(Area)",
        L"decl.field(rect)",
        L"decl.field(Area)",
        L"decl.field({{}})",
        L"write(decl|0)",
        L"value.name(Area)",
        L"value.value(|4)",
        L"write(value|0)",
        L"write(stmt|0)",
    };
    Writer writer;
    EXPECT_EQ(Message(L"M").WriteMessageText(parameters, &writer, 0), S_OK);
    Log expected = body;
    expected.insert(expected.begin() + 2, L"write(' Begin M\n|0)");
    expected.push_back(L"write(' End M\n\n|0)");
    EXPECT_EQ(writer.log, expected);

    // Without comment lines; the first failed write is the result, later writes still happen.
    Writer quiet;
    quiet.writes = Script({ S_OK, E_ACCESSDENIED });
    const DWORD flags = MsgIdMessageClassObjectRootImpl::kNoCommentLines;
    EXPECT_EQ(Message(L"M").WriteMessageText(parameters, &quiet, flags), E_ACCESSDENIED);
    Log withFlags = body;
    for (std::wstring& line : withFlags)
        if (line.ends_with(L"|0)") && line.starts_with(L"write("))
            line.replace(line.size() - 2, 1, std::to_wstring(flags));
    EXPECT_EQ(quiet.log, withFlags);
}
