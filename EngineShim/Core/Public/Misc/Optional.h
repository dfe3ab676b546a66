#pragma once

// The engine's optional value.

#include <optional>

#include "CoreTypes.h"
#include "Templates/UnrealTemplate.h"

template <typename OptionalType>
class TOptional
{
public:
	TOptional() = default;
	TOptional(const OptionalType& InValue) : Value(InValue) {}
	TOptional(OptionalType&& InValue) : Value(MoveTemp(InValue)) {}

	/** True when a value is held. */
	bool IsSet() const { return Value.has_value(); }
	explicit operator bool() const { return IsSet(); }

	/** The held value; only call when IsSet(). */
	const OptionalType& GetValue() const { check(IsSet()); return *Value; }
	OptionalType& GetValue() { check(IsSet()); return *Value; }
	const OptionalType& operator*() const { return GetValue(); }
	const OptionalType* operator->() const { return &GetValue(); }

	/** The held value, or DefaultValue when none is held. */
	const OptionalType& Get(const OptionalType& DefaultValue) const { return IsSet() ? *Value : DefaultValue; }
	const OptionalType* GetPtrOrNull() const { return IsSet() ? &*Value : nullptr; }

	template <typename... ArgTypes>
	OptionalType& Emplace(ArgTypes&&... Args) { return Value.emplace(Forward<ArgTypes>(Args)...); }
	void Reset() { Value.reset(); }

	friend bool operator==(const TOptional& A, const TOptional& B) { return A.Value == B.Value; }
	friend bool operator!=(const TOptional& A, const TOptional& B) { return !(A == B); }

private:
	std::optional<OptionalType> Value;
};
