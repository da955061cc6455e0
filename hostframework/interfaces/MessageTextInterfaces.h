#pragma once
// The host's text machinery for messages: a sink for readable description lines, and the text
// writer that turns a message into a statement of the host's macro text with its builders.
// These ids are the stand-in host's own.
#include <cstdint>

#include "com/Unknown.h"
#include "foundation/IKELString.h"

// Takes the lines that describe a message, one line per call.
struct IMessageLineSink : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{1213781C-6CC0-4FEB-B5CC-F3A1A89F8D32}");
    virtual HRESULT WriteLine(IKELString* line, std::uintptr_t argument) = 0;

protected:
    ~IMessageLineSink() = default;
};

// Builds the statement that sends a message: the object it is sent to, the class name and the
// parameters.
struct IStatementBuilder : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5F54FC98-662D-4D96-B2F4-A4B23FAED301}");
    virtual HRESULT Begin(IKELString* objectText, IKELString* className) = 0;
    virtual HRESULT AddParameter(IKELString* parameterText, IKELString* values, int typeCode) = 0;
    virtual HRESULT GetText(IKELString** out) = 0;

protected:
    ~IStatementBuilder() = default;
};

// Builds the declaration of one parameter for the bracketed form.
struct IDeclarationBuilder : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{9825CB9E-46BA-4D11-9822-3C2C26FF8854}");
    virtual HRESULT SetName(IKELString* name) = 0;
    virtual HRESULT AddField(IKELString* field) = 0;
    virtual HRESULT GetText(IKELString** out) = 0;

protected:
    ~IDeclarationBuilder() = default;
};

// Builds the assignment of one parameter's value for the bracketed form.
struct IValueBuilder : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{89F13E1C-B9E5-48FD-9FB5-8737A95C7E3B}");
    virtual HRESULT SetName(IKELString* name) = 0;
    virtual HRESULT SetValue(IKELString* value, int typeCode) = 0;
    virtual HRESULT GetText(IKELString** out) = 0;

protected:
    ~IValueBuilder() = default;
};

// Where a message is written as text.
struct IMessageTextWriter : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{C3746F4C-FB6A-47EF-AECE-5CC155EC7C2E}");
    virtual HRESULT Write(IKELString* text, DWORD flags) = 0;
    virtual HRESULT GetStatementBuilder(IStatementBuilder** out) = 0;
    virtual HRESULT GetDeclarationBuilder(IDeclarationBuilder** out) = 0;
    virtual HRESULT GetValueBuilder(IValueBuilder** out) = 0;
    // The text naming the object the message is sent to.
    virtual HRESULT GetObjectText(IKELString** out) = 0;

protected:
    ~IMessageTextWriter() = default;
};
