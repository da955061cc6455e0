#include "hrv/document/VarnChildDocument.h"

#include "hostframework/events/ComQuery.h"

VarnChildDocument::VarnChildDocument(IUnknown* parent, IUnknown* classObject, DWORD flags)
    : CAFDocument(parent, classObject, flags)
{
    mRecording = vx::hf::Query<HRV::IRecordingDocument>(parent).Detach();
    if (mRecording)
        mHost = mRecording->DocumentHost();
}

VarnChildDocument::~VarnChildDocument()
{
    LetGoOfRecording();
}

void VarnChildDocument::LetGoOfRecording()
{
    mHost = nullptr;
    if (auto* recording = mRecording) {
        mRecording = nullptr;
        recording->Release();
    }
}

HRESULT VarnChildDocument::DisconnectSender()
{
    LetGoOfRecording();
    return CAFDocument::DisconnectSender();
}
