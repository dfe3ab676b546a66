#pragma once

// Helpers shared by the Json module's tests: log capture, UTF-8 views of TCHAR text for readable
// failure messages, and a one-call parse.

#include <string>

#include <gtest/gtest.h>

#include "CoreMinimal.h"
#include "Dom/JsonObject.h"
#include "Dom/JsonValue.h"
#include "Misc/OutputDeviceRedirector.h"
#include "Serialization/JsonReader.h"
#include "Serialization/JsonSerializer.h"

/** Collects every log line written while it lives, as "Category: Verbosity: Text", and keeps the console quiet. */
class FJsonTestLogCapture : public FOutputDevice
{
public:
	FJsonTestLogCapture()
	{
		bConsoleWasOn = GLog->IsRedirectingTo(GLogConsole);
		GLog->RemoveOutputDevice(GLogConsole);
		GLog->AddOutputDevice(this);
	}

	~FJsonTestLogCapture() override
	{
		GLog->RemoveOutputDevice(this);
		if (bConsoleWasOn)
		{
			GLog->AddOutputDevice(GLogConsole);
		}
	}

	void Serialize(const TCHAR* V, const ELogVerbosity::Type Verbosity, const FName& Category) override
	{
		Lines.Add(FString::Printf(TEXT("%s: %s: %s"), *Category.ToString(), ToString(Verbosity), V));
	}

	bool CanBeUsedOnAnyThread() const override { return true; }
	bool CanBeUsedOnMultipleThreads() const override { return true; }

	TArray<FString> Lines;

private:
	bool bConsoleWasOn = false;
};

inline std::string ToUtf8(const FString& Text)
{
	return std::string(FTCHARToUTF8(*Text, Text.Len()).Get());
}

inline FString FromUtf8(const char* Text)
{
	return FString(FUTF8ToTCHAR(Text).Get());
}

/** The captured lines as one UTF-8 string, one line each, for exact comparison. */
inline std::string JoinLines(const TArray<FString>& Lines)
{
	std::string Joined;
	for (const FString& Line : Lines)
	{
		Joined += ToUtf8(Line) + "\n";
	}
	return Joined;
}

inline TSharedPtr<FJsonValue> ParseValue(const FString& Text)
{
	TSharedPtr<FJsonValue> Value;
	return FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(Text), Value) ? Value : nullptr;
}

inline TSharedPtr<FJsonObject> ParseObject(const FString& Text)
{
	TSharedPtr<FJsonObject> Object;
	return FJsonSerializer::Deserialize(TJsonReaderFactory<>::Create(Text), Object) ? Object : nullptr;
}
