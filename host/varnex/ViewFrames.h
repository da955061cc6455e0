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
    explicit ViewFrames(std::vector<IUnknown*> classObjects);
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

private:
    std::vector<IUnknown*> mClassObjects;
    std::vector<caf::HostViewSite*> mSites; // held
};

} // namespace varnex
