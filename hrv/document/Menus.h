#pragma once
// The HRV menu: the items the document class inserts into the host's menus, and the module's
// texts they and the document use.
#include "foundation/String.h"
#include "hostframework/commands/HostCommands.h"

namespace HRV {

// A text of the module's string table (loaded once per id).
const KEL::String& DocumentText(UINT id);

// Creates the HRV menu items in order and registers each with the registration object the host
// made for the document class (pair.object); the pair's flag becomes true when the host has
// placed an item. The first failure to create an item is returned; E_POINTER without an object.
HRESULT InsertDocumentCommands(HostClassObjectPair& pair);

} // namespace HRV
