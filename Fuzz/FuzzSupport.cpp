#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include "Misc/OutputDeviceRedirector.h"

FString TalvaneFuzz::TextOf(const uint8_t* Data, const size_t Size)
{
	const FUTF8ToTCHAR Converted(reinterpret_cast<const ANSICHAR*>(Data), static_cast<int32>(Size));
	return FString(Converted.Length(), Converted.Get());
}

void TalvaneFuzz::SilenceConsole()
{
	if (GLogConsole != nullptr)
	{
		GLog->RemoveOutputDevice(GLogConsole);
	}
}

void TalvaneFuzz::Fail(const char* What)
{
	std::fprintf(stderr, "Fuzz property broken: %s\n", What);
	std::abort();
}

TalvaneFuzz::FLogLineCounter::FLogLineCounter()
{
	GLog->AddOutputDevice(this);
}

TalvaneFuzz::FLogLineCounter::~FLogLineCounter()
{
	GLog->RemoveOutputDevice(this);
}

void TalvaneFuzz::FLogLineCounter::Serialize(const TCHAR* /*V*/, ELogVerbosity::Type /*Verbosity*/, const FName& /*Category*/)
{
	++Lines;
}
