#pragma once
// Data windows: the child window that holds a data pane and gives it its window services, routes
// the window's messages to it, scrolls with the arrow keys and shows the zoom cursor while Ctrl is
// held over a data window; the preview data window with its sampling strip, and the preview
// window that also keeps a list of trace drawers for its trace-mode buttons.
#include <memory>
#include <vector>

#include "tracedraw/PreviewPane.h"
#include "ui/Resources.h"

namespace VarnDraw {

// Commands of the arrow-key accelerators "VARNDRAWACCELS".
inline constexpr UINT kCmdLineLeft = 16802, kCmdLineRight = 16803, kCmdPageLeft = 16804, kCmdPageRight = 16805;
const vx::ui::AcceleratorTable& DataWindowAccelerators();

// What all data windows share: the process-wide key filter (the zoom cursor while Ctrl is held
// over a data window), installed with the first data window and removed with the last.
class DataWinBase {
public:
    DataWinBase();
    virtual ~DataWinBase();
    DataWinBase(const DataWinBase&) = delete;
    DataWinBase& operator=(const DataWinBase&) = delete;

    vx::ui::HWND Handle() const { return mHwnd; }
    static bool KeyFilterInstalled();
    static bool MouseInside();

protected:
    static vx::ui::LRESULT Proc(vx::ui::HWND, UINT, vx::ui::WPARAM, vx::ui::LPARAM);
    virtual vx::ui::LRESULT OnMessage(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam) = 0;
    vx::ui::HWND CreateWindowFor(vx::ui::HWND parent, const vx::ui::Rect& rect);
    static void SetMouseInside(bool inside);

    vx::ui::HWND mHwnd = nullptr;
};

// A window that is also its pane.
template <class Pane> class DataWin : public DataWinBase, public Pane {
public:
    template <class... Args>
    explicit DataWin(Args&&... args)
        : Pane(std::forward<Args>(args)...)
    {
    }
    ~DataWin() override;

    // Creates the child window; its set-up attaches the pane.
    bool Create(vx::ui::HWND parent, const vx::ui::Rect& rect);

    bool WsSetTimer(UINT id, UINT periodMs) override;
    void WsKillTimer(UINT id) override;
    void WsInvalidateRect(const vx::ui::Rect& rect, bool erase) override;
    void WsInvalidateAll(bool erase) override;
    bool WsScrollPixels(int dx, const vx::ui::Rect& rect) override;
    bool WsIsEnabled() override;
    std::unique_ptr<ScrollBar> WsCreateScrollBar() override;
    std::unique_ptr<ZoomControl> WsCreateZoomControl(DWORD argument) override;
    void WsMove(const vx::ui::Rect& rect) override;
    void WsUpdate() override;

    // Turns off painting (tests of the message routing, printing).
    bool paintingSuppressed = false;

protected:
    vx::ui::LRESULT OnMessage(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam) override;
    virtual bool OnCommand(UINT command);

    bool mTracking = false;
};

class PreviewDataWin : public DataWin<PreviewDataPane> {
public:
    explicit PreviewDataWin(IPaneDocument* viewDocument, DWORD options = 0);
    std::unique_ptr<PreviewControl> WsCreatePreviewControl(DWORD argument) override;
    std::unique_ptr<PreviewControl> WsCreateTraceControl() override { return nullptr; }

protected:
    bool OnCommand(UINT command) override;
};

// A preview with the trace-mode buttons and the list of trace drawers they switch.
class PreviewDataWinWButtons : public PreviewDataWin {
public:
    explicit PreviewDataWinWButtons(IPaneDocument* viewDocument, DWORD options = 0);
    ~PreviewDataWinWButtons() override;

    std::unique_ptr<PreviewControl> WsCreateTraceControl() override;
    // mode 2: a source trace (left out while the source is hidden).
    HRESULT AddTraceDrawer(IVarnRecordDrawer* drawer, int mode);
    // Takes every drawer off the strips and empties the trace drawer list, for a new set.
    void ClearDrawers();
    bool ShowSource() const { return mShowSource; }

protected:
    bool OnCommand(UINT command) override;

private:
    struct TraceDrawerItem {
        int strip = 0;
        DWORD addFlags = 0;
        IVarnRecordDrawer* drawer = nullptr;
        bool sourceTrace = false;
    };
    void OnTraceMode(bool showSource);
    std::vector<TraceDrawerItem> mItems;
    bool mShowSource = true;
};

} // namespace VarnDraw
