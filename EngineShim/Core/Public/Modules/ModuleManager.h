#pragma once

// The module manager: loads a module's shared library, calls its exported entry point and its
// StartupModule, and shuts modules down in reverse order of loading.

#include <memory>
#include <mutex>
#include <vector>

#include "Containers/UnrealString.h"
#include "CoreTypes.h"
#include "Modules/ModuleInterface.h"
#include "UObject/NameTypes.h"

typedef IModuleInterface* (*FInitializeModuleFunctionPtr)();

class FDefaultModuleImpl : public IModuleInterface
{
};

class FDefaultGameModuleImpl : public FDefaultModuleImpl
{
public:
	bool IsGameModule() const override { return true; }
};

class CORE_API FModuleManager
{
public:
	static FModuleManager& Get();

	/** Loads and starts the module, or returns it when already loaded; null when it cannot be found. */
	IModuleInterface* LoadModule(const FName InModuleName);
	IModuleInterface& LoadModuleChecked(const FName InModuleName);
	template <typename TModuleInterface>
	static TModuleInterface& LoadModuleChecked(const FName InModuleName)
	{
		return static_cast<TModuleInterface&>(Get().LoadModuleChecked(InModuleName));
	}
	template <typename TModuleInterface>
	static TModuleInterface* LoadModulePtr(const FName InModuleName)
	{
		return static_cast<TModuleInterface*>(Get().LoadModule(InModuleName));
	}
	template <typename TModuleInterface>
	static TModuleInterface& GetModuleChecked(const FName InModuleName)
	{
		IModuleInterface* Module = Get().GetModule(InModuleName);
		check(Module);
		return static_cast<TModuleInterface&>(*Module);
	}

	IModuleInterface* GetModule(const FName InModuleName) const;
	bool IsModuleLoaded(const FName InModuleName) const;
	/** Shuts one module down and forgets it; its library stays mapped. */
	bool UnloadModule(const FName InModuleName, bool bIsShutdown = false);
	/** Shuts every loaded module down, in reverse order of loading. */
	void UnloadModulesAtShutdown();

	/** Registers a module object made by the caller (the engine does this for statically linked modules). */
	void AddModule(const FName InModuleName, IModuleInterface* InModule);

private:
	struct FModuleInfo
	{
		FName Name;
		std::unique_ptr<IModuleInterface> Module;
		void* Handle = nullptr;
	};

	void* OpenModuleLibrary(const FName InModuleName) const;

	mutable std::recursive_mutex Mutex;
	std::vector<FModuleInfo> Modules;
};

/** Defines the exported entry point through which the module manager creates the module object. */
#define IMPLEMENT_MODULE(ModuleImplClass, ModuleName) \
	extern "C" DLLEXPORT IModuleInterface* InitializeModule() \
	{ \
		return new ModuleImplClass(); \
	}

#define IMPLEMENT_GAME_MODULE(ModuleImplClass, ModuleName) IMPLEMENT_MODULE(ModuleImplClass, ModuleName)
#define IMPLEMENT_PRIMARY_GAME_MODULE(ModuleImplClass, ModuleName, GameName) IMPLEMENT_MODULE(ModuleImplClass, ModuleName)
