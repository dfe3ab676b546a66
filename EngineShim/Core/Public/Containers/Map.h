#pragma once

// Map with the engine's interface. Keys compare with == and hash with GetTypeHash, so FString
// keys ignore case; iteration follows insertion order until a removal.

#include <unordered_map>
#include <vector>

#include "Containers/Array.h"
#include "CoreTypes.h"
#include "Templates/Tuple.h"
#include "Templates/TypeHash.h"

template <typename InKeyType, typename InValueType>
class TMap
{
public:
	typedef InKeyType KeyType;
	typedef InValueType ValueType;
	typedef TPair<KeyType, ValueType> ElementType;

	TMap() = default;
	TMap(std::initializer_list<ElementType> InList)
	{
		for (const ElementType& Pair : InList)
		{
			Add(Pair.Key, Pair.Value);
		}
	}
	TMap(const TMap& Other) : Pairs(Other.Pairs) { Reindex(); }
	TMap(TMap&& Other) noexcept : Pairs(MoveTemp(Other.Pairs)) { Reindex(); Other.Empty(); }
	TMap& operator=(const TMap& Other)
	{
		if (this != &Other)
		{
			Pairs = Other.Pairs;
			Reindex();
		}
		return *this;
	}
	TMap& operator=(TMap&& Other) noexcept
	{
		if (this != &Other)
		{
			Pairs = MoveTemp(Other.Pairs);
			Reindex();
			Other.Empty();
		}
		return *this;
	}

	int32 Num() const { return static_cast<int32>(Pairs.size()); }
	bool IsEmpty() const { return Pairs.empty(); }

	/** Adds, or replaces the pair (key included, as the engine does); returns the stored value. */
	ValueType& Add(const KeyType& InKey, const ValueType& InValue) { return PairAt(Store(KeyType(InKey), ValueType(InValue))).Value; }
	ValueType& Add(const KeyType& InKey, ValueType&& InValue) { return PairAt(Store(KeyType(InKey), MoveTemp(InValue))).Value; }
	ValueType& Add(KeyType&& InKey, ValueType&& InValue) { return PairAt(Store(MoveTemp(InKey), MoveTemp(InValue))).Value; }
	ValueType& Add(KeyType&& InKey, const ValueType& InValue) { return PairAt(Store(MoveTemp(InKey), ValueType(InValue))).Value; }
	ValueType& Add(const KeyType& InKey) { return PairAt(Store(KeyType(InKey), ValueType())).Value; }
	ValueType& Emplace(KeyType&& InKey, ValueType&& InValue) { return PairAt(Store(MoveTemp(InKey), MoveTemp(InValue))).Value; }

	ValueType* Find(const KeyType& InKey)
	{
		const int32 Found = IndexOf(InKey);
		return Found == INDEX_NONE ? nullptr : &Pairs[static_cast<SIZE_T>(Found)].Value;
	}
	const ValueType* Find(const KeyType& InKey) const
	{
		const int32 Found = IndexOf(InKey);
		return Found == INDEX_NONE ? nullptr : &Pairs[static_cast<SIZE_T>(Found)].Value;
	}
	ValueType FindRef(const KeyType& InKey) const
	{
		const ValueType* Found = Find(InKey);
		return Found ? *Found : ValueType();
	}
	ValueType& FindOrAdd(const KeyType& InKey)
	{
		ValueType* Found = Find(InKey);
		return Found ? *Found : Add(InKey);
	}
	ValueType& FindChecked(const KeyType& InKey)
	{
		ValueType* Found = Find(InKey);
		check(Found);
		return *Found;
	}
	const ValueType& FindChecked(const KeyType& InKey) const
	{
		const ValueType* Found = Find(InKey);
		check(Found);
		return *Found;
	}
	ValueType& operator[](const KeyType& InKey) { return FindChecked(InKey); }
	const ValueType& operator[](const KeyType& InKey) const { return FindChecked(InKey); }
	bool Contains(const KeyType& InKey) const { return IndexOf(InKey) != INDEX_NONE; }

