#pragma once

// Dynamic array with the engine's interface: int32 sizes and indices, clamped removal,
// and the engine's names. Storage is a std::vector.

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "CoreTypes.h"
#include "Templates/UnrealTemplate.h"

template <typename InElementType>
class TArray
{
public:
	typedef InElementType ElementType;
	typedef int32 SizeType;

	TArray() = default;
	TArray(std::initializer_list<ElementType> InList) : Items(InList) {}
	TArray(const ElementType* Ptr, const int32 Count) : Items(Ptr, Ptr + (Count > 0 ? Count : 0)) {}

	FORCEINLINE int32 Num() const { return static_cast<int32>(Items.size()); }
	FORCEINLINE bool IsEmpty() const { return Items.empty(); }
	FORCEINLINE bool IsValidIndex(const int32 Index) const { return Index >= 0 && Index < Num(); }
	FORCEINLINE int32 Max() const { return static_cast<int32>(Items.capacity()); }
	FORCEINLINE ElementType* GetData() { return Items.data(); }
	FORCEINLINE const ElementType* GetData() const { return Items.data(); }
	FORCEINLINE SIZE_T GetTypeSize() const { return sizeof(ElementType); }
	FORCEINLINE SIZE_T GetAllocatedSize() const { return Items.capacity() * sizeof(ElementType); }

	FORCEINLINE ElementType& operator[](const int32 Index)
	{
		check(IsValidIndex(Index));
		return Items[static_cast<SIZE_T>(Index)];
	}
	FORCEINLINE const ElementType& operator[](const int32 Index) const
	{
		check(IsValidIndex(Index));
		return Items[static_cast<SIZE_T>(Index)];
	}

	ElementType& Last(const int32 IndexFromTheEnd = 0) { return (*this)[Num() - IndexFromTheEnd - 1]; }
	const ElementType& Last(const int32 IndexFromTheEnd = 0) const { return (*this)[Num() - IndexFromTheEnd - 1]; }
	ElementType& Top() { return Last(); }

	int32 Add(const ElementType& Item) { Items.push_back(Item); return Num() - 1; }
	int32 Add(ElementType&& Item) { Items.push_back(MoveTemp(Item)); return Num() - 1; }
	template <typename... ArgsType>
	int32 Emplace(ArgsType&&... Args) { Items.emplace_back(Forward<ArgsType>(Args)...); return Num() - 1; }
	template <typename... ArgsType>
	ElementType& Emplace_GetRef(ArgsType&&... Args) { return Items.emplace_back(Forward<ArgsType>(Args)...); }
	ElementType& Add_GetRef(const ElementType& Item) { Items.push_back(Item); return Items.back(); }
	ElementType& Add_GetRef(ElementType&& Item) { Items.push_back(MoveTemp(Item)); return Items.back(); }
	int32 AddUnique(const ElementType& Item)
	{
		const int32 Found = Find(Item);
		return Found != INDEX_NONE ? Found : Add(Item);
	}
	int32 AddDefaulted(const int32 Count = 1)
	{
		const int32 First = Num();
		Items.resize(Items.size() + static_cast<SIZE_T>(Count > 0 ? Count : 0));
		return First;
	}
	ElementType& AddDefaulted_GetRef() { return Items.emplace_back(); }
	int32 AddUninitialized(const int32 Count = 1) { return AddDefaulted(Count); }
	int32 AddZeroed(const int32 Count = 1) { return AddDefaulted(Count); }

	void Append(const TArray& Other) { Items.insert(Items.end(), Other.Items.begin(), Other.Items.end()); }
	void Append(TArray&& Other)
	{
		Items.insert(Items.end(), std::make_move_iterator(Other.Items.begin()), std::make_move_iterator(Other.Items.end()));
		Other.Items.clear();
	}
	void Append(const ElementType* Ptr, const int32 Count)
	{
		if (Ptr && Count > 0)
		{
			Items.insert(Items.end(), Ptr, Ptr + Count);
		}
	}
	void Append(std::initializer_list<ElementType> InList) { Items.insert(Items.end(), InList); }
	TArray& operator+=(const TArray& Other) { Append(Other); return *this; }

	int32 Insert(const ElementType& Item, const int32 Index)
	{
		const int32 At = std::clamp(Index, 0, Num());
		Items.insert(Items.begin() + At, Item);
		return At;
	}
	int32 Insert(ElementType&& Item, const int32 Index)
	{
		const int32 At = std::clamp(Index, 0, Num());
		Items.insert(Items.begin() + At, MoveTemp(Item));
		return At;
	}

