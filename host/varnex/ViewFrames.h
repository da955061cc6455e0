#pragma once
// The desktop host's view frames: when a document asks for a view, the host finds the view class
// with that class id among the extension's class objects and opens a view of it in a frame
// window of its own, captioned with the view's title.
#include <string>
#include <vector>

#include "caf/Documents.h"

namespace varnex {

class ViewFrames {
public:
    // `classObjects`: the extension's registered class objects (not held; they outlive this).
    // `document`: the host document whose views these are (not held; it outlives its views).
    explicit ViewFrames(std::vector<IUnknown*> classObjects, IUnknown* document = nullptr);
    ~ViewFrames(); // closes every view and its frame
    ViewFrames(const ViewFrames&) = delete;
    ViewFrames& operator=(const ViewFrames&) = delete;

    // Opens a view of the class in a new frame and shows it. E_INVALIDARG when no registered view
    // class has the id; the class's failure when it makes no view.
    HRESULT Open(DWORD classId);
    void CloseAll();
    const std::vector<caf::HostViewSite*>& Sites() const noexcept { return mSites; }
    // One line per open view: its title and its window's size.
    std::wstring Describe() const;

    // Tells every open view of an event of the document (an analysis that changed).
    void Notify(DWORD eventId, ULONGLONG value);
    // The view the host's Copy and Print commands act on: the last one opened; null when none.
    IDocView2* ActiveView() const;
    // The frame window of the active view; null when none.
    vx::ui::HWND ActiveFrame() const;
    // Sends a message to the active view; S_FALSE when no view took it, E_FAIL without a view.
    HRESULT SendToActiveView(DWORD messageId);
    // Asks the active view for the state and text of a command; false without a view or when the
    // view has no say on it.
    bool EnableOnActiveView(DWORD commandId, bool& enabled, std::wstring& text);

private:
    std::vector<IUnknown*> mClassObjects;
    IUnknown* mDocument;
    std::vector<caf::HostViewSite*> mSites; // held
};

} // namespace varnex
