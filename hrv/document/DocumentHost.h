#pragma once
// What the HRV document asks of the host document it belongs to (IDocumentHost and the services
// it lends) is part of the host's interfaces.
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hrv/analysis/AnalysisEngine.h"
#include "hrv/analysis/Detector.h"
