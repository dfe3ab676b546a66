"""Reads the parts of a reflected declaration: specifier lists, types, parameters, defaults.

FDeclarationParser is the token cursor the header parser builds on. What the specifiers mean
(flags and metadata) is decided here, in one place, with the engine's rules.
"""

import re

from HeaderLexer import DecodeStringLiteral, FToken, HeaderError
from ReflectionModel import *  # noqa: F401,F403 (flag constants)

INTEGER_LITERAL = re.compile(r'[-+]?(0[xX][0-9a-fA-F]+|[0-9]+)[uUlL]*')
FLOAT_LITERAL = re.compile(r'[-+]?([0-9]+\.[0-9]*|\.[0-9]+|[0-9]+)([eE][-+]?[0-9]+)?[fF]?')
BUILTIN_TYPES = {'bool', 'uint8', 'int32', 'int64', 'uint32', 'float', 'double', 'FString', 'FName', 'FText'}
CONTAINER_ARITY = {'TArray': 1, 'TMap': 2}
FUNCTION_DECORATIONS = {'virtual', 'static', 'inline', 'FORCEINLINE', 'FORCENOINLINE', 'explicit', 'constexpr'}


class FSpecifier:
	def __init__(self, Key, Value, Line):
		self.Key = Key
		self.Value = Value  # None, a string, or a list of FSpecifier for meta=(...)
		self.Line = Line


def SortedMetaData(Pairs):
	"""The engine's generated code lists metadata sorted by key; a repeated key keeps its last value."""
	Merged = {}
	for Key, Value in Pairs:
		Merged[Key] = Value
	return sorted(Merged.items(), key=lambda Pair: Pair[0].lower())


def JoinTokens(Tokens):
	"""Writes tokens back as C++ text with conventional spacing ('TMap<FString, FString>', 'const FString&')."""
	Text = ''
	Previous = None
	for Token in Tokens:
		if Previous is not None:
			if Previous.Value == ',':
				Text += ' '
			elif Previous.Kind in ('id', 'num') and Token.Kind in ('id', 'num', 'str'):
				Text += ' '
		Text += Token.Value
		Previous = Token
	return Text


def IsObjectClassName(Name):
	"""Whether a name follows the engine's convention for object classes: 'U' then an upper-case letter."""
	return len(Name) > 1 and Name[0] == 'U' and Name[1].isupper()


