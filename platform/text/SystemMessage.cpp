#include "text/SystemMessage.h"

#include <cwchar>

#include "com/LastError.h"

namespace {

struct Message {
    DWORD id;
    const wchar_t* text;
};

// Win32 codes by number, then HRESULTs by their whole value. A Win32-facility HRESULT is looked
// up by its low 16 bits by the caller, as on Windows.
constexpr Message kMessages[] = {
    { 0, L"The operation completed successfully.\r\n" },
    { 1, L"Incorrect function.\r\n" },
    { 2, L"The system cannot find the file specified.\r\n" },
    { 3, L"The system cannot find the path specified.\r\n" },
    { 4, L"The system cannot open the file.\r\n" },
    { 5, L"Access is denied.\r\n" },
    { 6, L"The handle is invalid.\r\n" },
    { 8, L"Not enough memory resources are available to process this command.\r\n" },
    { 13, L"The data is invalid.\r\n" },
    { 14, L"Not enough memory resources are available to complete this operation.\r\n" },
    { 18, L"There are no more files.\r\n" },
    { 19, L"The media is write protected.\r\n" },
    { 21, L"The device is not ready.\r\n" },
    { 29, L"The system cannot write to the specified device.\r\n" },
    { 30, L"The system cannot read from the specified device.\r\n" },
    { 32, L"The process cannot access the file because it is being used by another process.\r\n" },
    { 33, L"The process cannot access the file because another process has locked a portion of the file.\r\n" },
    { 38, L"Reached the end of the file.\r\n" },
    { 39, L"The disk is full.\r\n" },
    { 50, L"The request is not supported.\r\n" },
    { 80, L"The file exists.\r\n" },
    { 87, L"The parameter is incorrect.\r\n" },
    { 110, L"The system cannot open the device or file specified.\r\n" },
    { 112, L"There is not enough space on the disk.\r\n" },
    { 120, L"This function is not supported on this system.\r\n" },
    { 122, L"The data area passed to a system call is too small.\r\n" },
    { 123, L"The filename, directory name, or volume label syntax is incorrect.\r\n" },
    { 126, L"The specified module could not be found.\r\n" },
    { 127, L"The specified procedure could not be found.\r\n" },
    { 158, L"The segment is already unlocked.\r\n" },
    { 183, L"Cannot create a file when that file already exists.\r\n" },
    { 206, L"The filename or extension is too long.\r\n" },
    { 317, L"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n" },
    { 1004, L"Invalid flags.\r\n" },
    { 1113, L"No mapping for the Unicode character exists in the target multi-byte code page.\r\n" },
    { 1168, L"Element not found.\r\n" },
    { 1223, L"The operation was canceled by the user.\r\n" },
    { 1400, L"Invalid window handle.\r\n" },
    { 1812, L"The specified image file did not contain a resource section.\r\n" },
    { 1813, L"The specified resource type cannot be found in the image file.\r\n" },
    { 1814, L"The specified resource name cannot be found in the image file.\r\n" },
    { 1815, L"The specified resource language ID cannot be found in the image file.\r\n" },
    { 0x80004001u, L"Not implemented\r\n" },
    { 0x80004002u, L"No such interface supported\r\n" },
    { 0x80004003u, L"Invalid pointer\r\n" },
    { 0x80004004u, L"Operation aborted\r\n" },
    { 0x80004005u, L"Unspecified error\r\n" },
    { 0x8000FFFFu, L"Catastrophic failure\r\n" },
    { 0x80020005u, L"Type mismatch.\r\n" },
    { 0x80020008u, L"Bad variable type.\r\n" },
    { 0x8002000Au, L"Out of present range.\r\n" },
    { 0x8002000Eu, L"Invalid number of parameters.\r\n" },
    { 0x80030001u, L"Unable to perform requested operation.\r\n" },
    { 0x80030002u, L"%1 could not be found.\r\n" },
    { 0x80030003u, L"The path %1 could not be found.\r\n" },
    { 0x80030004u, L"There are insufficient resources to open another file.\r\n" },
    { 0x80030005u, L"Access Denied.\r\n" },
    { 0x80030006u, L"Attempted an operation on an invalid object.\r\n" },
    { 0x80030008u, L"There is insufficient memory available to complete operation.\r\n" },
    { 0x80030009u, L"Invalid pointer error.\r\n" },
    { 0x80030012u, L"There are no more entries to return.\r\n" },
    { 0x80030013u, L"Disk is write-protected.\r\n" },
    { 0x80030019u, L"An error occurred during a seek operation.\r\n" },
    { 0x8003001Du, L"A disk error occurred during a write operation.\r\n" },
    { 0x8003001Eu, L"A disk error occurred during a read operation.\r\n" },
    { 0x80030020u, L"A share violation has occurred.\r\n" },
    { 0x80030021u, L"A lock violation has occurred.\r\n" },
    { 0x80030050u, L"%1 already exists.\r\n" },
    { 0x80030057u, L"Invalid parameter error.\r\n" },
    { 0x80030070u, L"There is insufficient disk space to complete operation.\r\n" },
    { 0x800300FAu, L"Illegal write of non-simple property to simple property set.\r\n" },
    { 0x800300FBu, L"An API call exited abnormally.\r\n" },
    { 0x800300FCu, L"The file %1 is not a valid compound file.\r\n" },
    { 0x800300FDu, L"The name %1 is not valid.\r\n" },
    { 0x800300FEu, L"An unexpected error occurred.\r\n" },
    { 0x800300FFu, L"That function is not implemented.\r\n" },
    { 0x80030100u, L"Attempted to use an object that is busy.\r\n" },
    { 0x80030101u, L"The storage has been changed since the last commit.\r\n" },
    { 0x80030102u, L"Attempted to use an object that has ceased to exist.\r\n" },
    { 0x80030103u, L"Can't save.\r\n" },
    { 0x80030104u, L"The compound file %1 was produced with an incompatible version of storage.\r\n" },
    { 0x80030105u, L"The compound file %1 was produced with a newer version of storage.\r\n" },
    { 0x80030106u, L"Share.exe or equivalent is required for operation.\r\n" },
    { 0x80030107u, L"Illegal operation called on non-file based storage.\r\n" },
    { 0x80030108u, L"Illegal operation called on object with extant marshallings.\r\n" },
    { 0x80030109u, L"The docfile has been corrupted.\r\n" },
    { 0x80040110u, L"Class does not support aggregation (or class object is remote)\r\n" },
    { 0x80040111u, L"ClassFactory cannot supply requested class\r\n" },
    { 0x80040154u, L"Class not registered\r\n" },
    { 0x800401F0u, L"CoInitialize has not been called.\r\n" },
};

} // namespace

DWORD FormatMessageW(
    DWORD flags, const void* source, DWORD messageId, DWORD languageId, wchar_t* buffer, DWORD size, void* arguments)
{
    (void)source;
    (void)languageId;
    (void)arguments;
    const DWORD supported = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & ~supported) != 0 || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const Message& m : kMessages) {
        if (m.id != messageId)
            continue;
        const std::size_t length = std::wcslen(m.text);
        if (length >= size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::wmemcpy(buffer, m.text, length + 1);
        return static_cast<DWORD>(length);
    }
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
}