	/** Removes Count elements from Index; the range is clamped to the array. */
	void RemoveAt(const int32 Index, const int32 Count = 1, const bool bAllowShrinking = true)
	{
		const int32 First = std::clamp(Index, 0, Num());
		const int32 End = std::clamp(First + std::max(Count, 0), First, Num());
		Items.erase(Items.begin() + First, Items.begin() + End);
		if (bAllowShrinking)
		{
			Items.shrink_to_fit();
		}
	}
	/** Removes the first element equal to Item, moving the last element into its place; returns 1 or 0. */
	int32 RemoveSingleSwap(const ElementType& Item, const bool bAllowShrinking = true)
	{
		const int32 Found = Find(Item);
		if (Found == INDEX_NONE)
		{
			return 0;
		}
		Items[static_cast<SIZE_T>(Found)] = MoveTemp(Items.back());
		Items.pop_back();
		if (bAllowShrinking)
		{
			Items.shrink_to_fit();
		}
		return 1;
	}
	int32 Remove(const ElementType& Item)
	{
		const SIZE_T Before = Items.size();
		Items.erase(std::remove(Items.begin(), Items.end(), Item), Items.end());
		return static_cast<int32>(Before - Items.size());
	}
	template <typename PredicateType>
	int32 RemoveAll(const PredicateType& Predicate)
	{
		const SIZE_T Before = Items.size();
		Items.erase(std::remove_if(Items.begin(), Items.end(), Predicate), Items.end());
		return static_cast<int32>(Before - Items.size());
	}
	ElementType Pop(const bool bAllowShrinking = true)
	{
		check(Num() > 0);
		ElementType Result = MoveTemp(Items.back());
		Items.pop_back();
		if (bAllowShrinking)
		{
			Items.shrink_to_fit();
		}
		return Result;
	}

	void Reset(const int32 NewSize = 0)
	{
		Items.clear();
		Items.reserve(static_cast<SIZE_T>(std::max(NewSize, 0)));
	}
	void Empty(const int32 Slack = 0)
	{
		std::vector<ElementType>().swap(Items);
		Items.reserve(static_cast<SIZE_T>(std::max(Slack, 0)));
	}
	void Reserve(const int32 Number) { Items.reserve(static_cast<SIZE_T>(std::max(Number, 0))); }
	void SetNum(const int32 NewNum, const bool bAllowShrinking = true)
	{
		Items.resize(static_cast<SIZE_T>(std::max(NewNum, 0)));
		if (bAllowShrinking)
		{
			Items.shrink_to_fit();
		}
	}
	void SetNumUninitialized(const int32 NewNum, const bool bAllowShrinking = true) { SetNum(NewNum, bAllowShrinking); }
	void SetNumZeroed(const int32 NewNum, const bool bAllowShrinking = true) { SetNum(NewNum, bAllowShrinking); }
	void Shrink() { Items.shrink_to_fit(); }

	int32 Find(const ElementType& Item) const
	{
		const auto It = std::find(Items.begin(), Items.end(), Item);
		return It == Items.end() ? INDEX_NONE : static_cast<int32>(It - Items.begin());
	}
	bool Find(const ElementType& Item, int32& OutIndex) const
	{
		OutIndex = Find(Item);
		return OutIndex != INDEX_NONE;
	}
	template <typename PredicateType>
	int32 IndexOfByPredicate(const PredicateType& Predicate) const
	{
		const auto It = std::find_if(Items.begin(), Items.end(), Predicate);
		return It == Items.end() ? INDEX_NONE : static_cast<int32>(It - Items.begin());
	}
	template <typename PredicateType>
	const ElementType* FindByPredicate(const PredicateType& Predicate) const
	{
		const int32 Index = IndexOfByPredicate(Predicate);
		return Index == INDEX_NONE ? nullptr : &Items[static_cast<SIZE_T>(Index)];
	}
	bool Contains(const ElementType& Item) const { return Find(Item) != INDEX_NONE; }
	template <typename PredicateType>
	bool ContainsByPredicate(const PredicateType& Predicate) const { return IndexOfByPredicate(Predicate) != INDEX_NONE; }

	void Sort() { std::stable_sort(Items.begin(), Items.end()); }
	template <typename PredicateType>
	void Sort(const PredicateType& Predicate) { std::stable_sort(Items.begin(), Items.end(), Predicate); }

	bool operator==(const TArray& Other) const { return Items == Other.Items; }
	bool operator!=(const TArray& Other) const { return !(*this == Other); }

	auto begin() { return Items.begin(); }
	auto end() { return Items.end(); }
	auto begin() const { return Items.begin(); }
	auto end() const { return Items.end(); }

private:
	std::vector<ElementType> Items;
};
