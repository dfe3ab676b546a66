#include "TalvaneStreamDeltaScan.h"

// The rules are those of the engine's TJsonReader, which FJsonSerializer builds trees from: root
// '{' or '['; white space is space, tab, LF, CR; true/false/null ignore case; numbers follow the
// JSON grammar (a number may not end the text); escapes \" \\ \/ \b \f \n \r \t \uXXXX, each
// \uXXXX one UTF-16 unit and a zero unit dropped; a NUL inside a string is dropped, outside one
// it fails; nothing but white space after the root; at most MaxDepth open objects and arrays.
// Text from UTF-8 keeps every ASCII byte as itself (an invalid sequence never swallows one), so
// the structure read from the bytes is the structure of the decoded text.

namespace TalvaneJson::StreamDelta
{
	namespace
	{
		/** TJsonReader<>::MaxDepth of the stand-in; the engine reader builds no deeper tree that anyone could write back. */
		constexpr int32 MaxDepth = 512;

		/** What the values of an object or array are to the report. */
		enum class ERole : uint8
		{
			Skip,
			Root,
			Choices,
			Choice,
			Message,
		};

		enum class EField : uint8
		{
			Other,
			Error,
			Code,
			RootMessage,
			Choices,
			FinishReason,
			Text,
			Message,
			Delta,
			Content,
			ReasoningContent,
		};

		struct FFieldName
		{
			const ANSICHAR* Name;
			int32 Length;
			EField Field;
		};

		const FFieldName RootFields[] = {{"error", 5, EField::Error}, {"code", 4, EField::Code}, {"message", 7, EField::RootMessage},
			{"choices", 7, EField::Choices}};
		const FFieldName ChoiceFields[] = {{"finish_reason", 13, EField::FinishReason}, {"text", 4, EField::Text},
			{"message", 7, EField::Message}, {"delta", 5, EField::Delta}};
		const FFieldName MessageFields[] = {{"content", 7, EField::Content}, {"reasoning_content", 17, EField::ReasoningContent}};

		bool IsWhiteSpace(const uint8 Byte)
		{
			return Byte == ' ' || Byte == '\t' || Byte == '\n' || Byte == '\r';
		}

		bool IsDigit(const uint8 Byte)
		{
			return Byte >= '0' && Byte <= '9';
		}

		bool IsNumberChar(const uint8 Byte)
		{
			return IsDigit(Byte) || Byte == '-' || Byte == '.' || Byte == '+' || Byte == 'e' || Byte == 'E';
		}

		bool IsHexDigit(const uint8 Byte)
		{
			return IsDigit(Byte) || (Byte >= 'a' && Byte <= 'f') || (Byte >= 'A' && Byte <= 'F');
		}

		bool IsAsciiAlnum(const uint8 Byte)
		{
			return IsDigit(Byte) || (Byte >= 'a' && Byte <= 'z') || (Byte >= 'A' && Byte <= 'Z');
		}

		uint8 ToLowerAscii(const uint8 Byte)
		{
			return Byte >= 'A' && Byte <= 'Z' ? static_cast<uint8>(Byte + 32) : Byte;
		}

		/** Whether [Begin, End) is exactly one number of the JSON grammar. */
		bool MatchesNumberGrammar(const uint8* Begin, const uint8* const End)
		{
			if (Begin != End && *Begin == '-')
			{
				++Begin;
			}
			if (Begin == End || !IsDigit(*Begin))
			{
				return false;
			}
			if (*Begin++ != '0')
			{
				while (Begin != End && IsDigit(*Begin))
				{
					++Begin;
				}
			}
			if (Begin != End && *Begin == '.')
			{
				const uint8* const Fraction = ++Begin;
				while (Begin != End && IsDigit(*Begin))
				{
					++Begin;
				}
				if (Begin == Fraction)
				{
					return false;
				}
			}
			if (Begin != End && (*Begin == 'e' || *Begin == 'E'))
			{
				++Begin;
				if (Begin != End && (*Begin == '+' || *Begin == '-'))
				{
					++Begin;
				}
				const uint8* const Exponent = Begin;
				while (Begin != End && IsDigit(*Begin))
				{
					++Begin;
				}
				if (Begin == Exponent)
				{
					return false;
				}
			}
			return Begin == End;
		}

		/** Whether the bytes spell the lower-case literal, ignoring case. */
		bool EqualsLiteral(const uint8* const Text, const int32 Length, const ANSICHAR* const Literal, const int32 LiteralLength)
		{
			if (Length != LiteralLength)
			{
				return false;
			}
			for (int32 Index = 0; Index < Length; ++Index)
			{
				if (ToLowerAscii(Text[Index]) != static_cast<uint8>(Literal[Index]))
				{
					return false;
				}
			}
			return true;
		}

		class FScanner
		{
		public:
			FScanner(const uint8* InData, const int32 InLength, TArray<TCHAR>& InScratch, FDocumentSpans& InSpans)
				: Data(InData)
				, Length(InLength)
				, Scratch(InScratch)
				, Spans(InSpans)
			{
			}

