#pragma once

#include "CoreTypes.h"
#include "HttpFwd.h"
#include "Modules/ModuleInterface.h"

class FHttpManager;

/**
 * The HTTP module: makes requests and owns the manager that runs them. Get() loads the module
 * (registered with the module manager as "HTTP") on first use; unloading it through the
 * module manager shuts it down as the engine does, and a later Get() starts a fresh one.
 */
class HTTP_API FHttpModule : public IModuleInterface
{
public:
	FHttpModule();
	~FHttpModule() override;

	/** The module, loaded on first use. Call on the game thread. */
	static FHttpModule& Get();

	/** A new request, not yet started. */
	TSharedRef<IHttpRequest, ESPMode::ThreadSafe> CreateRequest();

	/** The manager that ticks and flushes the requests in flight. */
	FHttpManager& GetHttpManager();

	/**
	 * Re-reads the "[HTTP]" section of the engine ini (HttpTimeout, then the manager's flush
	 * limits). StartupModule calls it; later changes to the ini take effect only through it.
	 */
	void UpdateConfigs();

	/** The inactivity time-out, in seconds, of a request that sets none ("[HTTP] HttpTimeout"). */
	float GetHttpTimeout() const { return HttpTimeout; }

	/** Reads the ini (UpdateConfigs), then starts the manager and its HTTP thread. */
	void StartupModule() override;

	/** Unbinds every request's delegates, flushes within the "Shutdown" limits and stops the HTTP thread. */
	void ShutdownModule() override;

private:
	FHttpManager* HttpManager = nullptr;
	/** The engine's own value when the ini has none (BaseEngine.ini sets 180). */
	float HttpTimeout = 300.0f;
};
