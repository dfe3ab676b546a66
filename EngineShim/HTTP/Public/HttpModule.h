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

	/** Starts the manager and its HTTP thread. */
	void StartupModule() override;

	/** Unbinds every request's delegates, flushes within the "Shutdown" limits and stops the HTTP thread. */
	void ShutdownModule() override;

private:
	FHttpManager* HttpManager = nullptr;
};
