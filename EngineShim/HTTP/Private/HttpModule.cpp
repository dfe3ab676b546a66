#include "HttpModule.h"

#include <mutex>

#include "CurlHttpRequest.h"
#include "HttpLog.h"
#include "HttpManager.h"
#include "Misc/ConfigCacheIni.h"
#include "Modules/ModuleManager.h"
#include "SslCertificateStore.h"

DEFINE_LOG_CATEGORY(LogHttp);

IMPLEMENT_MODULE(FHttpModule, HTTP)

FHttpModule::FHttpModule() = default;

FHttpModule::~FHttpModule()
{
	// Reached without ShutdownModule only when the process exits: the thread still stops.
	delete HttpManager;
}

FHttpModule& FHttpModule::Get()
{
	static std::mutex GetMutex;
	const std::lock_guard<std::mutex> Lock(GetMutex);
	FModuleManager& ModuleManager = FModuleManager::Get();
	if (IModuleInterface* Loaded = ModuleManager.GetModule(TEXT("HTTP")))
	{
		return static_cast<FHttpModule&>(*Loaded);
	}
	// The module manager owns it from here and calls StartupModule.
	FHttpModule* Module = new FHttpModule();
	ModuleManager.AddModule(TEXT("HTTP"), Module);
	return *Module;
}

TSharedRef<IHttpRequest, ESPMode::ThreadSafe> FHttpModule::CreateRequest()
{
	return MakeShared<FCurlHttpRequest>();
}

FHttpManager& FHttpModule::GetHttpManager()
{
	if (!HttpManager)
	{
		// Only a module already shut down gets here; it runs again rather than crash.
		StartupModule();
	}
	return *HttpManager;
}

void FHttpModule::UpdateConfigs()
{
	GConfig->GetFloat(TEXT("HTTP"), TEXT("HttpTimeout"), HttpTimeout, GEngineIni);
	if (HttpManager)
	{
		HttpManager->UpdateConfigs();
		HttpManager->SetDefaultTimeout(HttpTimeout);
	}
}

void FHttpModule::StartupModule()
{
	HttpTimeout = 300.0f;
	// The engine's HTTP module loads the SSL module, which gathers the trusted certificates once.
	SslCertificateStore::Rebuild();
	UpdateConfigs();
	if (!HttpManager)
	{
		HttpManager = new FHttpManager();
		HttpManager->SetDefaultTimeout(HttpTimeout);
	}
}

void FHttpModule::ShutdownModule()
{
	if (HttpManager)
	{
		HttpManager->Shutdown();
		delete HttpManager;
		HttpManager = nullptr;
	}
}
