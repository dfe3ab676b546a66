#pragma once

// The certificates a TLS peer is verified against, gathered as the engine's SSL module gathers them
// on Linux (FSslCertificateManager::BuildRootCertificateArray and its Unix override), once each time
// the HTTP module starts:
//   - [SSL] OverrideCertificateBundlePath in the engine ini, a PEM bundle, when that file exists (the
//     engine reads it in builds other than Shipping, in place of the bundle it ships with);
//   - [SSL] DebuggingCertificatePath, one more PEM certificate, when that file exists;
//   - the platform's bundle, the first of the engine's known paths that exists, unless
//     [SSL] bUsePlatformProvidedCertificates is false.
// The engine adds them to every TLS context (sslctx_function); the stand-in hands libcurl the same
// certificates as one PEM blob and nothing else, so only they decide which peers are trusted.

#include <memory>
#include <string>

namespace SslCertificateStore
{
	/** Game thread, at module startup: reads the settings and files above again. */
	void Rebuild();

	/** The PEM text of every trusted certificate; empty when there is none. Any thread. */
	std::shared_ptr<const std::string> Get();
}