	/** Removes the key; returns how many pairs went (0 or 1). */
	int32 Remove(const KeyType& InKey)
	{
		const int32 Found = IndexOf(InKey);
		if (Found == INDEX_NONE)
		{
			return 0;
		}
		Pairs.erase(Pairs.begin() + Found);
		Reindex();
		return 1;
	}
	bool RemoveAndCopyValue(const KeyType& InKey, ValueType& OutValue)
	{
		ValueType* Found = Find(InKey);
		if (!Found)
		{
			return false;
		}
		OutValue = MoveTemp(*Found);
		Remove(InKey);
		return true;
	}

	void Empty(const int32 = 0)
	{
		Index.clear();
		std::vector<ElementType>().swap(Pairs);
	}
	void Reset()
	{
		Index.clear();
		Pairs.clear();
	}
	void Reserve(const int32 Number) { Pairs.reserve(static_cast<SIZE_T>(Number > 0 ? Number : 0)); }

	int32 GetKeys(TArray<KeyType>& OutKeys) const
	{
		OutKeys.Reset();
		for (const ElementType& Pair : Pairs)
		{
			OutKeys.Add(Pair.Key);
		}
		return OutKeys.Num();
	}
	void GenerateKeyArray(TArray<KeyType>& OutKeys) const { GetKeys(OutKeys); }
	void GenerateValueArray(TArray<ValueType>& OutValues) const
	{
		OutValues.Reset();
		for (const ElementType& Pair : Pairs)
		{
			OutValues.Add(Pair.Value);
		}
	}
	void Append(const TMap& Other)
	{
		for (const ElementType& Pair : Other.Pairs)
		{
			Add(Pair.Key, Pair.Value);
		}
	}

	auto begin() { return Pairs.begin(); }
	auto end() { return Pairs.end(); }
	auto begin() const { return Pairs.begin(); }
	auto end() const { return Pairs.end(); }

private:
	/** Refers to a key stored in Pairs (or, for look-ups, to a free key) so the index holds no copies. */
	struct FKeyRef
	{
		const std::vector<ElementType>* Owner = nullptr;
		int32 Position = INDEX_NONE;
		const KeyType* Loose = nullptr;
		const KeyType& Get() const { return Loose ? *Loose : (*Owner)[static_cast<SIZE_T>(Position)].Key; }
	};
	struct FHasher
	{
		SIZE_T operator()(const FKeyRef& Ref) const { return GetTypeHash(Ref.Get()); }
	};
	struct FEqual
	{
		bool operator()(const FKeyRef& A, const FKeyRef& B) const { return A.Get() == B.Get(); }
	};

	ElementType& PairAt(const int32 Position) { return Pairs[static_cast<SIZE_T>(Position)]; }

	/** Stores the pair and returns its position; an equal key is replaced with the new one. */
	int32 Store(KeyType&& InKey, ValueType&& InValue)
	{
		const int32 Existing = IndexOf(InKey);
		if (Existing != INDEX_NONE)
		{
			// The index refers to the stored key, which stays equal (ignoring case) after the swap.
			ElementType& Pair = PairAt(Existing);
			Pair.Key = MoveTemp(InKey);
			Pair.Value = MoveTemp(InValue);
			return Existing;
		}
		const int32 NewIndex = static_cast<int32>(Pairs.size());
		Pairs.emplace_back(MoveTemp(InKey), MoveTemp(InValue));
		Index.emplace(FKeyRef{&Pairs, NewIndex}, NewIndex);
		return NewIndex;
	}

	int32 IndexOf(const KeyType& InKey) const
	{
		const auto Found = Index.find(FKeyRef{nullptr, INDEX_NONE, &InKey});
		return Found == Index.end() ? INDEX_NONE : Found->second;
	}
	void Reindex()
	{
		Index.clear();
		for (int32 Position = 0; Position < static_cast<int32>(Pairs.size()); ++Position)
		{
			Index.emplace(FKeyRef{&Pairs, Position}, Position);
		}
	}

	std::vector<ElementType> Pairs;
	std::unordered_map<FKeyRef, int32, FHasher, FEqual> Index;
};
