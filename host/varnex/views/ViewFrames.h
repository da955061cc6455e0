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
    // `document` (may be null; held by the frames' sites) is the extension's document the views
    // show: what a site does not answer itself is asked of it. `hostDocument` (may be null; not
    // held) is the host document handed to the view classes as the views are made.
    explicit ViewFrames(
        std::vector<IUnknown*> classObjects, IUnknown* document = nullptr, IUnknown* hostDocument = nullptr);
    ~ViewFrames(); // closes every view and its frame
    ViewFrames(const ViewFrames&) = delete;
    ViewFrames& operator=(const ViewFrames&) = delete;

    // Opens a view of the class in a new frame and shows it. E_INVALIDARG when no registered view
    // class has the id; the class's failure when it makes no view.
    HRESULT Open(DWORD classId);
    void CloseAll();
    // An update of the document (analysis changing or changed, with its change kind) for every
    // open view; then each view's refresh latch is reset, so the next change refreshes again.
    void DeliverUpdate(DWORD messageId, DWORD code);
    // A command for one view (Copy, Print); S_FALSE when the view has no handler for it.
    static HRESULT SendCommand(IDocView2* view, DWORD command);
    // The view last opened, or null.
    IDocView2* LastView() const;
    // The host's Copy and Print for the view last opened, as that view's family takes them: the
    // plot views copy with their own command (SetPlotCopyCommand) and print with 0x80010008, the
    // report view copies with 0x80010008 and prints with 0x8001000B. S_FALSE without a view.
    enum class MenuCommand { Copy, Print };
    HRESULT RunMenuCommand(MenuCommand command);
    void SetPlotCopyCommand(DWORD id) noexcept { mPlotCopy = id; }
    // The view's class name ("HRV Tachogram View"); empty when it has none.
    static std::wstring ClassNameOf(IDocView2* view);
    const std::vector<caf::HostViewSite*>& Sites() const noexcept { return mSites; }
    // A screenshot of each view's frame in `folder`, named after the view's class; empty on
    // success, else what failed.
    std::string Screenshots(const std::string& folder) const;
    // One line per open view: its title and its window's size.
    std::wstring Describe() const;

    // Tells every open view of an event of the document (an analysis that changed).
    void Notify(DWORD eventId, ULONGLONG value);
    // The frame window of the view last opened; null when none.
    vx::ui::HWND ActiveFrame() const;
    // Sends a message to the active view; S_FALSE when no view took it, E_FAIL without a view.
    HRESULT SendToActiveView(DWORD messageId);
    // Asks the active view for the state and text of a command; false without a view or when the
    // view has no say on it.
    bool EnableOnActiveView(DWORD commandId, bool& enabled, std::wstring& text);

private:
    // The open views, each with a reference the caller lets go of.
    std::vector<IDocView2*> HeldViews() const;
    // A message to a view's handler: its answer, or E_FAIL when the view handles no messages.
    static HRESULT SendMessageTo(IDocView2* view, DWORD messageId, DWORD code);

    std::vector<IUnknown*> mClassObjects;
    IUnknown* mDocument; // not held
    IUnknown* mHostDocument; // not held
    DWORD mPlotCopy = 0;
    std::vector<caf::HostViewSite*> mSites; // held
};

} // namespace varnex
