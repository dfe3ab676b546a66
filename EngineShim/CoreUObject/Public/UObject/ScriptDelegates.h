#pragma once

// Script delegates: bindings of an object and the name of one of its reflected functions,
// called through the function's thunk with a parameter block.

#include "CoreMinimal.h"
#include "UObject/Object.h"
#include "UObject/WeakObjectPtr.h"

/** One binding: an object, held weakly, and the name of a reflected function of its class. */
template <typename TWeakPtr = FWeakObjectPtr>
class TScriptDelegate
{
public:
	void BindUFunction(UObject* InObject, const FName& InFunctionName)
	{
		Object = InObject;
		FunctionName = InFunctionName;
	}

	/** True while the object lives and its class has the function. */
	bool IsBound() const { return IsBound_Internal<UObject>(); }
	/** True when the object is gone, so the binding can be dropped. */
	bool IsCompactable() const { return FunctionName.IsNone() || !Object.Get(true); }
	bool IsBoundToObject(const void* InUserObject) const { return InUserObject && InUserObject == Object.Get(true); }
	void Unbind()
	{
		Object.Reset();
		FunctionName = NAME_None;
	}

	UObject* GetUObject() const { return Object.Get(); }
	FName GetFunctionName() const { return FunctionName; }

	/** Calls the bound function; the binding must be bound. */
	template <class UObjectTemplate>
	void ProcessDelegate(void* Parameters) const
	{
		UObjectTemplate* ObjectPtr = static_cast<UObjectTemplate*>(Object.Get());
		check(ObjectPtr != nullptr);
		UFunction* Function = ObjectPtr->FindFunctionChecked(FunctionName);
		ObjectPtr->ProcessEvent(Function, Parameters);
	}

	bool operator==(const TScriptDelegate& Other) const { return Object == Other.Object && FunctionName == Other.FunctionName; }

private:
	template <class UObjectTemplate>
	bool IsBound_Internal() const
	{
		if (FunctionName.IsNone())
		{
			return false;
		}
		UObjectTemplate* ObjectPtr = static_cast<UObjectTemplate*>(Object.Get());
		return ObjectPtr && ObjectPtr->FindFunction(FunctionName) != nullptr;
	}

	TWeakPtr Object;
	FName FunctionName;
};

/** An ordered list of script delegate bindings, called one after another. */
template <typename TWeakPtr = FWeakObjectPtr>
class TMulticastScriptDelegate
{
public:
	typedef TArray<TScriptDelegate<TWeakPtr>> FInvocationList;

	/** True when anything was bound, even to an object that has died since (the engine's rule). */
	bool IsBound() const { return InvocationList.Num() > 0; }

	bool Contains(const TScriptDelegate<TWeakPtr>& InDelegate) const { return InvocationList.Contains(InDelegate); }
	bool Contains(const UObject* InObject, FName InFunctionName) const
	{
		return InvocationList.ContainsByPredicate([InObject, &InFunctionName](const TScriptDelegate<TWeakPtr>& Binding)
		{
			return Binding.IsBoundToObject(InObject) && Binding.GetFunctionName() == InFunctionName;
		});
	}

	/** Adds a binding; dead bindings are dropped first. */
	void Add(const TScriptDelegate<TWeakPtr>& InDelegate)
	{
		CompactInvocationList();
		// The engine's check: binding the same function of the same object twice is a mistake.
		ensure(!InvocationList.Contains(InDelegate));
		InvocationList.Add(InDelegate);
	}
	void AddUnique(const TScriptDelegate<TWeakPtr>& InDelegate)
	{
		CompactInvocationList();
		InvocationList.AddUnique(InDelegate);
	}
	void Remove(const TScriptDelegate<TWeakPtr>& InDelegate) { InvocationList.Remove(InDelegate); }
	void Remove(const UObject* InObject, FName InFunctionName)
	{
		InvocationList.RemoveAll([InObject, &InFunctionName](const TScriptDelegate<TWeakPtr>& Binding)
		{
			return Binding.IsBoundToObject(InObject) && Binding.GetFunctionName() == InFunctionName;
		});
	}
	void RemoveAll(const UObject* InObject)
	{
		InvocationList.RemoveAll([InObject](const TScriptDelegate<TWeakPtr>& Binding) { return Binding.IsBoundToObject(InObject); });
	}
	void Clear() { InvocationList.Empty(); }

	/**
	 * Calls every live binding with the parameter block. The list is copied first, so bindings
	 * added or removed by a callee take effect from the next call; dead bindings are skipped and dropped.
	 */
	template <class UObjectTemplate>
	void ProcessMulticastDelegate(void* Parameters) const
	{
		const FInvocationList InvocationListCopy = InvocationList;
		for (const TScriptDelegate<TWeakPtr>& Binding : InvocationListCopy)
		{
			if (Binding.IsBound())
			{
				Binding.template ProcessDelegate<UObjectTemplate>(Parameters);
			}
			else if (Binding.IsCompactable())
			{
				InvocationList.Remove(Binding);
			}
		}
	}

protected:
	void CompactInvocationList() const
	{
		InvocationList.RemoveAll([](const TScriptDelegate<TWeakPtr>& Binding) { return Binding.IsCompactable(); });
	}

	mutable FInvocationList InvocationList;
};

typedef TScriptDelegate<> FScriptDelegate;
typedef TMulticastScriptDelegate<> FMulticastScriptDelegate;
