// Texts of the executable's string table that the dialog controls load from the host: the range
// message of a numeric field, the title and message of its error marker, and the caption of the
// help buttons.
#include "res/Resource.h"

namespace {

const vx::res::StringTableRegistrar kControlTexts(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    {
        { 3, L"HRV HTML Help" }, // the caption of the dialogs' help buttons
        { 20001, L"Please enter a number from %1 to %2." },
        { 22022, L"Invalid Value" },
        { 22023, L"Value must be in range %1 to %2." },
    });

} // namespace
