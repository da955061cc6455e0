#pragma once
// The base of an extension document that lives as a child of a host document (a recording): a
// framework document that also keeps the parent's recording document and the host services it
// hands out, so the derived document can reach them for its whole life.
#include "hostframework/docview/CAFDocument.h"
#include "hrv/document/DocumentHost.h"

class VarnChildDocument : public CAFDocument {
public:
    // `parent` is the host document; without one (or when it has no recording document) the
    // document has no host services.
    VarnChildDocument(IUnknown* parent, IUnknown* classObject, DWORD flags);
    ~VarnChildDocument() override;

    // Closing: lets go of the recording document and its services and disconnects the sender.
    HRESULT DisconnectSender() override;

protected:
    HRV::IRecordingDocument* RecordingDocument() const noexcept { return mRecording; }
    // The host's services, borrowed (the recording document keeps them alive); null without a
    // parent or after closing.
    HRV::IDocumentHost* Host() const noexcept { return mHost; }

private:
    void LetGoOfRecording();

    HRV::IRecordingDocument* mRecording = nullptr; // held
    HRV::IDocumentHost* mHost = nullptr; // borrowed
};
