#pragma once
// The host's side of documents and views: the counterparts it pairs with an extension's
// documents, document classes and view classes, the host document (a recording) that opens
// extension documents through their class objects and routes messages to them, and the view
// site, frame and client in which extension views live.
#include <string>
#include <vector>

#include "caf/CafHost.h"
#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/DocViewInterfaces.h"

namespace caf {

// The host's counterpart of one extension document. What the document's own table leaves
// alone ends here: the host has no default handling for messages or commands. Its subject is
// the host document's: updates that the document sends reach the host document's observers.
class DocumentCounterpart final : public SimpleUnknownImp1<IMessageHandler, 0>,
                                  public IObserver,
                                  public ISubject,
                                  public ICAFCommandHandler {
public:
    // `hostDocument` (not held: it owns the extension document, which holds this counterpart).
    DocumentCounterpart(IUnknown* hostDocument, ISubject* hostSubject);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return SimpleUnknownImp1::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1::Release(); }

    // IMessageHandler: nothing is handled here.
    HRESULT HandleMessage(IMessage* message) override;
    HRESULT AddHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT RemoveHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT SetParent(IMessageHandler*) override { return S_OK; }
    HRESULT GetSource(IMessageHandler** out) override;
    HRESULT Accepts(IMessage*) override { return S_OK; }
    // IObserver
    HRESULT OnAttach(ISubject*) override { return S_OK; }
    HRESULT OnNotify(ISubject*, DWORD, ULONGLONG, ULONGLONG) override { return S_OK; }
    // ISubject: the host document's subject in the host's registry.
    HRESULT Notify(DWORD eventId, ULONGLONG value) override;
    HRESULT Attach(IObserver* observer) override;
    HRESULT Detach(IObserver* observer) override;
    HRESULT AttachForEvent(IObserver* observer, DWORD eventId, LONG flags) override;
    // ICAFCommandHandler: no command of the host's own.
    HRESULT OnCommand(DWORD) override { return S_FALSE; }
    HRESULT OnCommandEnable(DWORD, ICommandEnabler*) override { return S_FALSE; }
    HRESULT OnCommandNotify(DWORD, DWORD, ULONGLONG, ULONGLONG) override { return S_FALSE; }
    // The messages the extension document passed on to the host, by id.
    const std::vector<DWORD>& PassedOn() const noexcept { return mPassedOn; }

private:
    ISubject* mHostSubject; // not held
    std::vector<DWORD> mPassedOn;
};

// The counterpart of a document class: answers the class's data and has no commands.
class DocumentClassCounterpart final : public SimpleUnknownImp2<IDocumentClassData, ICAFCommandHandler, 0> {
public:
    explicit DocumentClassCounterpart(IUnknown* classObject)
        : mClassObject(classObject)
    {
    }
    HRESULT GetClassGuid(const GUID** out) override;
    HRESULT OnCommand(DWORD) override { return S_FALSE; }
    HRESULT OnCommandEnable(DWORD, ICommandEnabler*) override { return S_FALSE; }
    HRESULT OnCommandNotify(DWORD, DWORD, ULONGLONG, ULONGLONG) override { return S_FALSE; }

private:
    IUnknown* mClassObject; // not held: the class object holds this counterpart
};

// The counterpart of a view class: counts what it is told about initialisation.
class ViewClassCounterpart final : public SimpleUnknownImp2<IViewClassLink, ICAFCommandHandler, 0> {
public:
    HRESULT ViewInitialised(IDocView2*) override;
    HRESULT ClassInitialised() override;
    HRESULT OnCommand(DWORD) override { return S_FALSE; }
    HRESULT OnCommandEnable(DWORD, ICommandEnabler*) override { return S_FALSE; }
    HRESULT OnCommandNotify(DWORD, DWORD, ULONGLONG, ULONGLONG) override { return S_FALSE; }

    DWORD InitialisedViews() const noexcept { return mViews; }
    bool ClassIsInitialised() const noexcept { return mClassInitialised; }

private:
    DWORD mViews = 0;
    bool mClassInitialised = false;
};

// The factory object behind the three counterpart class keys (0x80000011, 0x80000012,
// 0x8000000F). Null for any other key.
IUnknown* CounterpartFactoryFor(DWORD classKey);

