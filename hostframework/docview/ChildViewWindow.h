#pragma once
// An extension view's window on the platform's window system: a child of the host's client
// window that fills it. View windows with drawing and event tables of their own build on it.
#include <string>

#include "hostframework/docview/DocView.h"

class ChildViewWindow : public IExtensionWindow {
public:
    ChildViewWindow(WindowHandle parent, std::wstring title);
    ~ChildViewWindow() override; // destroys the platform window if it is still there

    // Makes the child window, sized to the parent's client area. False without a live parent.
    bool Create() override;
    WindowHandle Handle() const override { return mHandle; }
    bool CanClose() override { return true; }
    void Destroy() override;

    // The window class of every view window.
    static const wchar_t* ClassName();

private:
    WindowHandle mParent;
    std::wstring mTitle;
    WindowHandle mHandle = nullptr;
};
