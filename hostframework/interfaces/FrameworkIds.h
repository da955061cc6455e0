#pragma once
// Class ids and built-in class keys of the host framework.
#include "com/Guid.h"
#include "com/HResult.h"

// The framework's class object: the subject registry, host class object, type-id registry,
// message router and message factory are asked of it.
inline constexpr CLSID CLSID_CAFFrameWork = vx::com::MakeGuid("{818DA440-8037-11D3-80BC-005004AD3C53}");
// The class object that answers the application services.
inline constexpr CLSID CLSID_CAFAppServices = vx::com::MakeGuid("{09C5C1C7-6AEE-4EF7-AD48-5301E8BC3775}");
// The host's registry of built-in self-tests.
inline constexpr CLSID CLSID_UnitTestRegistry = vx::com::MakeGuid("{E116149C-B118-4599-B6B2-C66DD6BEA7E5}");
// The type whose index, shifted into the high half, is the class key of the object factory.
inline constexpr GUID GUID_ObjectFactoryType = vx::com::MakeGuid("{C783D4E3-486B-4B18-AEE6-6F6CBED516D5}");

// Class keys with the top bit set name the host's built-in classes and need no type lookup.
inline constexpr DWORD kMessageCreatorClassKey = 0x80000007u;
inline constexpr DWORD kSharedHostObjectClassKey = 0x8000000Au;
inline constexpr DWORD kHostCommandFactoryClassKey = 0x80000013u;
inline constexpr DWORD kHostClassFactoryClassKey = 0x80000014u;
inline constexpr DWORD kBuiltInClassKeyBit = 0x80000000u;

// Type indexes that the type-id registry hands out: from 1, always below the built-in bit of
// the high half, so an id (index << 16) | n never looks like a built-in class key.
inline constexpr WORD kFirstTypeIndex = 1;
inline constexpr WORD kTypeIndexLimit = 0x8000;

// The class context of every class-object lookup the extension makes (in-process server and
// handler, local and remote server).
inline constexpr DWORD kCafClassContext = 23;