			bool ScanRoot(bool& bOutRootIsObject)
			{
				SkipWhiteSpace();
				if (Position == Length || (Data[Position] != '{' && Data[Position] != '['))
				{
					return false;
				}
				bOutRootIsObject = Data[Position] == '{';
				FValueSpan Root;
				if (!ScanValue(Root, 0, ERole::Root, nullptr, nullptr))
				{
					return false;
				}
				SkipWhiteSpace();
				return Position == Length;
			}

		private:
			void SkipWhiteSpace()
			{
				while (Position < Length && IsWhiteSpace(Data[Position]))
				{
					++Position;
				}
			}

			/** Reads any value. Role says what an object or array here holds; Choice and Message are where its fields go. */
			bool ScanValue(FValueSpan& OutSpan, const int32 Depth, const ERole Role, FChoiceSpans* const Choice, FMessageSpans* const Message)
			{
				if (Position == Length)
				{
					return false;
				}
				switch (Data[Position])
				{
				case '{':
					OutSpan.Kind = EValueKind::Object;
					return Depth < MaxDepth && ScanObject(Depth + 1, Role, Choice, Message);
				case '[':
					OutSpan.Kind = EValueKind::Array;
					return Depth < MaxDepth && ScanArray(Depth + 1, Role);
				case '"':
					return ScanString(OutSpan);
				case 't': case 'T': case 'f': case 'F': case 'n': case 'N':
					return ScanLiteral(OutSpan);
				default:
					return IsNumberChar(Data[Position]) && ScanNumber(OutSpan);
				}
			}

			bool ScanObject(const int32 Depth, const ERole Role, FChoiceSpans* const Choice, FMessageSpans* const Message)
			{
				++Position;
				SkipWhiteSpace();
				if (Position < Length && Data[Position] == '}')
				{
					++Position;
					return true;
				}
				for (;;)
				{
					FValueSpan Key;
					if (Position == Length || Data[Position] != '"' || !ScanString(Key))
					{
						return false;
					}
					SkipWhiteSpace();
					if (Position == Length || Data[Position] != ':')
					{
						return false;
					}
					++Position;
					SkipWhiteSpace();
					if (!ScanMember(MatchField(Key, Role), Depth, Choice, Message))
					{
						return false;
					}
					SkipWhiteSpace();
					if (Position == Length)
					{
						return false;
					}
					if (Data[Position] == '}')
					{
						++Position;
						return true;
					}
					if (Data[Position] != ',')
					{
						return false;
					}
					++Position;
					SkipWhiteSpace();
				}
			}

			/** Reads a member's value; a later key of the same name replaces what an earlier one left. */
			bool ScanMember(const EField Field, const int32 Depth, FChoiceSpans* const Choice, FMessageSpans* const Message)
			{
				FValueSpan Value;
				switch (Field)
				{
				case EField::Choices:
					Spans.bHasChoices = true;
					Spans.Choices.Reset();
					return ScanValue(Value, Depth, ERole::Choices, nullptr, nullptr);
				case EField::Message:
				case EField::Delta:
				{
					FMessageSpans& Target = Field == EField::Message ? Choice->Message : Choice->Delta;
					Target = FMessageSpans();
					return ScanValue(Value, Depth, ERole::Message, nullptr, &Target);
				}
				default:
					break;
				}
				if (!ScanValue(Value, Depth, ERole::Skip, nullptr, nullptr))
				{
					return false;
				}
				if (FValueSpan* const Target = FindTarget(Field, Choice, Message))
				{
					*Target = Value;
				}
				return true;
			}

			FValueSpan* FindTarget(const EField Field, FChoiceSpans* const Choice, FMessageSpans* const Message) const
			{
				switch (Field)
				{
				case EField::Error: return &Spans.Error;
				case EField::Code: return &Spans.Code;
				case EField::RootMessage: return &Spans.Message;
				case EField::FinishReason: return &Choice->FinishReason;
				case EField::Text: return &Choice->Text;
				case EField::Content: return &Message->Content;
				case EField::ReasoningContent: return &Message->ReasoningContent;
				default: return nullptr;
				}
			}

			bool ScanArray(const int32 Depth, const ERole Role)
			{
				++Position;
				SkipWhiteSpace();
				if (Position < Length && Data[Position] == ']')
				{
					++Position;
					return true;
				}
				for (;;)
				{
					FValueSpan Element;
					// Only the object elements of "choices" are choices; the tree path skips the others.
					const bool bChoice = Role == ERole::Choices && Position < Length && Data[Position] == '{';
					FChoiceSpans* const Choice = bChoice ? &Spans.Choices.AddDefaulted_GetRef() : nullptr;
					if (!ScanValue(Element, Depth, bChoice ? ERole::Choice : ERole::Skip, Choice, nullptr))
					{
						return false;
					}
					SkipWhiteSpace();
					if (Position == Length)
					{
						return false;
					}
					if (Data[Position] == ']')
					{
						++Position;
						return true;
					}
					if (Data[Position] != ',')
					{
						return false;
					}
					++Position;
					SkipWhiteSpace();
				}
			}

