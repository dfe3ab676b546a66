#include "Misc/ConfigCacheIni.h"

#include <fstream>
#include <string>

#include "Containers/StringConv.h"

namespace
{
	/** The engine ini starts with what BaseEngine.ini sets and the stand-in's modules read. */
	void LoadBaseEngineValues(FConfigCacheIni& Config)
	{
		// GEngineIni may not be built yet: this runs while the library's globals are.
		Config.SetFloat(TEXT("HTTP"), TEXT("HttpTimeout"), 180.0f, FString(TEXT("Engine")));
	}

	FConfigCacheIni& GetConfigSingleton()
	{
		static FConfigCacheIni Config;
		static const bool bLoaded = (LoadBaseEngineValues(Config), true);
		(void)bLoaded;
		return Config;
	}
}

FConfigCacheIni* GConfig = &GetConfigSingleton();
FString GEngineIni = TEXT("Engine");

bool FConfigCacheIni::GetString(const TCHAR* Section, const TCHAR* Key, FString& Value, const FString& Filename) const
{
	const std::lock_guard<std::mutex> Lock(Mutex);
	const FFile* File = Files.Find(Filename);
	const FSection* FoundSection = File ? File->Find(Section) : nullptr;
	const FString* Found = FoundSection ? FoundSection->Find(Key) : nullptr;
	if (!Found)
	{
		return false;
	}
	Value = *Found;
	return true;
}

bool FConfigCacheIni::GetDouble(const TCHAR* Section, const TCHAR* Key, double& Value, const FString& Filename) const
{
	FString Text;
	if (!GetString(Section, Key, Text, Filename))
	{
		return false;
	}
	Value = FCString::Atod(*Text);
	return true;
}

bool FConfigCacheIni::GetFloat(const TCHAR* Section, const TCHAR* Key, float& Value, const FString& Filename) const
{
	double Wide = 0.0;
	if (!GetDouble(Section, Key, Wide, Filename))
	{
		return false;
	}
	Value = static_cast<float>(Wide);
	return true;
}

bool FConfigCacheIni::GetInt(const TCHAR* Section, const TCHAR* Key, int32& Value, const FString& Filename) const
{
	FString Text;
	if (!GetString(Section, Key, Text, Filename))
	{
		return false;
	}
	Value = FCString::Atoi(*Text);
	return true;
}

bool FConfigCacheIni::GetBool(const TCHAR* Section, const TCHAR* Key, bool& Value, const FString& Filename) const
{
	FString Text;
	if (!GetString(Section, Key, Text, Filename))
	{
		return false;
	}
	Value = Text == TEXT("true") || Text == TEXT("yes") || Text == TEXT("on") || FCString::Atoi(*Text) != 0;
	return true;
}

void FConfigCacheIni::SetString(const TCHAR* Section, const TCHAR* Key, const TCHAR* Value, const FString& Filename)
{
	const std::lock_guard<std::mutex> Lock(Mutex);
	Files.FindOrAdd(Filename).FindOrAdd(Section).Add(Key, Value);
}

void FConfigCacheIni::SetDouble(const TCHAR* Section, const TCHAR* Key, const double Value, const FString& Filename)
{
	SetString(Section, Key, *FString::Printf(TEXT("%f"), Value), Filename);
}

void FConfigCacheIni::SetFloat(const TCHAR* Section, const TCHAR* Key, const float Value, const FString& Filename)
{
	SetString(Section, Key, *FString::Printf(TEXT("%f"), Value), Filename);
}

void FConfigCacheIni::SetInt(const TCHAR* Section, const TCHAR* Key, const int32 Value, const FString& Filename)
{
	SetString(Section, Key, *FString::FromInt(Value), Filename);
}

void FConfigCacheIni::SetBool(const TCHAR* Section, const TCHAR* Key, const bool Value, const FString& Filename)
{
	SetString(Section, Key, Value ? TEXT("True") : TEXT("False"), Filename);
}

bool FConfigCacheIni::RemoveKey(const TCHAR* Section, const TCHAR* Key, const FString& Filename)
{
	const std::lock_guard<std::mutex> Lock(Mutex);
	FFile* File = Files.Find(Filename);
	FSection* FoundSection = File ? File->Find(Section) : nullptr;
	return FoundSection && FoundSection->Remove(Key) > 0;
}

void FConfigCacheIni::EmptySection(const TCHAR* Section, const FString& Filename)
{
	const std::lock_guard<std::mutex> Lock(Mutex);
	if (FFile* File = Files.Find(Filename))
	{
		File->Remove(Section);
	}
}

void FConfigCacheIni::UnloadFile(const FString& Filename)
{
	const std::lock_guard<std::mutex> Lock(Mutex);
	Files.Remove(Filename);
}

bool FConfigCacheIni::LoadFile(const FString& Path, const FString& Filename)
{
	std::ifstream Stream(FTCHARToUTF8(*Path).Get());
	if (!Stream)
	{
		return false;
	}
	FString Section;
	std::string Line;
	while (std::getline(Stream, Line))
	{
		const FString Text = FString(FUTF8ToTCHAR(Line.c_str()).Get()).TrimStartAndEnd();
		if (Text.IsEmpty() || Text[0] == u';' || Text[0] == u'#')
		{
			continue;
		}
		if (Text[0] == u'[' && Text[Text.Len() - 1] == u']')
		{
			Section = Text.Mid(1, Text.Len() - 2);
			continue;
		}
		FString Key;
		FString Value;
		if (!Section.IsEmpty() && Text.Split(TEXT("="), &Key, &Value))
		{
			SetString(*Section, *Key.TrimStartAndEnd(), *Value.TrimStartAndEnd(), Filename);
		}
	}
	return true;
}
