#include "Misc/AutomationTest.h"
#include "UObject/Package.h"
#include "UObject/UObjectGlobals.h"

#if WITH_DEV_AUTOMATION_TESTS

// The engine runs each step of a spec on a frame of its own and may collect garbage between frames:
// an object nothing holds does not outlive the step that made it, and a rooted one does.
BEGIN_DEFINE_SPEC(FSpecCollectionSpec, "Talvane.AutomationTest.Collection", EAutomationTestFlags::ProductFilter | EAutomationTestFlags::ApplicationContextMask)
	FWeakObjectPtr Loose;
	FWeakObjectPtr Held;
END_DEFINE_SPEC(FSpecCollectionSpec)

void FSpecCollectionSpec::Define()
{
	BeforeEach([this]()
	{
		Loose = NewObject<UPackage>(nullptr, FName(TEXT("/Temp/SpecCollection_Loose")));
		UPackage* Rooted = NewObject<UPackage>(nullptr, FName(TEXT("/Temp/SpecCollection_Held")));
		Rooted->AddToRoot();
		Held = Rooted;
	});

	AfterEach([this]()
	{
		if (UObject* Rooted = Held.Get())
		{
			Rooted->RemoveFromRoot();
		}
	});

	It(TEXT("frees between steps what nothing holds and keeps what is rooted"), [this]()
	{
		TestFalse(TEXT("the unreferenced object is gone"), Loose.IsValid());
		TestTrue(TEXT("the stale pointer knows it was there"), Loose.IsStale());
		TestTrue(TEXT("the rooted object lives"), Held.IsValid());
	});
}

#endif
