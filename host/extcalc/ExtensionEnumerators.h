#pragma once
// The host side of extension enumerators: makes the calculation-enumerator classes that an
// extension registers through the framework callable from formulas ("fiducial(...)"), by wrapping
// their COM-style interfaces into the calculation engine's enumerator hook, and the engine's
// sources into the ICalcSource objects the extension reads.
#include "host/calc/Engine.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"

#include <optional>
#include <vector>

namespace vx::extcalc {

// The engine's description of an extension's enumerator class, or nothing when the object is
// not a calculation-enumerator class (it lacks ICalcEnumClass2 or ICalcNumericParamsFuncClass).
// `creator` is handed to the class with every enumerator it creates (the document whose formulas
// call it, which answers its data store); borrowed, it must outlive the engine's use.
std::optional<calc::EnumeratorClass> DescribeEnumeratorClass(IUnknown* classObject, IUnknown* creator = nullptr);

// Registers every calculation-enumerator class among the objects with the engine; returns how
// many were registered. A refusal of the engine (a name already taken) propagates as CalcError.
int RegisterExtensionEnumerators(
    calc::Engine& engine, const std::vector<IUnknown*>& classObjects, IUnknown* creator = nullptr);

// A source of the engine as the extension reads it: an IFloatStreamEx over a sampled stage or an
// IEnumEventEx over an event stage, with one reference for the caller.
IUnknown* MakeCalcSource(const calc::EnumeratorSource& source);

// A sample interval as the ratio a source reports: 1 / rate for a whole rate in Hz, else
// nanoseconds; 1/1 for an interval that is not positive.
vx::hf::RateRatio RatioOf(double interval);

} // namespace vx::extcalc
