#include "Misc/AutomationTest.h"

#include <cmath>

namespace
{
	template <typename IntegerType>
	bool CheckIntegers(FAutomationTestBase& Test, const FString& What, const IntegerType Actual, const IntegerType Expected)
	{
		if (Actual == Expected)
		{
			return true;
		}
		if constexpr (std::is_signed_v<IntegerType>)
		{
			Test.AddError(FString::Printf(TEXT("Expected '%s' to be %lld, but it was %lld."), *What,
				static_cast<long long>(Expected), static_cast<long long>(Actual)), 1);
		}
		else
		{
			Test.AddError(FString::Printf(TEXT("Expected '%s' to be %llu, but it was %llu."), *What,
				static_cast<unsigned long long>(Expected), static_cast<unsigned long long>(Actual)), 1);
		}
		return false;
	}

	template <typename FloatType>
	bool CheckFloats(FAutomationTestBase& Test, const FString& What, const FloatType Actual, const FloatType Expected, const FloatType Tolerance)
	{
		// Written so that a NaN on either side fails.
		if (std::abs(Expected - Actual) <= Tolerance)
		{
			return true;
		}
		Test.AddError(FString::Printf(TEXT("Expected '%s' to be %.17g, but it was %.17g within tolerance %g."), *What,
			static_cast<double>(Expected), static_cast<double>(Actual), static_cast<double>(Tolerance)), 1);
		return false;
	}

	bool AreSameText(const TCHAR* A, const TCHAR* B)
	{
		return FCString::Strcmp(A ? A : TEXT(""), B ? B : TEXT("")) == 0;
	}
}

bool FAutomationTestBase::TestEqual(const FString& What, const int32 Actual, const int32 Expected)
{
	return CheckIntegers(*this, What, Actual, Expected);
}

bool FAutomationTestBase::TestEqual(const FString& What, const int64 Actual, const int64 Expected)
{
	return CheckIntegers(*this, What, Actual, Expected);
}

bool FAutomationTestBase::TestEqual(const FString& What, const uint8 Actual, const uint8 Expected)
{
	return CheckIntegers(*this, What, Actual, Expected);
}

bool FAutomationTestBase::TestEqual(const FString& What, const uint32 Actual, const uint32 Expected)
{
	return CheckIntegers(*this, What, Actual, Expected);
}

bool FAutomationTestBase::TestEqual(const FString& What, const uint64 Actual, const uint64 Expected)
{
	return CheckIntegers(*this, What, Actual, Expected);
}

bool FAutomationTestBase::TestEqual(const FString& What, const float Actual, const float Expected, const float Tolerance)
{
	return CheckFloats(*this, What, Actual, Expected, Tolerance);
}

bool FAutomationTestBase::TestEqual(const FString& What, const double Actual, const double Expected, const double Tolerance)
{
	return CheckFloats(*this, What, Actual, Expected, Tolerance);
}

bool FAutomationTestBase::TestEqual(const FString& What, const TCHAR* Actual, const TCHAR* Expected)
{
	if (AreSameText(Actual, Expected))
	{
		return true;
	}
	AddError(FString::Printf(TEXT("Expected '%s' to be \"%s\", but it was \"%s\"."), *What, Expected, Actual), 1);
	return false;
}

bool FAutomationTestBase::TestEqualInsensitive(const FString& What, const TCHAR* Actual, const TCHAR* Expected)
{
	if (Actual && Expected && FCString::Stricmp(Actual, Expected) == 0)
	{
		return true;
	}
	AddError(FString::Printf(TEXT("Expected '%s' to be \"%s\", but it was \"%s\"."), *What, Expected ? Expected : TEXT(""), Actual ? Actual : TEXT("")), 1);
	return false;
}

bool FAutomationTestBase::TestNotEqual(const FString& What, const TCHAR* Actual, const TCHAR* Expected)
{
	if (!AreSameText(Actual, Expected))
	{
		return true;
	}
	AddError(FString::Printf(TEXT("Expected '%s' to differ from \"%s\", but it was \"%s\"."), *What, Expected, Actual), 1);
	return false;
}

bool FAutomationTestBase::TestTrue(const FString& What, const bool Value)
{
	return Check(Value, What, TEXT("to be true"));
}

bool FAutomationTestBase::TestFalse(const FString& What, const bool Value)
{
	return Check(!Value, What, TEXT("to be false"));
}

bool FAutomationTestBase::Check(const bool bCondition, const FString& What, const TCHAR* Expectation)
{
	if (!bCondition)
	{
		AddError(FString::Printf(TEXT("Expected '%s' %s."), *What, Expectation), 1);
	}
	return bCondition;
}
