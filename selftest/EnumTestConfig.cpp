#include "selftest/EnumTestConfig.h"

#include "hostframework/calcglue/ChannelManager.h"

EnumTestConfig::EnumTestConfig()
    : mEnumID(ExtLib::ArithmeticCalcClassId())
    , mArithString(L"NOT SET")
    , mNumSamplesToTest(26123)
{
}

EnumTestConfig::EnumTestConfig(const std::wstring& sourceFormula, const std::wstring& arithString)
    : mEnumID(ExtLib::ArithmeticCalcClassId())
    , mSourceExpressions { sourceFormula }
    , mArithString(arithString)
    , mNumSamplesToTest(600000)
    , mSampleRates { 1000.0 }
{
}

ETB::ETB() = default;

void ETB::FillAuthor()
{
    SetAuthor(KEL::String(L"enumtests"), false);
}
