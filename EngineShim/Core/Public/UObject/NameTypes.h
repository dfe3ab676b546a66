#pragma once

#include "Containers/UnrealString.h"
#include "CoreTypes.h"

enum EName { NAME_None = 0 };

/** A case-insensitive name. The engine interns names; here a name holds its text. */
class FName
{
public:
	FName() = default;
	FName(EName) {}
	FName(const TCHAR* Text) : Text(Text) { NormaliseNone(); }
	FName(const ANSICHAR* Text) : Text(Text) { NormaliseNone(); }
	explicit FName(const FString& InText) : Text(InText) { NormaliseNone(); }

	FString ToString() const { return IsNone() ? FString(TEXT("None")) : Text; }
	bool IsNone() const { return Text.IsEmpty(); }
	bool IsValid() const { return true; }

	friend bool operator==(const FName& A, const FName& B) { return A.Text == B.Text; }
	friend bool operator!=(const FName& A, const FName& B) { return !(A == B); }
	friend bool operator<(const FName& A, const FName& B) { return A.Text < B.Text; }
	friend uint32 GetTypeHash(const FName& Name) { return GetTypeHash(Name.Text); }

private:
	void NormaliseNone()
	{
		if (Text == TEXT("None"))
		{
			Text.Empty();
		}
	}

	FString Text;
};

FORCEINLINE FString LexToString(const FName& Value) { return Value.ToString(); }
