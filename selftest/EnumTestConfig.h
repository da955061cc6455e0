#pragma once
// What the event-enumerator conformance routines are run with, and the test base that keeps it.
#include <cstdint>
#include <string>
#include <vector>

#include "selftest/UnitTestBase.h"

struct EnumTestConfig {
    EnumTestConfig();
    // One source channel with `sourceFormula` at 1000 Hz, records of 600000 ticks.
    EnumTestConfig(const std::wstring& sourceFormula, const std::wstring& arithString);

    DWORD mEnumID; // the calculation class that evaluates mArithString
    std::vector<std::wstring> mSourceExpressions;
    std::wstring mArithString;
    std::int32_t mNumSamplesToTest;
    bool mFilling = false; // the enumerator reports only up to an end tick while data are filled
    std::int32_t mNumRecords = 3;
    std::vector<std::wstring> mCalculations;
    std::vector<double> mSampleRates;
};

// The abstract event-enumerator test: a UnitTestBase with a configuration.
class ETB : public UnitTestBase {
protected:
    ETB();
    void FillAuthor() override;

    EnumTestConfig mConfig;
};
