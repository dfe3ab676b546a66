#pragma once

#include "Templates/UnrealTemplate.h"

/** A key and a value, as TMap stores and iterates them. */
template <typename KeyType, typename ValueType>
struct TPair
{
	KeyType Key;
	ValueType Value;

	TPair() = default;
	TPair(const KeyType& InKey, const ValueType& InValue) : Key(InKey), Value(InValue) {}
	TPair(KeyType&& InKey, ValueType&& InValue) : Key(MoveTemp(InKey)), Value(MoveTemp(InValue)) {}

	bool operator==(const TPair& Other) const { return Key == Other.Key && Value == Other.Value; }
};

template <typename KeyType, typename ValueType>
using TTuple = TPair<KeyType, ValueType>;
