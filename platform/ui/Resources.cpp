#include "ui/Resources.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

namespace vx::ui {

namespace {

std::mutex gResourceMutex;

template <class T> using ByLanguage = std::vector<std::pair<LANGID, T>>;

template <class T> std::map<std::pair<HMODULE, WORD>, ByLanguage<T>>& Table()
{
    static std::map<std::pair<HMODULE, WORD>, ByLanguage<T>> table;
    return table;
}

HMODULE Normalise(HMODULE module)
{
    return module ? module : vx::res::HostModule();
}

template <class T> void Add(HMODULE module, WORD id, LANGID language, T value)
{
    std::lock_guard lock(gResourceMutex);
    auto& entries = Table<T>()[{ Normalise(module), id }];
    for (auto& [lang, existing] : entries)
        if (lang == language) {
            existing = std::move(value);
            return;
        }
    entries.emplace_back(language, std::move(value));
}

template <class T> std::optional<T> Find(HMODULE module, WORD id, LANGID language)
{
    std::lock_guard lock(gResourceMutex);
    auto& table = Table<T>();
    auto it = table.find({ Normalise(module), id });
    if (it == table.end() || it->second.empty())
        return std::nullopt;
    const auto& entries = it->second;
    if (language == 0)
        language = vx::res::UserInterfaceLanguage();
    const LANGID order[] = { language, static_cast<LANGID>(language & 0x3FF), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
        MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT) };
    for (LANGID wanted : order)
        for (const auto& [lang, value] : entries)
            if (lang == wanted)
                return value;
    // A primary language matches any of its sublanguages.
    for (const auto& [lang, value] : entries)
        if ((lang & 0x3FF) == (language & 0x3FF))
            return value;
    return entries.front().second;
}

} // namespace

void AddDialogTemplate(HMODULE module, WORD id, LANGID language, DialogTemplate dialog)
{
    Add(module, id, language, std::move(dialog));
}

std::optional<DialogTemplate> FindDialogTemplate(HMODULE module, WORD id, LANGID language)
{
    return Find<DialogTemplate>(module, id, language);
}

DialogTemplateRegistrar::DialogTemplateRegistrar(WORD id, LANGID language, DialogTemplate dialog)
{
    AddDialogTemplate(vx::res::ModuleOf(this), id, language, std::move(dialog));
}

DialogBaseUnits GetDialogBaseUnits(const Font& font)
{
    DC dc(nullptr);
    dc.SelectFont(font);
    const Size letters = dc.GetTextExtent(L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return { (letters.cx / 26 + 1) / 2, dc.GetTextMetrics().height };
}

Rect DialogUnitsToPixels(const Rect& units, DialogBaseUnits base)
{
    return { MulDiv(units.left, base.x, 4), MulDiv(units.top, base.y, 8), MulDiv(units.right, base.x, 4),
        MulDiv(units.bottom, base.y, 8) };
}

Font DialogFont(int points, const std::wstring& face, int dpi)
{
    Font font;
    font.face = face;
    font.height = -MulDiv(points, dpi, 72);
    return font;
}

void AddMenuTemplate(HMODULE module, WORD id, LANGID language, MenuTemplate menu)
{
    Add(module, id, language, std::move(menu));
}

std::optional<MenuTemplate> FindMenuTemplate(HMODULE module, WORD id, LANGID language)
{
    return Find<MenuTemplate>(module, id, language);
}

void AddAcceleratorTable(HMODULE module, WORD id, AcceleratorTable table)
{
    Add(module, id, 0, std::move(table));
}

std::optional<AcceleratorTable> FindAcceleratorTable(HMODULE module, WORD id)
{
    return Find<AcceleratorTable>(module, id, 0);
}

bool TranslateAccelerator(HWND hwnd, const AcceleratorTable& table, const MSG& msg)
{
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN && msg.message != WM_CHAR)
        return false;
    const bool shift = GetKeyState(VK_SHIFT) & 0x8000, control = GetKeyState(VK_CONTROL) & 0x8000,
               alt = GetKeyState(VK_MENU) & 0x8000;
    for (const Accelerator& a : table) {
        const bool isVirtual = a.flags & FVIRTKEY;
        if (isVirtual != (msg.message != WM_CHAR) || a.key != msg.wParam)
            continue;
        if (isVirtual
            && (bool(a.flags & FSHIFT) != shift || bool(a.flags & FCONTROL) != control || bool(a.flags & FALT) != alt))
            continue;
        SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(a.command, 1), 0);
        return true;
    }
    return false;
}

