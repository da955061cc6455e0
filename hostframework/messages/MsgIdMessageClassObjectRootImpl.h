#pragma once
// The root of every named message class object: the message's number, name, description and
// parameter description, and the two text operations the host's message machinery asks of a
// message class (describing the message as readable lines, writing a message as a statement).
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/String.h"
#include "hostframework/interfaces/MessageTextInterfaces.h"

namespace KEL {

class MsgIdMessageClassObjectRootImpl {
public:
    // Flags of WriteMessageText: write the bracketed form without its comment lines.
    static constexpr DWORD kNoCommentLines = 0x10000000u;

    MsgIdMessageClassObjectRootImpl(DWORD number, String name, String description, String parameterDescription,
        DWORD value1, DWORD value2, String extra);
    virtual ~MsgIdMessageClassObjectRootImpl();

    static int ParamTypeFromName(const String& name);

    // Hands each readable line to the sink, one line per call. Every line is written even when
    // the sink fails one; the result is the sink's first failure, else its answer to the last
    // line (S_OK when there is nothing to write). E_POINTER for a null sink.
    HRESULT DescribeMessage(const String& parameterText, IMessageLineSink* sink, std::uintptr_t argument) const;

    // Writes a message with the given parameter text as a statement through the target. E_FAIL
    // for a null target (or one without a statement builder). When the class name or the
    // target's object text is empty, nothing is written and the target's answer is returned.
    // A "safearray" or "rect" parameter switches to the bracketed form.
    HRESULT WriteMessageText(const String& parameterText, IMessageTextWriter* target, DWORD flags) const;

    DWORD Number() const { return mNumber; }
    const String& Name() const { return mName; }
    const String& Description() const { return mDescription; }
    const String& ParameterDescription() const { return mParameterDescription; }
    DWORD Value1() const { return mValue1; }
    DWORD Value2() const { return mValue2; }
    const String& Extra() const { return mExtra; }

protected:
    // One declaration and one value per parameter, then the statement, between comment lines
    // (unless kNoCommentLines). Returns the first failed write, else the last write's answer.
    HRESULT WriteBracketedMessageText(const std::vector<std::wstring>& fields, IMessageTextWriter* target,
        IStatementBuilder* statement, DWORD flags) const;

private:
    DWORD mNumber;
    String mName;
    String mDescription;
    String mParameterDescription;
    DWORD mValue1;
    DWORD mValue2;
    String mExtra;
};

} // namespace KEL
