#pragma once
// Reports of a document: the name the host gives a document's window, and the report text that
// an extension's report view shows, made without a window so that the host can also write it to
// a file.
#include "com/Bstr.h"
#include "com/Unknown.h"
#include "foundation/IKELString.h"

// Reached from the host's recording document: the name of the document's window.
struct IDocumentWindowName : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6786FCE0-0F95-11D1-8CC5-00C0D1570D74}");
    // *out gets a new BSTR, which the caller frees.
    virtual HRESULT GetWindowName(BSTR* out) = 0;

protected:
    ~IDocumentWindowName() = default;
};

// Asked of an extension's view class whose views show a report of a document.
struct IReportSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{9E3B7C54-2A61-4F0D-B8E2-5C71D04A93F6}");
    // The report of the host document `document` (a recording), as the report view would show it.
    // S_OK: *out is the report page (HTML). S_FALSE: *out is the sentence that tells the user why
    // there is no report. On failure *out is null.
    virtual HRESULT GetReport(IUnknown* document, IKELString** out) = 0;

protected:
    ~IReportSource() = default;
};
