#pragma once

// The engine configuration: ini files held in memory, by file name, section and key (all of
// which ignore case). Values are kept as text, as the engine keeps them.

#include <mutex>

#include "Containers/Map.h"
#include "Containers/UnrealString.h"
#include "CoreGlobals.h"

class CORE_API FConfigCacheIni
{
public:
	/** Reads Key; false, with the output untouched, when it is missing. */
	bool GetString(const TCHAR* Section, const TCHAR* Key, FString& Value, const FString& Filename) const;
	bool GetDouble(const TCHAR* Section, const TCHAR* Key, double& Value, const FString& Filename) const;
	bool GetFloat(const TCHAR* Section, const TCHAR* Key, float& Value, const FString& Filename) const;
	bool GetInt(const TCHAR* Section, const TCHAR* Key, int32& Value, const FString& Filename) const;
	bool GetBool(const TCHAR* Section, const TCHAR* Key, bool& Value, const FString& Filename) const;

	void SetString(const TCHAR* Section, const TCHAR* Key, const TCHAR* Value, const FString& Filename);
	void SetDouble(const TCHAR* Section, const TCHAR* Key, double Value, const FString& Filename);
	void SetFloat(const TCHAR* Section, const TCHAR* Key, float Value, const FString& Filename);
	void SetInt(const TCHAR* Section, const TCHAR* Key, int32 Value, const FString& Filename);
	void SetBool(const TCHAR* Section, const TCHAR* Key, bool Value, const FString& Filename);

	/** Removes Key; returns whether it was there. */
	bool RemoveKey(const TCHAR* Section, const TCHAR* Key, const FString& Filename);
	/** Forgets everything held for Filename. */
	void EmptySection(const TCHAR* Section, const FString& Filename);
	void UnloadFile(const FString& Filename);

	/** Merges an ini file from disk ("[Section]" lines, "Key=Value" lines, ';' comments) into Filename. */
	bool LoadFile(const FString& Path, const FString& Filename);

private:
	typedef TMap<FString, FString> FSection;
	typedef TMap<FString, FSection> FFile;

	mutable std::mutex Mutex;
	TMap<FString, FFile> Files;
};
