#pragma once
// Resources of the window system compiled into each module: dialog templates (laid out in dialog
// units), menus, accelerators and images (PNG and SVG bytes under the resource types "PNG" and
// "SVG", BITMAP resources as PNG bytes), plus the stock icons. A library registers its own at
// static initialisation with the registrars below; lookups take the module handle (null: the
// executable) and a language, falling back to the language's primary language, the neutral
// language, US English, and then any language the module has.
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "res/Resource.h"
#include "ui/Gdi.h"
#include "ui/Messages.h"

namespace vx::ui {

// ---- Dialog templates -------------------------------------------------------------------------

// Class names of the standard controls.
inline const wchar_t* const kButtonClass = L"Button";
inline const wchar_t* const kStaticClass = L"Static";
inline const wchar_t* const kEditClass = L"Edit";
inline const wchar_t* const kComboBoxClass = L"ComboBox";
inline const wchar_t* const kListBoxClass = L"ListBox";
inline const wchar_t* const kScrollBarClass = L"ScrollBar";
inline const wchar_t* const kSliderClass = L"msctls_trackbar32";
inline const wchar_t* const kUpDownClass = L"msctls_updown32";
inline const wchar_t* const kTooltipClass = L"tooltips_class32";
inline const wchar_t* const kDialogClass = L"#32770";

struct DialogItem {
    DialogItem() = default;
    DialogItem(
        std::wstring cls, std::wstring caption, int itemId, DWORD itemStyle, Rect itemUnits, DWORD itemExStyle = 0)
        : className(std::move(cls))
        , text(std::move(caption))
        , id(itemId)
        , style(itemStyle)
        , units(itemUnits)
        , exStyle(itemExStyle)
    {
    }
    std::wstring className;
    std::wstring text;
    int id = -1;
    DWORD style = WS_CHILD | WS_VISIBLE;
    Rect units; // dialog units: left, top, right, bottom
    DWORD exStyle = 0;
};

struct DialogTemplate {
    std::wstring caption;
    DWORD style = WS_POPUP | WS_CAPTION;
    Rect units; // position and size in dialog units
    int fontPoints = 8;
    std::wstring fontFace = L"MS Shell Dlg 2";
    std::vector<DialogItem> items;
};

void AddDialogTemplate(HMODULE module, WORD id, LANGID language, DialogTemplate dialog);
std::optional<DialogTemplate> FindDialogTemplate(HMODULE module, WORD id, LANGID language = 0);

struct DialogTemplateRegistrar {
    DialogTemplateRegistrar(WORD id, LANGID language, DialogTemplate dialog);
};

// Dialog base units of a font (the average width of the Latin letters, rounded, and the cell
// height), and the conversion of dialog units to pixels (MapDialogRect).
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};
DialogBaseUnits GetDialogBaseUnits(const Font& font);
Rect DialogUnitsToPixels(const Rect& units, DialogBaseUnits base);
// The font of a template's point size at a DPI.
Font DialogFont(int points, const std::wstring& face, int dpi);

// ---- Menus --------------------------------------------------------------------------------------

constexpr UINT MF_STRING = 0x0000, MF_GRAYED = 0x0001, MF_DISABLED = 0x0002, MF_CHECKED = 0x0008, MF_POPUP = 0x0010,
               MF_SEPARATOR = 0x0800, MF_BYCOMMAND = 0x0000, MF_BYPOSITION = 0x0400, MF_ENABLED = 0x0000,
               MF_UNCHECKED = 0x0000;

struct MenuItemTemplate {
    MenuItemTemplate() = default;
    MenuItemTemplate(
        std::wstring caption, UINT itemId, UINT itemFlags = MF_STRING, std::vector<MenuItemTemplate> children = {})
        : text(std::move(caption))
        , id(itemId)
        , flags(itemFlags)
        , items(std::move(children))
    {
    }
    std::wstring text; // "&File", "Save\tCtrl+S"; empty with MF_SEPARATOR
    UINT id = 0;
    UINT flags = MF_STRING;
    std::vector<MenuItemTemplate> items; // MF_POPUP
};
using MenuTemplate = std::vector<MenuItemTemplate>;

void AddMenuTemplate(HMODULE module, WORD id, LANGID language, MenuTemplate menu);
std::optional<MenuTemplate> FindMenuTemplate(HMODULE module, WORD id, LANGID language = 0);

// ---- Accelerators -------------------------------------------------------------------------------

constexpr BYTE FVIRTKEY = 0x01, FSHIFT = 0x04, FCONTROL = 0x08, FALT = 0x10;

struct Accelerator {
    BYTE flags = FVIRTKEY;
    WORD key = 0;
    WORD command = 0;
};
using AcceleratorTable = std::vector<Accelerator>;

void AddAcceleratorTable(HMODULE module, WORD id, AcceleratorTable table);
std::optional<AcceleratorTable> FindAcceleratorTable(HMODULE module, WORD id);
// WM_COMMAND (high word 1) to `hwnd` when the key message matches an entry; true when it did.
bool TranslateAccelerator(HWND hwnd, const AcceleratorTable& table, const MSG& msg);
// The accelerators of a top-level window: key messages of it and its descendants are translated
// while the thread's loop runs, until the window goes (an empty table removes them).
void SetWindowAccelerators(HWND hwnd, AcceleratorTable table);

// ---- Images -------------------------------------------------------------------------------------

inline const LPCWSTR RT_PNG = L"PNG";
inline const LPCWSTR RT_SVG = L"SVG";

// A PNG resource (type "PNG", or a BITMAP resource holding PNG bytes) decoded; null when missing.
BitmapPtr LoadPngResource(HMODULE module, LPCWSTR name, LPCWSTR type = RT_PNG);
// An SVG resource rasterised at exactly width x height; null when missing or the size is below 1.
BitmapPtr LoadSvgResource(HMODULE module, LPCWSTR name, int width, int height);

// Stock icons (our own pictures), small 16 x 16 or large 32 x 32 scaled by DPI / 96.
enum class StockIcon { Information, Warning, Error };
BitmapPtr LoadStockIcon(StockIcon icon, bool large, int dpi = 96);

// An image list: equal-sized images side by side, drawn by index.
class ImageList {
public:
    ImageList(Size imageSize);
    int Add(const BitmapPtr& image); // index, -1 when the size differs
    int Count() const { return static_cast<int>(mImages.size()); }
    Size ImageSize() const { return mSize; }
    // Draws an image with its alpha; `disabled` draws it greyed and half transparent.
    bool Draw(DC& dc, int index, Point at, bool disabled = false) const;

private:
    Size mSize;
    std::vector<BitmapPtr> mImages;
};

} // namespace vx::ui