// A host document: one recording. It is a subject (its events reach the observers the
// extension documents subscribe) and opens extension documents through their class objects.
// The recording's own object, when given, answers what the host document itself does not (the
// recording document and the services an extension document asks of its parent).
class HostDocument final : public SimpleUnknownImp2<IHostDocumentData, ISubject, 0>, public IHostDocumentLink {
public:
    // `recording` is held for the host document's life.
    explicit HostDocument(std::wstring title, IUnknown* recording = nullptr);
    ~HostDocument() override;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return SimpleUnknownImp2::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp2::Release(); }

    HRESULT GetTitle(IKELString** out) override;
    HRESULT Notify(DWORD eventId, ULONGLONG value) override;
    HRESULT Attach(IObserver* observer) override;
    HRESULT Detach(IObserver* observer) override;
    HRESULT AttachForEvent(IObserver* observer, DWORD eventId, LONG flags) override;
    // IHostDocumentLink: an extension document asks its host document for the host document
    // (itself, with a reference).
    HRESULT GetHostDocument(IUnknown** out) override;

    // Asks the document class to make its document for this recording, puts the document among
    // the receivers of routed messages and attaches it as an observer of this recording.
    // Returns the document (held by this host document), or null with the class's failure.
    ICustomDocument2* OpenDocument(ICustomDocClass* documentClass, DWORD flags, HRESULT* result = nullptr);
    // The same, for the registered document class whose class GUID is `classGuid`.
    ICustomDocument2* OpenDocument(REFGUID classGuid, DWORD flags, HRESULT* result = nullptr);
    // Takes every document out of routing and observation and lets go of it.
    void CloseDocuments();
    const std::vector<ICustomDocument2*>& Documents() const noexcept { return mDocuments; }

private:
    std::wstring mTitle;
    IUnknown* mRecording; // held
    std::vector<ICustomDocument2*> mDocuments; // held
};

// The registered document class object whose class GUID is `classGuid`, with a reference for
// the caller, or null.
ICustomDocClass* FindDocumentClass(REFGUID classGuid);

// The frame around the host's views.
class HostViewFrame final : public SimpleUnknownImp1<IViewFrame, 0> {
public:
    HRESULT CanPrint(WORD* canPrint) override;
    HRESULT GetCaption(IKELString** out) override;
    HRESULT ViewMessage() override
    {
        ++viewMessages;
        return S_OK;
    }
    // Whether the frame's views may print; the messages its views passed on.
    bool printable = true;
    int viewMessages = 0;
};

// The client object in which an extension view puts its window: a child window of the view
// site's frame that the extension's window fills.
class HostClient final : public SimpleUnknownImp1<IHostClient, 0> {
public:
    explicit HostClient(WindowHandle window)
        : mWindow(window)
    {
    }
    HRESULT GetParentWindow(WindowHandle* out) override;
    HRESULT LetGo() override { return S_OK; }
    WindowHandle Window() const noexcept { return mWindow; }

private:
    WindowHandle mWindow;
};

// Where the host keeps its views: a frame window in which each view gets a client window of its
// own; opens views through their view classes, answers their questions and lets go of them when
// they close. Views hold the site until they close: close them (CloseViews) before letting go.
class HostViewSite final : public SimpleUnknownImp1<IViewSite, 0> {
public:
    // `document` (may be null; held while the site lives) is the document the site's views show:
    // what the site does not answer itself is asked of it.
    explicit HostViewSite(IUnknown* document = nullptr);
    ~HostViewSite() override;

    HRESULT QueryInterface(REFIID iid, void** out) override;

    HRESULT GetFrame(IViewFrame** out) override;
    HRESULT QueryClose(IDocView2* view, WORD* canClose) override;
    HRESULT ViewClosed(IDocView2* view) override;
    HRESULT ViewInitialised(IDocView2* view, IViewSite* site) override;

    // Makes a view of the class (of `document`, the host document it shows, when given), attaches
    // it to a client window, puts it among the receivers of routed messages and initialises it.
    // The view is held by the site until it closes.
    IDocView2* OpenView(IDocViewClass* viewClass, HRESULT* result = nullptr, IUnknown* document = nullptr);
    // Closes every open view, last opened first.
    void CloseViews();
    // The open views, in the order they were opened.
    const std::vector<IDocView2*>& Views() const noexcept { return mViews; }
    // The frame window, and the client window of an open view (null for another view).
    WindowHandle Frame() const noexcept { return mFrameWindow; }
    HostViewFrame& FrameObject() const noexcept { return *mFrame; }
    WindowHandle ClientWindowOf(IDocView2* view) const;

private:
    WindowHandle mFrameWindow = nullptr;
    IUnknown* mDocument = nullptr; // held
    HostViewFrame* mFrame; // held
    std::vector<IDocView2*> mViews; // held
    std::vector<IClientWindow*> mWindows; // held, one per view
    std::vector<HostClient*> mClients; // held, one per view
};

} // namespace caf
