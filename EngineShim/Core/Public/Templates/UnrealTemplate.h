#pragma once

#include <type_traits>
#include <utility>

#include "HAL/Platform.h"

/** Casts to an rvalue; refuses a const argument, as the engine does. */
template <typename T>
FORCEINLINE std::remove_reference_t<T>&& MoveTemp(T&& Obj)
{
	static_assert(!std::is_const_v<std::remove_reference_t<T>>, "MoveTemp called on a const object");
	return static_cast<std::remove_reference_t<T>&&>(Obj);
}

template <typename T>
FORCEINLINE T&& Forward(std::remove_reference_t<T>& Obj)
{
	return static_cast<T&&>(Obj);
}

template <typename T>
FORCEINLINE T&& Forward(std::remove_reference_t<T>&& Obj)
{
	return static_cast<T&&>(Obj);
}

template <typename T>
FORCEINLINE void Swap(T& A, T& B)
{
	std::swap(A, B);
}

template <typename T, typename U = T>
FORCEINLINE T Exchange(T& Value, U&& NewValue)
{
	return std::exchange(Value, std::forward<U>(NewValue));
}