void SetWindowAccelerators(HWND hwnd, AcceleratorTable table)
{
    thread_local std::map<HWND, int> installed;
    if (auto it = installed.find(hwnd); it != installed.end()) {
        RemoveMessageTranslator(it->second);
        installed.erase(it);
    }
    if (table.empty() || !IsWindow(hwnd))
        return;
    installed[hwnd] = AddMessageTranslator([hwnd, table = std::move(table)](const MSG& msg) {
        if (!IsWindow(hwnd)) {
            if (auto it = installed.find(hwnd); it != installed.end()) {
                const int id = it->second;
                installed.erase(it);
                RemoveMessageTranslator(id);
            }
            return false;
        }
        if (!msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) != hwnd)
            return false;
        return TranslateAccelerator(hwnd, table, msg);
    });
}

namespace {

std::span<const std::uint8_t> ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return {};
    const void* data = LockResource(LoadResource(module, found));
    const DWORD size = SizeofResource(module, found);
    if (!data || size == 0)
        return {};
    return { static_cast<const std::uint8_t*>(data), size };
}

} // namespace

BitmapPtr LoadPngResource(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    const auto bytes = ResourceBytes(module, name, type);
    return bytes.empty() ? nullptr : Bitmap::FromPng(bytes);
}

BitmapPtr LoadSvgResource(HMODULE module, LPCWSTR name, int width, int height)
{
    if (width < 1 || height < 1)
        return nullptr;
    const auto bytes = ResourceBytes(module, name, RT_SVG);
    return bytes.empty() ? nullptr : Bitmap::FromSvg(bytes, width, height);
}

BitmapPtr LoadStockIcon(StockIcon icon, bool large, int dpi)
{
    // Our own pictures: a blue disc with an "i", an amber triangle with "!", a red disc with "x".
    static const char* const kInformation
        = R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32"><circle cx="16" cy="16" r="15" fill="#1f6fd1"/>)"
          R"(<rect x="14" y="13" width="4" height="12" fill="#fff"/><circle cx="16" cy="8.5" r="2.3" fill="#fff"/></svg>)";
    static const char* const kWarning
        = R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32"><path d="M16 1 L31 30 L1 30 Z" fill="#f2b90c"/>)"
          R"(<rect x="14" y="10" width="4" height="11" fill="#000"/><rect x="14" y="23" width="4" height="4" fill="#000"/></svg>)";
    static const char* const kError
        = R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32"><circle cx="16" cy="16" r="15" fill="#d32020"/>)"
          R"(<path d="M10 10 L22 22 M22 10 L10 22" stroke="#fff" stroke-width="4"/></svg>)";
    const char* svg = icon == StockIcon::Information ? kInformation : icon == StockIcon::Warning ? kWarning : kError;
    const int side = MulDiv(large ? 32 : 16, dpi > 0 ? dpi : 96, 96);
    return Bitmap::FromSvg(
        { reinterpret_cast<const std::uint8_t*>(svg), std::char_traits<char>::length(svg) }, side, side);
}

ImageList::ImageList(Size imageSize)
    : mSize(imageSize)
{
}

int ImageList::Add(const BitmapPtr& image)
{
    if (!image || image->GetSize() != mSize)
        return -1;
    mImages.push_back(image);
    return Count() - 1;
}

bool ImageList::Draw(DC& dc, int index, Point at, bool disabled) const
{
    if (index < 0 || index >= Count())
        return false;
    const BitmapPtr& image = mImages[std::size_t(index)];
    if (!disabled)
        return dc.AlphaBlend(Rect::FromPointSize(at, mSize), image, Rect::FromPointSize({}, mSize), 255, true);
    BitmapPtr grey = image->Copy();
    if (!grey)
        return false;
    for (int y = 0; y < mSize.cy; ++y)
        for (int x = 0; x < mSize.cx; ++x) {
            const std::uint32_t v = grey->Argb(x, y);
            const std::uint32_t a = v >> 24, r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
            const std::uint32_t l = (r * 30 + g * 59 + b * 11) / 100;
            grey->SetArgb(x, y, (a << 24) | (l << 16) | (l << 8) | l);
        }
    grey->MarkDirty();
    return dc.AlphaBlend(Rect::FromPointSize(at, mSize), grey, Rect::FromPointSize({}, mSize), 128, true);
}

} // namespace vx::ui
