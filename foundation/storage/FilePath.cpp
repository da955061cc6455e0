#include "foundation/storage/FilePath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "text/Unicode.h"

namespace KEL {

std::string PathToNative(const std::wstring& path)
{
    return vx::text::UnitsToUtf8(path);
}

std::wstring PathFromNative(const std::string& path)
{
    std::wstring out;
    for (std::size_t i = 0; i < path.size();) {
        const auto b = static_cast<unsigned char>(path[i]);
        const int extra = b < 0x80 ? 0 : b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
        std::uint32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        bool ok = extra >= 0 && i + extra < path.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(path[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(c));
        i += extra + 1;
    }
    return out;
}

bool MakeFullPath(std::wstring& path)
{
    if (path.empty())
        return false;
    std::wstring full = path;
    if (full.front() != L'/') {
        std::vector<char> buffer(4096);
        while (!getcwd(buffer.data(), buffer.size())) {
            if (errno != ERANGE)
                return false;
            buffer.resize(buffer.size() * 2);
        }
        full = PathFromNative(buffer.data()) + L"/" + full;
    }
    std::vector<std::wstring> parts;
    std::size_t i = 0;
    while (i <= full.size()) {
        const std::size_t slash = full.find(L'/', i);
        const std::wstring part = full.substr(i, slash == std::wstring::npos ? std::wstring::npos : slash - i);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        if (slash == std::wstring::npos)
            break;
        i = slash + 1;
    }
    std::wstring result;
    for (const auto& part : parts)
        result += L"/" + part;
    if (result.empty() || (full.back() == L'/' && !parts.empty()))
        result += L"/";
    path = result;
    return true;
}

bool ResolveFileName(std::wstring& path)
{
    if (path.empty())
        return false;
    struct stat info;
    return lstat(PathToNative(path).c_str(), &info) == 0;
}

std::wstring PathBesideHostExe(const std::wstring& relative)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return relative;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer[n] = 0;
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    std::wstring exe = PathFromNative(buffer.data());
    const std::size_t slash = exe.rfind(L'/');
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1);
    std::size_t start = 0;
    while (start < relative.size() && relative[start] == L'/')
        ++start;
    return folder + relative.substr(start);
}

bool MakeFullPath(String& path)
{
    std::wstring text = path.ToWString();
    if (!MakeFullPath(text))
        return false;
    path = String(text);
    return true;
}

bool ResolveFileName(String& path)
{
    std::wstring text = path.ToWString();
    if (!ResolveFileName(text))
        return false;
    path = String(text);
    return true;
}

String PathBesideHostExe(const String& relative)
{
    return String(PathBesideHostExe(relative.ToWString()));
}

} // namespace KEL
