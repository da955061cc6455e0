#pragma once
// Compiled-in resources in place of the resource sections of Windows modules. A module handle is
// the load address of a shared object or of the executable, as on Windows; a null handle stands
// for the host application's executable. Each library registers its resources for its own module
// at static initialisation (StringTableRegistrar, AddResource), and readers find them with the
// Windows calls below. String tables are stored in the Windows string-table block format: id n
// is entry n % 16 of block n / 16 + 1, each entry a 16-bit count of UTF-16 units followed by
// those units, no terminator.
#include <cstdint>
#include <initializer_list>
#include <span>

#include "com/HResult.h"

struct HINSTANCE__ {
    int unused;
};
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HRSRC__ {
    int unused;
};
using HRSRC = HRSRC__*;
using HGLOBAL = const void*;
using LANGID = WORD;
using LPCWSTR = const wchar_t*;

// Integer resource ids and types travel in the pointer, as MAKEINTRESOURCE does.
inline LPCWSTR MAKEINTRESOURCEW(WORD id)
{
    return reinterpret_cast<LPCWSTR>(std::uintptr_t(id));
}
inline bool IS_INTRESOURCE(LPCWSTR name)
{
    return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

inline const LPCWSTR RT_CURSOR = MAKEINTRESOURCEW(1);
inline const LPCWSTR RT_BITMAP = MAKEINTRESOURCEW(2);
inline const LPCWSTR RT_ICON = MAKEINTRESOURCEW(3);
inline const LPCWSTR RT_MENU = MAKEINTRESOURCEW(4);
inline const LPCWSTR RT_DIALOG = MAKEINTRESOURCEW(5);
inline const LPCWSTR RT_STRING = MAKEINTRESOURCEW(6);
inline const LPCWSTR RT_ACCELERATOR = MAKEINTRESOURCEW(9);
inline const LPCWSTR RT_RCDATA = MAKEINTRESOURCEW(10);
inline const LPCWSTR RT_HTML = MAKEINTRESOURCEW(23);

constexpr LANGID MAKELANGID(WORD primary, WORD sub)
{
    return static_cast<LANGID>((sub << 10) | primary);
}
constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD LANG_GERMAN = 0x07;
constexpr WORD LANG_ENGLISH = 0x09;
constexpr WORD LANG_FRENCH = 0x0C;
constexpr WORD SUBLANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;

// Null gives the host executable's handle; a module is not looked up by name here (null result,
// ERROR_MOD_NOT_FOUND).
HMODULE GetModuleHandleW(LPCWSTR name);

// Without a language: the neutral language first, then the default sublanguage of neutral, then
// US English, then the lowest language id the module has for that resource.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// Exactly the given language; no fallback.
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
const void* LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);

namespace vx::res {

// The module whose image holds `address` (any object or function of it).
HMODULE ModuleOf(const void* address);
// The executable of the process: what a null module handle means.
HMODULE HostModule();

// Adds or replaces one resource. Data handed out earlier for a replaced resource stays readable.
void AddResource(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID language, std::span<const BYTE> bytes);

struct StringEntry {
    UINT id;
    const wchar_t* text;
};

// Adds string-table entries (merged into the blocks already there, later entries win).
void AddStringTable(HMODULE module, LANGID language, std::initializer_list<StringEntry> entries);

// Registers a string table for the module that holds the registrar object, so a library declares
// its table as a namespace-scope registrar and it is present once the library is loaded.
class StringTableRegistrar {
public:
    StringTableRegistrar(LANGID language, std::initializer_list<StringEntry> entries);
};

// The user-interface language the host reports (0 until it does); string loading tries it first.
void SetUserInterfaceLanguage(LANGID language);
LANGID UserInterfaceLanguage();

} // namespace vx::res
