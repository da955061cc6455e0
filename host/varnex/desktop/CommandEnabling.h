#pragma once
// The desktop host's command enabling: the extension's document answers for its own menu items
// through the host's ICommandEnabler, which passes its answers on to the element showing the
// command (a menu item of the main frame).
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "ui/CommandEnabler.h"

namespace varnex {

// Asks `document` about its command `commandId`, shown by `element`. S_OK when the document
// answered; the element keeps its state otherwise.
HRESULT AskDocumentToEnable(ICAFCommandHandler* document, DWORD commandId, vx::ui::CommandEnabler& element);

} // namespace varnex
