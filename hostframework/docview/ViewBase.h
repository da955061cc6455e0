#pragma once
// The window every extension view derives from. The host places it in one of its view frames; it
// answers the host's Copy and Print commands from what the derived view says, passes the frame's
// message on to the frame, keeps its place in the host (class, view number) and draws a size grip
// in its bottom-right corner, which also answers hit tests as the frame's sizing corner.
//
// A view class makes the window when the host attaches a view object to a client window, and
// connects the window's events to the view object (SetProxy): commands, messages and observer
// events for the view then reach the window's event table.
#include <string>

#include "foundation/String.h"
#include "hostframework/docview/DocView.h"
#include "hostframework/events/EventHandler.h"
#include "ui/Gdi.h"

class ViewBase : public IExtensionWindow, public CAFCppEventHandler {
public:
    // The host's command ids the base answers, and the frame's message it passes on.
    static constexpr DWORD kCmdCopy = 0x80170004u;
    static constexpr DWORD kCmdPrint = 0x80170000u;
    static constexpr DWORD kCmdThird = 0x80170001u;
    static constexpr DWORD kMsgToFrame = 0x8001000Du;

    // `viewClass` is the view's class object (its class id and name), `view` the view object (its
    // view number), `site` the view site (its frame). None is required; each is held.
    ViewBase(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module);
    ~ViewBase() override;
    ViewBase(const ViewBase&) = delete;
    ViewBase& operator=(const ViewBase&) = delete;

    // IExtensionWindow: a child window filling the parent's client area.
    bool Create() override;
    WindowHandle Handle() const override { return mHandle; }
    bool CanClose() override { return true; }
    void Destroy() override;

    // What the views say of the Copy and Print commands.
    virtual std::wstring GetCopyCommandText() = 0;
    virtual std::wstring GetPrintCommandText() = 0;
    // The host's frame says whether its view can be printed.
    virtual bool CanPrint();
    virtual bool CanCopy() { return true; }
    virtual bool IsThirdCommandEnabled() { return false; }

    // Paints the view's content; the base fills the client area with the window colour. The size
    // grip is drawn over it afterwards.
    virtual void PaintContent(vx::ui::DC& dc, const vx::ui::Rect& client);

    // WM_NCHITTEST: the size grip's square answers HTBOTTOMRIGHT unless the frame is maximised.
    vx::ui::LRESULT EvNCHitTest(vx::ui::Point screen);
    // The size grip's square, in client coordinates.
    vx::ui::Rect SizeGripRect() const;
    // The class id in the low 32 bits, the view object's first number in bits 32 to 47 and its
    // second number in bits 48 to 63; 0 without a class.
    ULONGLONG GetPackedDocPosition() const;
    // The class's name ("HRV Tachogram View"); empty when the class gives none.
    const KEL::String& ViewName() const noexcept { return mName; }
    IViewSite* Site() const noexcept { return mSite; }

    void SetDrawSizeGrip(bool on) noexcept { mDrawSizeGrip = on; }
    void SetHitTestSizeGrip(bool on) noexcept { mHitTestSizeGrip = on; }

    // Event table: Copy, Print and the third command's enablers, the frame's message. A view with
    // a table of its own searches it first and then this one (ViewBase::FindEntry).
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }

    void EnableCopy(ICommandEnabler*& enabler);
    void EnablePrint(ICommandEnabler*& enabler);
    void EnableThird(ICommandEnabler*& enabler);
    HRESULT PassToFrame();

    // The window procedure's handling of one message for this view: painting (PaintContent, then
    // the grip) and hit testing here; a view that handles more (the mouse) overrides it and passes
    // the rest on to the base.
    virtual vx::ui::LRESULT WindowProc(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam);
    static const wchar_t* ClassName();

private:
    bool FrameMaximised() const;
    IViewFrame* Frame() const; // with a reference, or null

    WindowHandle mParent;
    WindowHandle mHandle = nullptr;
    IViewSite* mSite = nullptr; // held
    IUnknown* mViewClass = nullptr; // held
    IUnknown* mView = nullptr; // held
    bool mDrawSizeGrip = true;
    bool mHitTestSizeGrip = true;
    KEL::String mName;
};

// A Print command text as the host's user interface shows it: in Spanish (primary language 10) a
// text that begins with "&Print" begins with "&Imprimir" instead.
std::wstring LocalisedPrintText(const std::wstring& text, WORD uiLanguage);
