#pragma once
// What the host and the HRV extension exchange beyond the framework's own interfaces (the
// RR-interval save-as class) lives with the host's interfaces.
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "hrv/document/DocumentHost.h"
