#pragma once
// A place in a recording (record and sample offset) is part of the host's interfaces.
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
