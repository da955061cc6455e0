#pragma once
// What the HRV data-pad parameters ask of the host lives with the host's interfaces.
#include "hostframework/interfaces/DataPadHostInterfaces.h"
