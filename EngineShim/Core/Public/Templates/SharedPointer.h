#pragma once

// The engine's shared pointers on top of std::shared_ptr. Reference counting is atomic in both
// modes, which is what ESPMode::ThreadSafe promises and harmless for NotThreadSafe.

#include <memory>
#include <type_traits>

#include "CoreTypes.h"
#include "Templates/TypeHash.h"
#include "Templates/UnrealTemplate.h"

enum class ESPMode : uint8
{
	NotThreadSafe = 0,
	ThreadSafe = 1,
};

template <class ObjectType, ESPMode Mode = ESPMode::ThreadSafe> class TSharedRef;
template <class ObjectType, ESPMode Mode = ESPMode::ThreadSafe> class TSharedPtr;
template <class ObjectType, ESPMode Mode = ESPMode::ThreadSafe> class TWeakPtr;
template <class ObjectType, ESPMode Mode = ESPMode::ThreadSafe> class TSharedFromThis;

namespace UE::Core::Private
{
	/** Access to the std pointer inside, for the conversions between the pointer kinds. */
	struct FSharedAccess
	{
		template <typename PointerType>
		static const auto& Get(const PointerType& Pointer) { return Pointer.Std; }
	};

	template <typename ObjectType>
	struct TRawPtrProxy
	{
		ObjectType* Object;
	};
}

template <class ObjectType, ESPMode Mode>
class TSharedPtr
{
public:
	TSharedPtr() = default;
	TSharedPtr(std::nullptr_t) {}
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TSharedPtr(const TSharedPtr<OtherType, Mode>& Other) : Std(UE::Core::Private::FSharedAccess::Get(Other)) {}
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TSharedPtr(const TSharedRef<OtherType, Mode>& Other) : Std(UE::Core::Private::FSharedAccess::Get(Other)) {}
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TSharedPtr(UE::Core::Private::TRawPtrProxy<OtherType> Proxy) : Std(Proxy.Object) {}
	explicit TSharedPtr(std::shared_ptr<ObjectType> InStd) : Std(MoveTemp(InStd)) {}

	FORCEINLINE ObjectType* Get() const { return Std.get(); }
	FORCEINLINE bool IsValid() const { return Std != nullptr; }
	FORCEINLINE explicit operator bool() const { return IsValid(); }
	FORCEINLINE ObjectType* operator->() const { check(IsValid()); return Std.get(); }
	FORCEINLINE ObjectType& operator*() const { check(IsValid()); return *Std; }
	void Reset() { Std.reset(); }
	TSharedRef<ObjectType, Mode> ToSharedRef() const;
	int32 GetSharedReferenceCount() const { return static_cast<int32>(Std.use_count()); }
	bool IsUnique() const { return Std.use_count() == 1; }

	template <class OtherType>
	bool operator==(const TSharedPtr<OtherType, Mode>& Other) const { return Get() == Other.Get(); }
	bool operator==(std::nullptr_t) const { return !IsValid(); }
	bool operator!=(std::nullptr_t) const { return IsValid(); }

private:
	friend struct UE::Core::Private::FSharedAccess;
	std::shared_ptr<ObjectType> Std;
};

template <class ObjectType, ESPMode Mode>
class TSharedRef
{
public:
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TSharedRef(const TSharedRef<OtherType, Mode>& Other) : Std(UE::Core::Private::FSharedAccess::Get(Other)) {}
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TSharedRef(UE::Core::Private::TRawPtrProxy<OtherType> Proxy) : Std(Proxy.Object) { check(Std); }
	explicit TSharedRef(std::shared_ptr<ObjectType> InStd) : Std(MoveTemp(InStd)) { check(Std); }

	FORCEINLINE ObjectType& Get() const { return *Std; }
	FORCEINLINE ObjectType* operator->() const { return Std.get(); }
	FORCEINLINE ObjectType& operator*() const { return *Std; }
	FORCEINLINE bool IsValid() const { return true; }
	TSharedPtr<ObjectType, Mode> ToSharedPtr() const { return TSharedPtr<ObjectType, Mode>(Std); }
	int32 GetSharedReferenceCount() const { return static_cast<int32>(Std.use_count()); }

	template <class OtherType>
	bool operator==(const TSharedRef<OtherType, Mode>& Other) const { return &Get() == &Other.Get(); }

private:
	friend struct UE::Core::Private::FSharedAccess;
	std::shared_ptr<ObjectType> Std;
};

