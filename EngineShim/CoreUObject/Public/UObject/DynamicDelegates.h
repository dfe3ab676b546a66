#pragma once

// Dynamic multicast delegates: the delegates scripts bind to. A binding names a reflected
// function (UFUNCTION) of an object and holds the object weakly; Broadcast packs its arguments
// into the signature's parameter block and calls every live binding through the function's thunk.
//
// DECLARE_DYNAMIC_MULTICAST_DELEGATE_<N>Params(FName, Type1, Name1, ...) declares the delegate
// class; the header tool reads the same line and writes the wrapper that packs the arguments and
// the signature's UFunction.

#include "CoreMinimal.h"
#include "UObject/ObjectMacros.h"
#include "UObject/ScriptDelegates.h"

namespace UE::Delegates::Private
{
	/** "&UMyClass::OnThing" (as AddDynamic stringifies it) to "OnThing". */
	COREUOBJECT_API FName GetTrimmedMemberFunctionName(const TCHAR* InMacroFunctionName);
}

/** The common part of every dynamic multicast delegate class; only its macros bind to it. */
template <typename TWeakPtr, typename RetValType, typename... ParamTypes>
class TBaseDynamicMulticastDelegate : public TMulticastScriptDelegate<TWeakPtr>
{
public:
	typedef TScriptDelegate<TWeakPtr> FDelegate;

	TBaseDynamicMulticastDelegate() = default;
	explicit TBaseDynamicMulticastDelegate(const TMulticastScriptDelegate<TWeakPtr>& InMulticastScriptDelegate)
		: TMulticastScriptDelegate<TWeakPtr>(InMulticastScriptDelegate)
	{
	}

	/** The method pointer type that AddDynamic accepts: it must match the delegate's signature. */
	template <class UserClass>
	class TMethodPtrResolver
	{
	public:
		typedef RetValType (UserClass::*FMethodPtr)(ParamTypes... Params);
	};

	/** Use AddDynamic(Object, &UClass::Function): the method pointer only checks the signature. */
	template <class UserClass>
	void __Internal_AddDynamic(UserClass* InUserObject, typename TMethodPtrResolver<UserClass>::FMethodPtr InMethodPtr,
		FName InFunctionName)
	{
		check(InUserObject != nullptr && InMethodPtr != nullptr);
		this->Add(MakeBinding(InUserObject, InFunctionName));
	}

	template <class UserClass>
	void __Internal_AddUniqueDynamic(UserClass* InUserObject, typename TMethodPtrResolver<UserClass>::FMethodPtr InMethodPtr,
		FName InFunctionName)
	{
		check(InUserObject != nullptr && InMethodPtr != nullptr);
		this->AddUnique(MakeBinding(InUserObject, InFunctionName));
	}

	template <class UserClass>
	void __Internal_RemoveDynamic(UserClass* InUserObject, typename TMethodPtrResolver<UserClass>::FMethodPtr InMethodPtr,
		FName InFunctionName)
	{
		check(InUserObject != nullptr && InMethodPtr != nullptr);
		this->Remove(InUserObject, InFunctionName);
	}

	template <class UserClass>
	bool __Internal_IsAlreadyBound(UserClass* InUserObject, typename TMethodPtrResolver<UserClass>::FMethodPtr InMethodPtr,
		FName InFunctionName) const
	{
		check(InUserObject != nullptr && InMethodPtr != nullptr);
		return this->Contains(InUserObject, InFunctionName);
	}

private:
	static FDelegate MakeBinding(UObject* InUserObject, const FName& InFunctionName)
	{
		// The engine's check: a function that is no UFUNCTION cannot be called by name.
		ensureMsgf(InUserObject->FindFunction(InFunctionName) != nullptr,
			TEXT("Unable to bind delegate (function might not be marked as a UFUNCTION or object may be pending kill)"));
		FDelegate Binding;
		Binding.BindUFunction(InUserObject, InFunctionName);
		return Binding;
	}
};

#define STATIC_FUNCTION_FNAME(str) UE::Delegates::Private::GetTrimmedMemberFunctionName(str)

/** Binds a UFUNCTION of an object: Delegate.AddDynamic(this, &UMyClass::OnThing). */
#define AddDynamic(UserObject, FuncName) __Internal_AddDynamic(UserObject, FuncName, STATIC_FUNCTION_FNAME(TEXT(#FuncName)))
#define AddUniqueDynamic(UserObject, FuncName) __Internal_AddUniqueDynamic(UserObject, FuncName, STATIC_FUNCTION_FNAME(TEXT(#FuncName)))
#define RemoveDynamic(UserObject, FuncName) __Internal_RemoveDynamic(UserObject, FuncName, STATIC_FUNCTION_FNAME(TEXT(#FuncName)))
#define IsAlreadyBound(UserObject, FuncName) __Internal_IsAlreadyBound(UserObject, FuncName, STATIC_FUNCTION_FNAME(TEXT(#FuncName)))

