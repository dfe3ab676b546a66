#pragma once

#include "CoreTypes.h"

/** The kinds of JSON value. */
enum class EJson
{
	None,
	Null,
	String,
	Number,
	Boolean,
	Array,
	Object
};

/** The tokens of JSON text, as the reader and writer track them. */
enum class EJsonToken
{
	None,
	Comma,
	CurlyOpen,
	CurlyClose,
	SquareOpen,
	SquareClose,
	Colon,
	String,

	// Short values
	Number,
	True,
	False,
	Null,

	Identifier
};

FORCEINLINE bool EJsonToken_IsShortValue(const EJsonToken Token)
{
	return Token >= EJsonToken::Number && Token <= EJsonToken::Null;
}

/** What the reader found with each ReadNext. */
enum class EJsonNotation
{
	ObjectStart,
	ObjectEnd,
	ArrayStart,
	ArrayEnd,
	Boolean,
	String,
	Number,
	Null,
	Error
};
