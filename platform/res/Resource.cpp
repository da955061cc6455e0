#include "res/Resource.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cwctype>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "com/LastError.h"
#include "text/Unicode.h"

namespace {

struct Stored {
    std::vector<BYTE> bytes;
};

struct Key {
    HMODULE module;
    std::wstring type;
    std::wstring name;
    LANGID language;
    friend bool operator<(const Key& a, const Key& b)
    {
        return std::tie(a.module, a.type, a.name, a.language) < std::tie(b.module, b.type, b.name, b.language);
    }
};

using StringBlock = std::array<std::u16string, 16>;

struct Registry {
    std::mutex mutex;
    std::map<Key, Stored*> index;
    std::deque<Stored> store; // never shrinks, so data handed out stays valid
    std::map<std::tuple<HMODULE, LANGID, WORD>, StringBlock> stringBlocks;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

std::atomic<LANGID> gUiLanguage { 0 };

// Integer ids as "#n", names in upper case: Windows resource names match without regard to case,
// and "#n" names the integer id n there too.
std::wstring NameKey(LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return L"#" + std::to_wstring(reinterpret_cast<std::uintptr_t>(name));
    std::wstring key = name;
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towupper(c));
    return key;
}

HMODULE Resolve(HMODULE module)
{
    return module ? module : vx::res::HostModule();
}

Stored* Find(Registry& r, HMODULE module, const std::wstring& type, const std::wstring& name, LANGID language)
{
    auto it = r.index.find(Key { module, type, name, language });
    return it == r.index.end() ? nullptr : it->second;
}

void AddLocked(
    Registry& r, HMODULE module, std::wstring type, std::wstring name, LANGID language, std::vector<BYTE> bytes)
{
    r.store.push_back(Stored { std::move(bytes) });
    r.index[Key { module, std::move(type), std::move(name), language }] = &r.store.back();
}

std::vector<BYTE> SerialiseBlock(const StringBlock& block)
{
    std::vector<BYTE> bytes;
    for (const std::u16string& entry : block) {
        const auto count = static_cast<std::uint16_t>(entry.size());
        bytes.push_back(static_cast<BYTE>(count & 0xFF));
        bytes.push_back(static_cast<BYTE>(count >> 8));
        for (char16_t unit : entry) {
            bytes.push_back(static_cast<BYTE>(unit & 0xFF));
            bytes.push_back(static_cast<BYTE>(unit >> 8));
        }
    }
    return bytes;
}

// Resource texts are stored as UTF-16, as the string-table format defines.
std::u16string ToUtf16(const wchar_t* text)
{
    std::u16string out;
    for (; text && *text; ++text) {
        const auto c = static_cast<char32_t>(*text);
        vx::text::AppendUtf16(out, c > 0x10FFFF ? 0xFFFD : c);
    }
    // A string-table entry counts its units in 16 bits.
    if (out.size() > 0xFFFF)
        out.resize(0xFFFF);
    return out;
}

int FirstObjectOfProcess(dl_phdr_info* info, size_t, void* data)
{
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            *static_cast<const void**>(data)
                = reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
            return 1;
        }
    return 0;
}

} // namespace

HMODULE GetModuleHandleW(LPCWSTR name)
{
    if (!name)
        return vx::res::HostModule();
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID language)
{
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    Stored* found = Find(r, Resolve(module), NameKey(type), NameKey(name), language);
    if (!found)
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return reinterpret_cast<HRSRC>(found);
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    Registry& r = TheRegistry();
    const HMODULE m = Resolve(module);
    const std::wstring typeKey = NameKey(type), nameKey = NameKey(name);
    std::lock_guard lock(r.mutex);
    for (LANGID preferred : { MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
             MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT) })
        if (Stored* found = Find(r, m, typeKey, nameKey, preferred))
            return reinterpret_cast<HRSRC>(found);
    auto it = r.index.lower_bound(Key { m, typeKey, nameKey, 0 });
    if (it != r.index.end() && it->first.module == m && it->first.type == typeKey && it->first.name == nameKey)
        return reinterpret_cast<HRSRC>(it->second);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource)
{
    if (!resource)
        return nullptr;
    return reinterpret_cast<Stored*>(resource)->bytes.data();
}

const void* LockResource(HGLOBAL data)
{
    return data;
}

DWORD SizeofResource(HMODULE, HRSRC resource)
{
    return resource ? static_cast<DWORD>(reinterpret_cast<Stored*>(resource)->bytes.size()) : 0;
}

namespace vx::res {

HMODULE ModuleOf(const void* address)
{
    Dl_info info {};
    if (!address || dladdr(address, &info) == 0)
        return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE HostModule()
{
    // The first object dl_iterate_phdr reports is the executable.
    static const HMODULE host = [] {
        const void* address = nullptr;
        dl_iterate_phdr(FirstObjectOfProcess, &address);
        return ModuleOf(address);
    }();
    return host;
}

void AddResource(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID language, std::span<const BYTE> bytes)
{
    Registry& r = TheRegistry();
    const HMODULE m = Resolve(module);
    std::lock_guard lock(r.mutex);
    AddLocked(r, m, NameKey(type), NameKey(name), language, std::vector<BYTE>(bytes.begin(), bytes.end()));
}

void AddStringTable(HMODULE module, LANGID language, std::initializer_list<StringEntry> entries)
{
    Registry& r = TheRegistry();
    const HMODULE m = Resolve(module);
    std::lock_guard lock(r.mutex);
    std::vector<WORD> touched;
    for (const StringEntry& e : entries) {
        const auto id = static_cast<WORD>(e.id);
        const auto block = static_cast<WORD>((id >> 4) + 1);
        r.stringBlocks[{ m, language, block }][id & 15] = ToUtf16(e.text);
        touched.push_back(block);
    }
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    for (WORD block : touched)
        AddLocked(r, m, NameKey(RT_STRING), NameKey(MAKEINTRESOURCEW(block)), language,
            SerialiseBlock(r.stringBlocks[{ m, language, block }]));
}

StringTableRegistrar::StringTableRegistrar(LANGID language, std::initializer_list<StringEntry> entries)
{
    AddStringTable(ModuleOf(this), language, entries);
}

void SetUserInterfaceLanguage(LANGID language)
{
    gUiLanguage.store(language);
}

LANGID UserInterfaceLanguage()
{
    return gUiLanguage.load();
}

} // namespace vx::res
