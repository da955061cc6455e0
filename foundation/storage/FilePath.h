#pragma once
// File-path helpers. '/' separates the parts of a path; no length limit applies.
#include <string>

#include "foundation/String.h"

namespace KEL {

// Makes a path absolute (relative to the current folder) and removes "." and ".." parts, without
// touching the disk. False for an empty path or when the current folder cannot be had; the text
// is then left as it was.
bool MakeFullPath(String& path);
bool MakeFullPath(std::wstring& path);

// True when the file exists; the path then names it as stored on disk (on this system the same
// text). Characters such as '*' and '?' are part of the name, never wildcards. False, and the text
// unchanged, when nothing is found.
bool ResolveFileName(String& path);
bool ResolveFileName(std::wstring& path);

// The path of a file beside the host executable: the executable's folder joined with the
// relative path. The relative path itself when the executable's name cannot be had.
String PathBesideHostExe(const String& relative);
std::wstring PathBesideHostExe(const std::wstring& relative);

// Conversions between the wide text of paths and the UTF-8 bytes the file system takes.
std::string PathToNative(const std::wstring& path);
std::wstring PathFromNative(const std::string& path);

} // namespace KEL