class FDeclarationParser:
	def __init__(self, Path, Tokens):
		self.Path = Path
		self.Tokens = Tokens
		self.Index = 0

	# Cursor

	def Fail(self, Message, Line=None):
		if Line is None:
			Line = self.Peek().Line if self.Index < len(self.Tokens) else (self.Tokens[-1].Line if self.Tokens else 1)
		raise HeaderError(self.Path, Line, Message)

	def AtEnd(self):
		return self.Index >= len(self.Tokens)

	def Peek(self, Offset=0):
		Position = self.Index + Offset
		if Position >= len(self.Tokens):
			self.Fail("unexpected end of file")
		return self.Tokens[Position]

	def PeekIs(self, Value, Offset=0):
		Position = self.Index + Offset
		return Position < len(self.Tokens) and self.Tokens[Position].Is(Value)

	def Next(self):
		Token = self.Peek()
		self.Index += 1
		return Token

	def Expect(self, Value, What=None):
		Token = self.Next()
		if not Token.Is(Value):
			self.Fail(f"expected '{Value}'{' ' + What if What else ''} but found '{Token.Value}'", Token.Line)
		return Token

	def ExpectIdentifier(self, What):
		Token = self.Next()
		if Token.Kind != 'id':
			self.Fail(f"expected {What} but found '{Token.Value}'", Token.Line)
		return Token

	def SkipBalanced(self, Open, Close, Forbidden=()):
		"""Skips from an opening bracket to its partner; reflection markup inside is an error."""
		Start = self.Expect(Open)
		Depth = 1
		while Depth:
			if self.AtEnd():
				self.Fail(f"'{Open}' is never closed", Start.Line)
			Token = self.Next()
			if Token.Is(Open):
				Depth += 1
			elif Token.Is(Close):
				Depth -= 1
			elif Token.Kind == 'id' and Token.Value in Forbidden:
				self.Fail(f"{Token.Value} is only allowed directly inside a reflected type", Token.Line)

	def SplitArguments(self, bTrackAngles):
		"""Reads '( a, b, ... )' and returns each argument's tokens; commas inside brackets don't split."""
		self.Expect('(')
		Arguments = [[]]
		Depth = 0
		while True:
			Token = self.Next()
			if Token.Value in ('(', '[', '{') and Token.Kind == 'punct' or bTrackAngles and Token.Is('<'):
				Depth += 1
			elif Token.Value in (')', ']', '}') and Token.Kind == 'punct' or bTrackAngles and Token.Is('>'):
				if Depth == 0:
					if not Token.Is(')'):
						self.Fail(f"unbalanced '{Token.Value}'", Token.Line)
					break
				Depth -= 1
			elif Token.Is(',') and Depth == 0:
				Arguments.append([])
				continue
			Arguments[-1].append(Token)
		return [] if Arguments == [[]] else Arguments

	# Specifier lists: UPROPERTY(EditAnywhere, Category="X", meta=(ToolTip="Y"))

	def ParseSpecifiers(self, MacroName):
		if not self.PeekIs('('):
			self.Fail(f"expected '(' after {MacroName}")
		Specifiers = []
		for Argument in self.SplitArguments(False):
			if not Argument:
				self.Fail(f"empty specifier in {MacroName}")
			Specifiers.append(self.ParseSpecifier(Argument, MacroName))
		return Specifiers

	def ParseSpecifier(self, Tokens, MacroName):
		Key = Tokens[0]
		if Key.Kind != 'id':
			self.Fail(f"expected a specifier name in {MacroName} but found '{Key.Value}'", Key.Line)
		if len(Tokens) == 1:
			if Key.Value.lower() == 'meta':
				self.Fail(f"meta must be written as meta=(Key=\"Value\", ...) in {MacroName}", Key.Line)
			return FSpecifier(Key.Value, None, Key.Line)
		if not Tokens[1].Is('='):
			self.Fail(f"expected '=' after '{Key.Value}' in {MacroName}", Tokens[1].Line)
		ValueTokens = Tokens[2:]
		if not ValueTokens:
			self.Fail(f"'{Key.Value}=' has no value in {MacroName}", Key.Line)
		if Key.Value.lower() == 'meta':
			return FSpecifier('meta', self.ParseMetaList(ValueTokens, MacroName), Key.Line)
		return FSpecifier(Key.Value, self.SpecifierValue(ValueTokens), Key.Line)

	def ParseMetaList(self, Tokens, MacroName):
		if not (Tokens[0].Is('(') and Tokens[-1].Is(')')):
			self.Fail(f"meta must be written as meta=(Key=\"Value\", ...) in {MacroName}", Tokens[0].Line)
		Inner = FDeclarationParser(self.Path, Tokens)
		return [Inner.ParseSpecifier(Argument, 'meta') for Argument in Inner.SplitArguments(False) if Argument]

	def SpecifierValue(self, Tokens):
		if all(Token.Kind == 'str' for Token in Tokens):
			return ''.join(DecodeStringLiteral(self.Path, Token) for Token in Tokens)
		if any(Token.Kind == 'str' for Token in Tokens):
			self.Fail("a specifier value mixes quoted and unquoted text", Tokens[0].Line)
		return ''.join(Token.Value for Token in Tokens)

	def MetaFromSpecifier(self, Specifier):
		"""meta=(A="x", B) as (key, value) pairs; a key without a value gets an empty value."""
		return [(Item.Key, Item.Value if isinstance(Item.Value, str) else '') for Item in Specifier.Value]

	def UnknownSpecifier(self, Specifier, MacroName):
		self.Fail(f"unknown or unsupported specifier '{Specifier.Key}' in {MacroName}", Specifier.Line)

	def RequireNoValue(self, Specifier, MacroName):
		if Specifier.Value is not None:
			self.Fail(f"'{Specifier.Key}' takes no value in {MacroName}", Specifier.Line)

	def RequireText(self, Specifier, MacroName):
		if not isinstance(Specifier.Value, str):
			self.Fail(f"'{Specifier.Key}' needs a value in {MacroName}", Specifier.Line)
		return Specifier.Value

	def TypeMetaData(self, Specifiers, MacroName, Allowed):
		"""Metadata and the names of the flag specifiers of a UENUM, USTRUCT or UCLASS."""
		MetaData = []
		Flags = set()
		for Specifier in Specifiers:
			Key = Specifier.Key.lower()
			if Key == 'meta':
				MetaData += self.MetaFromSpecifier(Specifier)
			elif Key in Allowed:
				self.RequireNoValue(Specifier, MacroName)
				Flags.add(Key)
				if Key == 'blueprinttype':
					MetaData.append(('BlueprintType', 'true'))
				elif Key == 'blueprintable':
					MetaData += [('BlueprintType', 'true'), ('IsBlueprintBase', 'true')]
				elif Key == 'notblueprintable':
					MetaData.append(('IsBlueprintBase', 'false'))
			else:
				self.UnknownSpecifier(Specifier, MacroName)
		return SortedMetaData(MetaData), Flags

	def PropertySpecifiers(self, Specifiers):
		"""UPROPERTY(...) as property flags and metadata."""
		FlagsBySpecifier = {
			'editanywhere': CPF_Edit,
			'editdefaultsonly': CPF_Edit | CPF_DisableEditOnInstance,
			'editinstanceonly': CPF_Edit | CPF_DisableEditOnTemplate,
			'visibleanywhere': CPF_Edit | CPF_EditConst,
			'visibledefaultsonly': CPF_Edit | CPF_EditConst | CPF_DisableEditOnInstance,
			'visibleinstanceonly': CPF_Edit | CPF_EditConst | CPF_DisableEditOnTemplate,
			'blueprintreadwrite': CPF_BlueprintVisible,
			'blueprintreadonly': CPF_BlueprintVisible | CPF_BlueprintReadOnly,
			'blueprintassignable': CPF_BlueprintAssignable,
			'blueprintcallable': CPF_BlueprintCallable,
			'transient': CPF_Transient,
			'savegame': CPF_SaveGame,
			'advanceddisplay': CPF_AdvancedDisplay,
		}
		Flags = 0
		MetaData = []
		for Specifier in Specifiers:
			Key = Specifier.Key.lower()
			if Key in FlagsBySpecifier:
				self.RequireNoValue(Specifier, 'UPROPERTY')
				Flags |= FlagsBySpecifier[Key]
			elif Key == 'category':
				MetaData.append(('Category', self.RequireText(Specifier, 'UPROPERTY')))
			elif Key == 'meta':
				MetaData += self.MetaFromSpecifier(Specifier)
			else:
				self.UnknownSpecifier(Specifier, 'UPROPERTY')
		return Flags, MetaData

	def FunctionSpecifiers(self, Specifiers):
		"""UFUNCTION(...) as function flags and metadata."""
		Flags = 0
		MetaData = []
		for Specifier in Specifiers:
			Key = Specifier.Key.lower()
			if Key == 'blueprintcallable':
				self.RequireNoValue(Specifier, 'UFUNCTION')
				Flags |= FUNC_BlueprintCallable
			elif Key == 'blueprintpure':
				self.RequireNoValue(Specifier, 'UFUNCTION')
				Flags |= FUNC_BlueprintCallable | FUNC_BlueprintPure
			elif Key == 'category':
				MetaData.append(('Category', self.RequireText(Specifier, 'UFUNCTION')))
			elif Key == 'meta':
				MetaData += self.MetaFromSpecifier(Specifier)
			else:
				self.UnknownSpecifier(Specifier, 'UFUNCTION')
		return Flags, MetaData

	# Types

	def ValueType(self, Tokens, Line, What, bAllowContainers=True, bAllowObjectPointer=False):
		"""Checks that a value type can be reflected and returns its text. A pointer to a U class can be
		reflected where the caller allows it: a property, a container element, a parameter or return value."""
		if not Tokens:
			self.Fail(f"{What} has no type", Line)
		Head = Tokens[0]
		if Head.Kind != 'id':
			self.Fail(f"{What} has a type that cannot be reflected: '{JoinTokens(Tokens)}'", Head.Line)
		if len(Tokens) > 1 and Tokens[1].Is('<'):
			self.ContainerType(Tokens, What, bAllowContainers)
		elif len(Tokens) == 2 and Tokens[1].Is('*') and IsObjectClassName(Head.Value) and bAllowObjectPointer:
			pass
		elif len(Tokens) > 1:
			Hint = ' (only a pointer to a U class can be reflected)' if Tokens[-1].Is('*') else ''
			self.Fail(f"{What} has a type that cannot be reflected: '{JoinTokens(Tokens)}'{Hint}", Head.Line)
		elif Head.Value not in BUILTIN_TYPES and not (Head.Value[0] in 'FE' and len(Head.Value) > 1 and Head.Value[1].isupper()):
			self.Fail(f"{What} has type '{Head.Value}', which cannot be reflected "
				f"(use bool, uint8, int32, int64, uint32, float, double, FString, FName, FText, a reflected F struct or E enum, "
				f"TArray or TMap)", Head.Line)
		return JoinTokens(Tokens)

	def ContainerType(self, Tokens, What, bAllowContainers):
		Head = Tokens[0]
		if Head.Value not in CONTAINER_ARITY:
			self.Fail(f"{What} uses the template '{Head.Value}', which cannot be reflected (TArray and TMap can)", Head.Line)
		if not bAllowContainers:
			self.Fail(f"{What} nests a container inside a container, which cannot be reflected", Head.Line)
		if not Tokens[-1].Is('>'):
			self.Fail(f"{What} has a malformed type '{JoinTokens(Tokens)}'", Head.Line)
		Inner = FDeclarationParser(self.Path, [FToken('punct', '(', Head.Line)] + Tokens[2:-1] + [FToken('punct', ')', Head.Line)])
		Arguments = Inner.SplitArguments(True)
		if len(Arguments) != CONTAINER_ARITY[Head.Value]:
			self.Fail(f"{Head.Value} takes {CONTAINER_ARITY[Head.Value]} type argument(s) in {What}", Head.Line)
		for Argument in Arguments:
			self.ValueType(Argument, Head.Line, What, False, True)

	def ParameterType(self, Tokens, Line, What):
		"""A parameter or return type: const and a trailing '&' are allowed around a value type."""
		Remaining = list(Tokens)
		bReference = False
		if Remaining and Remaining[-1].Is('&&'):
			self.Fail(f"{What} is an rvalue reference, which cannot be reflected", Line)
		if Remaining and Remaining[-1].Is('&'):
			bReference = True
			Remaining.pop()
		AngleDepth = 0
		bConst = False
		Kept = []
		for Token in Remaining:
			AngleDepth += 1 if Token.Is('<') else -1 if Token.Is('>') else 0
			if AngleDepth == 0 and Token.Is('const'):
				bConst = True
			else:
				Kept.append(Token)
		return FTypeRef(self.ValueType(Kept, Line, What, True, True), bConst, bReference)

	def SplitDeclarator(self, Tokens, What):
		"""'Type Name' tokens into the type tokens and the name token."""
		if len(Tokens) < 2 or Tokens[-1].Kind != 'id':
			Line = Tokens[0].Line if Tokens else self.Peek().Line
			self.Fail(f"{What} must have a type and a name", Line)
		return Tokens[:-1], Tokens[-1]

	def ParameterFlags(self, Type, bRefMarker):
		"""The engine's parameter flags: a non-const reference is an output unless marked UPARAM(ref)."""
		Flags = CPF_Parm
		if Type.bReference and not Type.bConst:
			Flags |= CPF_OutParm | (CPF_ReferenceParm if bRefMarker else 0)
		elif Type.bReference and Type.Text not in ('FString', 'FName', 'FText') and Type.Text not in BUILTIN_TYPES:
			# Const references to structs and containers travel by reference; strings and numbers by value.
			Flags |= CPF_OutParm | CPF_ReferenceParm | CPF_ConstParm
		return Flags

	def DefaultValue(self, Tokens):
		"""A C++ default argument as the engine stores it in CPP_Default_ metadata."""
		if len(Tokens) == 1 and Tokens[0].Kind == 'str':
			return DecodeStringLiteral(self.Path, Tokens[0])
		if len(Tokens) == 4 and Tokens[0].Value == 'TEXT' and Tokens[2].Kind == 'str':
			return DecodeStringLiteral(self.Path, Tokens[2])
		Text = ''.join(Token.Value for Token in Tokens)
		if Text in ('FString()', 'FText()', 'FText::GetEmpty()', 'NAME_None', 'FName()'):
			return 'None' if 'Name' in Text or 'NAME' in Text else ''
		if INTEGER_LITERAL.fullmatch(Text):
			return Text.rstrip('uUlL')
		if FLOAT_LITERAL.fullmatch(Text):
			return '%f' % float(Text.rstrip('fF'))
		if len(Tokens) == 3 and Tokens[1].Is('::') and Tokens[2].Kind == 'id':
			return Tokens[2].Value
		return JoinTokens(Tokens)