			bool ScanString(FValueSpan& OutSpan)
			{
				++Position;
				OutSpan.Kind = EValueKind::String;
				OutSpan.Begin = Position;
				OutSpan.bPlain = true;
				while (Position < Length)
				{
					const uint8 Byte = Data[Position];
					if (Byte == '"')
					{
						OutSpan.End = Position++;
						return true;
					}
					if (Byte == '\\')
					{
						OutSpan.bPlain = false;
						if (!ScanEscape())
						{
							return false;
						}
						continue;
					}
					OutSpan.bPlain &= Byte != 0 && Byte < 0x80;
					++Position;
				}
				return false;
			}

			bool ScanEscape()
			{
				Position += 2;
				if (Position > Length)
				{
					return false;
				}
				switch (Data[Position - 1])
				{
				case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
					return true;
				case 'u':
					for (const int32 Stop = Position + 4; Position < Stop; ++Position)
					{
						if (Position == Length || !IsHexDigit(Data[Position]))
						{
							return false;
						}
					}
					return true;
				default:
					return false;
				}
			}

			bool ScanNumber(FValueSpan& OutSpan)
			{
				OutSpan.Kind = EValueKind::Number;
				OutSpan.Begin = Position;
				while (Position < Length && IsNumberChar(Data[Position]))
				{
					++Position;
				}
				OutSpan.End = Position;
				return Position < Length && MatchesNumberGrammar(Data + OutSpan.Begin, Data + Position);
			}

			bool ScanLiteral(FValueSpan& OutSpan)
			{
				const int32 Begin = Position;
				while (Position < Length && IsAsciiAlnum(Data[Position]))
				{
					++Position;
				}
				const int32 Count = Position - Begin;
				OutSpan.Begin = Begin;
				OutSpan.End = Position;
				OutSpan.Kind = EqualsLiteral(Data + Begin, Count, "true", 4) ? EValueKind::True
					: EqualsLiteral(Data + Begin, Count, "false", 5)        ? EValueKind::False
					: EqualsLiteral(Data + Begin, Count, "null", 4)         ? EValueKind::Null
																			: EValueKind::None;
				return OutSpan.Kind != EValueKind::None;
			}

			EField MatchField(const FValueSpan& InKey, const ERole Role)
			{
				switch (Role)
				{
				case ERole::Root: return MatchField(InKey, RootFields, UE_ARRAY_COUNT(RootFields));
				case ERole::Choice: return MatchField(InKey, ChoiceFields, UE_ARRAY_COUNT(ChoiceFields));
				case ERole::Message: return MatchField(InKey, MessageFields, UE_ARRAY_COUNT(MessageFields));
				default: return EField::Other;
				}
			}

			/** Keys ignore case as FString keys do; the names are ASCII, so no other character can match them. */
			EField MatchField(const FValueSpan& InKey, const FFieldName* const Names, const int32 NumNames)
			{
				if (!InKey.bPlain)
				{
					FString Decoded;
					DecodeString(Data, InKey, Scratch, Decoded);
					return MatchDecoded(Decoded, Names, NumNames);
				}
				for (int32 Index = 0; Index < NumNames; ++Index)
				{
					if (EqualsLiteral(Data + InKey.Begin, InKey.End - InKey.Begin, Names[Index].Name, Names[Index].Length))
					{
						return Names[Index].Field;
					}
				}
				return EField::Other;
			}

			static EField MatchDecoded(const FString& InKey, const FFieldName* const Names, const int32 NumNames)
			{
				for (int32 Index = 0; Index < NumNames; ++Index)
				{
					if (EqualsIgnoringCase(InKey, Names[Index]))
					{
						return Names[Index].Field;
					}
				}
				return EField::Other;
			}

			/** The rare key with escapes, NULs or other characters compares as FJsonObject compares its keys. */
			static bool EqualsIgnoringCase(const FString& InKey, const FFieldName& InName)
			{
				return InKey.Len() == InName.Length && InKey.Equals(FString(InName.Name), ESearchCase::IgnoreCase);
			}

			const uint8* const Data;
			const int32 Length;
			int32 Position = 0;
			TArray<TCHAR>& Scratch;
			FDocumentSpans& Spans;
		};
	}

	void FDocumentSpans::Reset()
	{
		Error = FValueSpan();
		Code = FValueSpan();
		Message = FValueSpan();
		bHasChoices = false;
		Choices.Reset();
	}

	bool ScanDocument(const uint8* const InData, const int32 InLength, TArray<TCHAR>& Scratch, FDocumentSpans& OutSpans,
		bool& bOutRootIsObject)
	{
		OutSpans.Reset();
		bOutRootIsObject = false;
		if (InData == nullptr || InLength <= 0)
		{
			return false;
		}
		FScanner Scanner(InData, InLength, Scratch, OutSpans);
		return Scanner.ScanRoot(bOutRootIsObject);
	}
}
