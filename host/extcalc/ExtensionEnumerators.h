#pragma once
// The host side of extension enumerators: makes the calculation-enumerator classes that an
// extension registers through the framework callable from formulas ("fiducial(...)"), by wrapping
// their COM-style interfaces into the calculation engine's enumerator hook, and the engine's
// sources into the ICalcSource objects the extension reads.
#include "host/calc/Engine.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"

#include <functional>
#include <optional>
#include <vector>

namespace vx::extcalc {

// Tells whether a record of the document is being sampled: its data still grow.
using SamplingProbe = std::function<bool(int record)>;

// The engine's description of an extension's enumerator class, or nothing when the object is
// not a calculation-enumerator class (it lacks ICalcEnumClass2 or ICalcNumericParamsFuncClass).
// `creator` is handed to the class with every enumerator it creates (the document whose formulas
// call it, which answers its data store); borrowed, it must outlive the engine's use. While
// `sampling` says a record grows, its enumerators start in sampling mode and their sample
// sources say the record grows; once it says the record has stopped, they start again without.
std::optional<calc::EnumeratorClass> DescribeEnumeratorClass(
    IUnknown* classObject, IUnknown* creator = nullptr, SamplingProbe sampling = {});

// Registers every calculation-enumerator class among the objects with the engine; returns how
// many were registered. A refusal of the engine (a name already taken) propagates as CalcError.
int RegisterExtensionEnumerators(calc::Engine& engine, const std::vector<IUnknown*>& classObjects,
    IUnknown* creator = nullptr, SamplingProbe sampling = {});

// A source of the engine as the extension reads it: an IFloatStreamEx over a sampled stage or an
// IEnumEventEx over an event stage, with one reference for the caller. A sample stream's length
// answers S_FALSE while `growing` is set.
IUnknown* MakeCalcSource(const calc::EnumeratorSource& source, bool growing = false);

// A sample interval as the ratio a source reports: 1 / rate for a whole rate in Hz, else
// nanoseconds; 1/1 for an interval that is not positive.
vx::hf::RateRatio RatioOf(double interval);

} // namespace vx::extcalc
