#include "SslCertificateStore.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "Containers/StringConv.h"
#include "CoreGlobals.h"
#include "Logging/LogMacros.h"
#include "Misc/ConfigCacheIni.h"

// The engine's SSL module logs to its own category; the stand-in has no SSL module, so it lives here.
DEFINE_LOG_CATEGORY_STATIC(LogSsl, Log, All)

namespace
{
	const char* const BeginCertificate = "-----BEGIN CERTIFICATE-----";
	const char* const EndCertificate = "-----END CERTIFICATE-----";

	std::mutex StoreMutex;
	std::shared_ptr<const std::string> Store = std::make_shared<const std::string>();

	bool ReadFile(const FString& InPath, std::string& OutText)
	{
		std::ifstream File(FTCHARToUTF8(*InPath).Get(), std::ios::binary);
		if (!File)
		{
			return false;
		}
		OutText.assign(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
		return true;
	}

	/** Every whole PEM certificate of InText, or only the first one, each followed by a line break. */
	std::string TakeCertificates(const std::string& InText, const bool bFirstOnly)
	{
		std::string Taken;
		std::string::size_type Begin = InText.find(BeginCertificate);
		while (Begin != std::string::npos)
		{
			const std::string::size_type End = InText.find(EndCertificate, Begin);
			if (End == std::string::npos)
			{
				break;
			}
			const std::string::size_type After = End + std::char_traits<char>::length(EndCertificate);
			Taken.append(InText, Begin, After - Begin).push_back('\n');
			if (bFirstOnly)
			{
				break;
			}
			Begin = InText.find(BeginCertificate, After);
		}
		return Taken;
	}

	/** A PEM file named by an [SSL] key, when the key is set and the file exists. */
	bool ReadConfiguredFile(const TCHAR* InKey, std::string& OutText)
	{
		FString Path;
		return GConfig->GetString(TEXT("SSL"), InKey, Path, GEngineIni) && !Path.IsEmpty() && ReadFile(Path, OutText);
	}

	std::string ReadPlatformBundle()
	{
		bool bUsePlatformProvidedCertificates = true;
		if (GConfig->GetBool(TEXT("SSL"), TEXT("bUsePlatformProvidedCertificates"), bUsePlatformProvidedCertificates, GEngineIni)
			&& !bUsePlatformProvidedCertificates)
		{
			return std::string();
		}
		static const TCHAR* const KnownBundlePaths[] = {TEXT("/etc/pki/tls/certs/ca-bundle.crt"), TEXT("/etc/ssl/certs/ca-certificates.crt"),
			TEXT("/etc/ssl/ca-bundle.pem")};
		for (const TCHAR* const Path : KnownBundlePaths)
		{
			UE_LOG(LogSsl, Log, TEXT("Checking if '%s' exists"), Path);
			std::string Text;
			if (ReadFile(Path, Text))
			{
				UE_LOG(LogSsl, Log, TEXT("Loading certificates from %s"), Path);
				return TakeCertificates(Text, false);
			}
		}
		UE_LOG(LogSsl, Warning, TEXT("Unable to find a cert bundle in any of known locations. TLS may not work."));
		return std::string();
	}
}

namespace SslCertificateStore
{
	void Rebuild()
	{
		std::string Bundle;
		std::string Text;
		if (ReadConfiguredFile(TEXT("OverrideCertificateBundlePath"), Text))
		{
			Bundle += TakeCertificates(Text, false);
		}
		if (ReadConfiguredFile(TEXT("DebuggingCertificatePath"), Text))
		{
			// The engine reads one certificate from this file.
			Bundle += TakeCertificates(Text, true);
		}
		Bundle += ReadPlatformBundle();
		const std::lock_guard<std::mutex> Lock(StoreMutex);
		Store = std::make_shared<const std::string>(std::move(Bundle));
	}

	std::shared_ptr<const std::string> Get()
	{
		const std::lock_guard<std::mutex> Lock(StoreMutex);
		return Store;
	}
}
