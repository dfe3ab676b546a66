#pragma once

#include <functional>

#include "CoreTypes.h"

/** Owning callable. */
template <typename FuncType>
using TFunction = std::function<FuncType>;

template <typename FuncType> class TFunctionRef;

/** Non-owning reference to a callable that outlives the call it is passed to. */
template <typename RetType, typename... ParamTypes>
class TFunctionRef<RetType(ParamTypes...)>
{
public:
	template <typename FunctorType, typename = std::enable_if_t<!std::is_same_v<std::decay_t<FunctorType>, TFunctionRef>>>
	TFunctionRef(FunctorType&& Functor)
		: Object(const_cast<void*>(static_cast<const void*>(&Functor)))
		, Call([](void* Target, ParamTypes... Params) -> RetType
		{
			return (*static_cast<std::remove_reference_t<FunctorType>*>(Target))(std::forward<ParamTypes>(Params)...);
		})
	{
	}

	RetType operator()(ParamTypes... Params) const { return Call(Object, std::forward<ParamTypes>(Params)...); }

private:
	void* Object;
	RetType (*Call)(void*, ParamTypes...);
};
