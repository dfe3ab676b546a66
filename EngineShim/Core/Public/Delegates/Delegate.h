#pragma once

// Single-cast delegates with the engine's binding kinds. A binding to a shared-pointer object
// holds it weakly: once the object is gone the delegate is unbound and a call does nothing.

#include <functional>
#include <type_traits>

#include "CoreTypes.h"
#include "Templates/SharedPointer.h"

template <typename FuncType> class TDelegate;

template <typename RetValType, typename... ParamTypes>
class TDelegate<RetValType(ParamTypes...)>
{
public:
	TDelegate() = default;
	TDelegate(std::nullptr_t) {}

	template <typename FunctorType>
	static TDelegate CreateLambda(FunctorType&& Functor)
	{
		TDelegate Result;
		Result.Invoke = std::function<RetValType(ParamTypes...)>(Forward<FunctorType>(Functor));
		return Result;
	}
	template <typename FunctorType>
	static TDelegate CreateWeakLambda(const void*, FunctorType&& Functor) { return CreateLambda(Forward<FunctorType>(Functor)); }

	static TDelegate CreateStatic(RetValType (*Function)(ParamTypes...))
	{
		return CreateLambda(Function);
	}

	/** Binds an object by plain pointer: the caller guarantees it outlives the binding. */
	template <typename UserClass, typename MethodType>
	static TDelegate CreateRaw(UserClass* Object, MethodType Method)
	{
		return CreateLambda([Object, Method](ParamTypes... Params) -> RetValType
		{
			return (Object->*Method)(Forward<ParamTypes>(Params)...);
		});
	}

	template <typename UserClass, ESPMode Mode, typename MethodType>
	static TDelegate CreateSP(const TSharedRef<UserClass, Mode>& Object, MethodType Method)
	{
		return CreateWeak(TWeakPtr<UserClass, Mode>(Object), Method);
	}
	template <typename UserClass, ESPMode Mode, typename MethodType>
	static TDelegate CreateSP(const TSharedPtr<UserClass, Mode>& Object, MethodType Method)
	{
		return CreateWeak(TWeakPtr<UserClass, Mode>(Object), Method);
	}
	template <typename UserClass, typename MethodType>
	static TDelegate CreateSP(UserClass* Object, MethodType Method)
	{
		return CreateWeak(TWeakPtr<UserClass>(TSharedPtr<UserClass>(Object->AsShared())), Method);
	}
	template <typename UserClass, ESPMode Mode, typename MethodType>
	static TDelegate CreateThreadSafeSP(const TSharedRef<UserClass, Mode>& Object, MethodType Method)
	{
		return CreateSP(Object, Method);
	}
	template <typename UserClass, ESPMode Mode, typename MethodType>
	static TDelegate CreateThreadSafeSP(const TSharedPtr<UserClass, Mode>& Object, MethodType Method)
	{
		return CreateSP(Object, Method);
	}
	template <typename UserClass, typename MethodType>
	static TDelegate CreateThreadSafeSP(UserClass* Object, MethodType Method)
	{
		return CreateSP(Object, Method);
	}

	template <typename FunctorType>
	void BindLambda(FunctorType&& Functor) { *this = CreateLambda(Forward<FunctorType>(Functor)); }
	void BindStatic(RetValType (*Function)(ParamTypes...)) { *this = CreateStatic(Function); }
	template <typename UserClass, typename MethodType>
	void BindRaw(UserClass* Object, MethodType Method) { *this = CreateRaw(Object, Method); }
	template <typename ObjectPtrType, typename MethodType>
	void BindSP(const ObjectPtrType& Object, MethodType Method) { *this = CreateSP(Object, Method); }
	template <typename ObjectPtrType, typename MethodType>
	void BindThreadSafeSP(const ObjectPtrType& Object, MethodType Method) { *this = CreateThreadSafeSP(Object, Method); }

	/** True when bound and, for a weak binding, while the object lives. */
	bool IsBound() const { return static_cast<bool>(Invoke) && (!IsAlive || IsAlive()); }
	void Unbind()
	{
		Invoke = nullptr;
		IsAlive = nullptr;
	}

	RetValType Execute(ParamTypes... Params) const
	{
		check(IsBound());
		return Invoke(Forward<ParamTypes>(Params)...);
	}

	/** Calls the binding when there is one; returns whether it ran. */
	template <typename R = RetValType, typename = std::enable_if_t<std::is_void_v<R>>>
	bool ExecuteIfBound(ParamTypes... Params) const
	{
		if (!IsBound())
		{
			return false;
		}
		// A copy keeps the callable alive should it rebind this delegate while it runs.
		const std::function<RetValType(ParamTypes...)> Callable = Invoke;
		Callable(Forward<ParamTypes>(Params)...);
		return true;
	}

private:
	template <typename UserClass, ESPMode Mode, typename MethodType>
	static TDelegate CreateWeak(TWeakPtr<UserClass, Mode> Weak, MethodType Method)
	{
		TDelegate Result;
		Result.IsAlive = [Weak]() { return Weak.IsValid(); };
		Result.Invoke = [Weak, Method](ParamTypes... Params) -> RetValType
		{
			// Pinned for the whole call, so the object cannot die half-way through it.
			const TSharedPtr<UserClass, Mode> Pinned = Weak.Pin();
			if (!Pinned)
			{
				if constexpr (std::is_void_v<RetValType>)
				{
					return;
				}
				else
				{
					return RetValType();
				}
			}
			return ((*Pinned).*Method)(Forward<ParamTypes>(Params)...);
		};
		return Result;
	}

	std::function<RetValType(ParamTypes...)> Invoke;
	std::function<bool()> IsAlive;
};

#define DECLARE_DELEGATE(DelegateName) typedef TDelegate<void()> DelegateName;
#define DECLARE_DELEGATE_OneParam(DelegateName, P1) typedef TDelegate<void(P1)> DelegateName;
#define DECLARE_DELEGATE_TwoParams(DelegateName, P1, P2) typedef TDelegate<void(P1, P2)> DelegateName;
#define DECLARE_DELEGATE_ThreeParams(DelegateName, P1, P2, P3) typedef TDelegate<void(P1, P2, P3)> DelegateName;
#define DECLARE_DELEGATE_FourParams(DelegateName, P1, P2, P3, P4) typedef TDelegate<void(P1, P2, P3, P4)> DelegateName;
#define DECLARE_DELEGATE_FiveParams(DelegateName, P1, P2, P3, P4, P5) typedef TDelegate<void(P1, P2, P3, P4, P5)> DelegateName;
#define DECLARE_DELEGATE_SixParams(DelegateName, P1, P2, P3, P4, P5, P6) typedef TDelegate<void(P1, P2, P3, P4, P5, P6)> DelegateName;
#define DECLARE_DELEGATE_RetVal(RetValType, DelegateName) typedef TDelegate<RetValType()> DelegateName;
#define DECLARE_DELEGATE_RetVal_OneParam(RetValType, DelegateName, P1) typedef TDelegate<RetValType(P1)> DelegateName;
#define DECLARE_DELEGATE_RetVal_TwoParams(RetValType, DelegateName, P1, P2) typedef TDelegate<RetValType(P1, P2)> DelegateName;
