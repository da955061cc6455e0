#pragma once
// The beat event records live with the host's interfaces: the host reads them back.
#include "hostframework/interfaces/BeatEvents.h"
