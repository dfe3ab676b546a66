// Records, wire codec, HTTP transport and request manager of the Talvane plugin.

using UnrealBuildTool;

public class Talvane : ModuleRules
{
	public Talvane(ReadOnlyTargetRules Target) : base(Target)
	{
		PCHUsage = PCHUsageMode.UseExplicitOrSharedPCHs;

		PublicDependencyModuleNames.AddRange(
			new string[]
			{
				"Core",
				"CoreUObject",
			});

		PrivateDependencyModuleNames.AddRange(
			new string[]
			{
				"HTTP",
				"Json",
			});
	}
}