template <class ObjectType, ESPMode Mode>
class TWeakPtr
{
public:
	TWeakPtr() = default;
	TWeakPtr(std::nullptr_t) {}
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TWeakPtr(const TSharedPtr<OtherType, Mode>& Other) : Std(UE::Core::Private::FSharedAccess::Get(Other)) {}
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TWeakPtr(const TSharedRef<OtherType, Mode>& Other) : Std(UE::Core::Private::FSharedAccess::Get(Other)) {}
	template <class OtherType, typename = std::enable_if_t<std::is_convertible_v<OtherType*, ObjectType*>>>
	TWeakPtr(const TWeakPtr<OtherType, Mode>& Other) : Std(UE::Core::Private::FSharedAccess::Get(Other)) {}

	TSharedPtr<ObjectType, Mode> Pin() const { return TSharedPtr<ObjectType, Mode>(Std.lock()); }
	bool IsValid() const { return !Std.expired(); }
	bool IsStale() const { return Std.expired(); }
	void Reset() { Std.reset(); }
	bool HasSameObject(const ObjectType* Other) const { return Pin().Get() == Other; }

private:
	friend struct UE::Core::Private::FSharedAccess;
	std::weak_ptr<ObjectType> Std;
};

template <class ObjectType, ESPMode Mode>
TSharedRef<ObjectType, Mode> TSharedPtr<ObjectType, Mode>::ToSharedRef() const
{
	check(IsValid());
	return TSharedRef<ObjectType, Mode>(Std);
}

/** Base for objects that need a shared reference to themselves (AsShared, SharedThis). */
template <class ObjectType, ESPMode Mode>
class TSharedFromThis : public std::enable_shared_from_this<ObjectType>
{
public:
	TSharedRef<ObjectType, Mode> AsShared() { return TSharedRef<ObjectType, Mode>(this->shared_from_this()); }
	TSharedRef<const ObjectType, Mode> AsShared() const
	{
		return TSharedRef<const ObjectType, Mode>(std::shared_ptr<const ObjectType>(this->shared_from_this()));
	}
	TWeakPtr<ObjectType, Mode> AsWeak() { return TWeakPtr<ObjectType, Mode>(TSharedPtr<ObjectType, Mode>(this->weak_from_this().lock())); }
	bool DoesSharedInstanceExist() const { return !this->weak_from_this().expired(); }

protected:
	template <class OtherType>
	static TSharedRef<OtherType, Mode> SharedThis(OtherType* ThisPtr)
	{
		return TSharedRef<OtherType, Mode>(std::static_pointer_cast<OtherType>(ThisPtr->shared_from_this()));
	}
};

template <class ObjectType, ESPMode Mode = ESPMode::ThreadSafe, typename... ArgTypes>
TSharedRef<ObjectType, Mode> MakeShared(ArgTypes&&... Args)
{
	return TSharedRef<ObjectType, Mode>(std::make_shared<ObjectType>(Forward<ArgTypes>(Args)...));
}

template <class ObjectType>
UE::Core::Private::TRawPtrProxy<ObjectType> MakeShareable(ObjectType* Object)
{
	return UE::Core::Private::TRawPtrProxy<ObjectType>{Object};
}

template <class ToType, class FromType, ESPMode Mode>
TSharedPtr<ToType, Mode> StaticCastSharedPtr(const TSharedPtr<FromType, Mode>& Pointer)
{
	return TSharedPtr<ToType, Mode>(std::static_pointer_cast<ToType>(UE::Core::Private::FSharedAccess::Get(Pointer)));
}

template <class ToType, class FromType, ESPMode Mode>
TSharedRef<ToType, Mode> StaticCastSharedRef(const TSharedRef<FromType, Mode>& Pointer)
{
	return TSharedRef<ToType, Mode>(std::static_pointer_cast<ToType>(UE::Core::Private::FSharedAccess::Get(Pointer)));
}

template <class ToType, class FromType, ESPMode Mode>
TSharedPtr<ToType, Mode> ConstCastSharedPtr(const TSharedPtr<FromType, Mode>& Pointer)
{
	return TSharedPtr<ToType, Mode>(std::const_pointer_cast<ToType>(UE::Core::Private::FSharedAccess::Get(Pointer)));
}

template <class ObjectType, ESPMode Mode>
uint32 GetTypeHash(const TSharedPtr<ObjectType, Mode>& Pointer)
{
	return GetTypeHash(Pointer.Get());
}

template <class ObjectType, ESPMode Mode>
uint32 GetTypeHash(const TSharedRef<ObjectType, Mode>& Pointer)
{
	return GetTypeHash(&Pointer.Get());
}
