// A second module with its own copy of the foundation library, as an extension library and the
// host each carry one: its string representations have their own table of virtual operations.
#include "foundation/String.h"

extern "C" __attribute__((visibility("default"))) IKELString* ForeignModuleMakeString(const wchar_t* text)
{
    return KEL::String(text).CopyRep();
}

extern "C" __attribute__((visibility("default"))) bool ForeignModuleIsNative(IKELString* rep)
{
    return KELString::StringRep::IsNative(rep);
}