#define FUNC_CONCAT(...) __VA_ARGS__

#define FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(TWeakPtr, DynamicMulticastDelegateName, ExecFunction, FuncParamList, FuncParamPassThru, ...) \
	class DynamicMulticastDelegateName : public TBaseDynamicMulticastDelegate<TWeakPtr, __VA_ARGS__> \
	{ \
	public: \
		DynamicMulticastDelegateName() = default; \
		explicit DynamicMulticastDelegateName(const TMulticastScriptDelegate<>& InMulticastScriptDelegate) \
			: TBaseDynamicMulticastDelegate<TWeakPtr, __VA_ARGS__>(InMulticastScriptDelegate) \
		{ \
		} \
		/** Calls every live binding with these arguments. */ \
		void Broadcast(FuncParamList) const \
		{ \
			ExecFunction(FuncParamPassThru); \
		} \
	};

#define DECLARE_DYNAMIC_MULTICAST_DELEGATE(DelegateName) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, , FUNC_CONCAT(*this), void)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_OneParam(DelegateName, Param1Type, Param1Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1), FUNC_CONCAT(*this, InParam1), void, Param1Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_TwoParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2), FUNC_CONCAT(*this, InParam1, InParam2), void, Param1Type, Param2Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_ThreeParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name, Param3Type, Param3Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2, Param3Type InParam3), FUNC_CONCAT(*this, InParam1, InParam2, InParam3), \
		void, Param1Type, Param2Type, Param3Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_FourParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name, Param3Type, Param3Name, \
	Param4Type, Param4Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2, Param3Type InParam3, Param4Type InParam4), \
		FUNC_CONCAT(*this, InParam1, InParam2, InParam3, InParam4), void, Param1Type, Param2Type, Param3Type, Param4Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_FiveParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name, Param3Type, Param3Name, \
	Param4Type, Param4Name, Param5Type, Param5Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2, Param3Type InParam3, Param4Type InParam4, Param5Type InParam5), \
		FUNC_CONCAT(*this, InParam1, InParam2, InParam3, InParam4, InParam5), void, Param1Type, Param2Type, Param3Type, Param4Type, \
		Param5Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_SixParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name, Param3Type, Param3Name, \
	Param4Type, Param4Name, Param5Type, Param5Name, Param6Type, Param6Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2, Param3Type InParam3, Param4Type InParam4, Param5Type InParam5, \
			Param6Type InParam6), \
		FUNC_CONCAT(*this, InParam1, InParam2, InParam3, InParam4, InParam5, InParam6), void, Param1Type, Param2Type, Param3Type, \
		Param4Type, Param5Type, Param6Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_SevenParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name, Param3Type, Param3Name, Param4Type, Param4Name, Param5Type, Param5Name, Param6Type, Param6Name, Param7Type, Param7Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2, Param3Type InParam3, Param4Type InParam4, Param5Type InParam5, Param6Type InParam6, Param7Type InParam7), \
		FUNC_CONCAT(*this, InParam1, InParam2, InParam3, InParam4, InParam5, InParam6, InParam7), void, Param1Type, Param2Type, Param3Type, Param4Type, Param5Type, Param6Type, Param7Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_EightParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name, Param3Type, Param3Name, Param4Type, Param4Name, Param5Type, Param5Name, Param6Type, Param6Name, Param7Type, Param7Name, Param8Type, Param8Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2, Param3Type InParam3, Param4Type InParam4, Param5Type InParam5, Param6Type InParam6, Param7Type InParam7, Param8Type InParam8), \
		FUNC_CONCAT(*this, InParam1, InParam2, InParam3, InParam4, InParam5, InParam6, InParam7, InParam8), void, Param1Type, Param2Type, Param3Type, Param4Type, Param5Type, Param6Type, Param7Type, Param8Type)
#define DECLARE_DYNAMIC_MULTICAST_DELEGATE_NineParams(DelegateName, Param1Type, Param1Name, Param2Type, Param2Name, Param3Type, Param3Name, Param4Type, Param4Name, Param5Type, Param5Name, Param6Type, Param6Name, Param7Type, Param7Name, Param8Type, Param8Name, Param9Type, Param9Name) \
	BODY_MACRO_COMBINE(CURRENT_FILE_ID, _, __LINE__, _DELEGATE) \
	FUNC_DECLARE_DYNAMIC_MULTICAST_DELEGATE(FWeakObjectPtr, DelegateName, DelegateName##_DelegateWrapper, \
		FUNC_CONCAT(Param1Type InParam1, Param2Type InParam2, Param3Type InParam3, Param4Type InParam4, Param5Type InParam5, Param6Type InParam6, Param7Type InParam7, Param8Type InParam8, Param9Type InParam9), \
		FUNC_CONCAT(*this, InParam1, InParam2, InParam3, InParam4, InParam5, InParam6, InParam7, InParam8, InParam9), void, Param1Type, Param2Type, Param3Type, Param4Type, Param5Type, Param6Type, Param7Type, Param8Type, Param9Type)
