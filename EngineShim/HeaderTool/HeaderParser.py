"""Finds the reflection markup of one header and turns it into FReflectedHeader.

Only the markup and the declarations it marks are read; other C++ is skipped by balancing
brackets. Anything the tool cannot make sense of stops it with the file and line.
"""

import os
import re

from DeclarationParser import FDeclarationParser, SortedMetaData
from EnumParser import FEnumParser
from HeaderLexer import Tokenize
from ReflectionModel import *  # noqa: F401,F403

MEMBER_MARKUP = ('UPROPERTY', 'UFUNCTION', 'GENERATED_BODY', 'UPARAM', 'UMETA')
UNSUPPORTED_MARKUP = ('UINTERFACE', 'UDELEGATE', 'GENERATED_UCLASS_BODY', 'GENERATED_USTRUCT_BODY',
	'GENERATED_IINTERFACE_BODY', 'GENERATED_UINTERFACE_BODY')
DELEGATE_MACRO = 'DECLARE_DYNAMIC_MULTICAST_DELEGATE'
PARAM_COUNT_SUFFIXES = {'': 0, '_OneParam': 1, '_TwoParams': 2, '_ThreeParams': 3, '_FourParams': 4, '_FiveParams': 5,
	'_SixParams': 6, '_SevenParams': 7, '_EightParams': 8, '_NineParams': 9}
INCLUDE_PATTERN = re.compile(r'^include\s*[<"]([^>"]+)[>"]')


def ParseHeader(Path, Text):
	Tokens, Directives = Tokenize(Path, Text)
	Parser = FHeaderParser(Path, Tokens)
	try:
		Header = Parser.Run()
	except (IndexError, KeyError, ValueError, AttributeError, TypeError) as Error:
		# A shape of C++ the reader does not expect: still name the place rather than fail without one.
		Line = Tokens[min(Parser.Index, len(Tokens) - 1)].Line if Tokens else 1
		raise HeaderError(Path, Line, f"cannot read the declaration here ({type(Error).__name__}: {Error})") from Error
	if Header.HasReflection():
		CheckGeneratedInclude(Parser, Header, Directives)
	return Header


def CheckGeneratedInclude(Parser, Header, Directives):
	"""The engine's rule: the header's own .generated.h is its last include."""
	Includes = [(Directive.Line, Match.group(1)) for Directive in Directives
		for Match in [INCLUDE_PATTERN.match(Directive.Text[1:].strip())] if Match]
	Expected = Header.BaseName + '.generated.h'
	Lines = [Line for Line, Name in Includes if os.path.basename(Name) == Expected]
	if not Lines:
		Parser.Fail(f"a header with reflection markup must include \"{Expected}\" as its last include", 1)
	if Includes[-1][1] != Expected and os.path.basename(Includes[-1][1]) != Expected:
		Parser.Fail(f"\"{Expected}\" must be the last include of the header", Includes[-1][0])


class FHeaderParser(FEnumParser, FDeclarationParser):
	def __init__(self, Path, Tokens):
		super().__init__(Path, Tokens)
		BaseName = os.path.splitext(os.path.basename(Path))[0]
		self.Header = FReflectedHeader(Path, BaseName)
		self.Names = {}

	def Run(self):
		ScopeDepth = 0
		while not self.AtEnd():
			Token = self.Peek()
			if Token.Kind == 'id' and Token.Value in ('UENUM', 'USTRUCT', 'UCLASS') or Token.Value.startswith(DELEGATE_MACRO):
				if ScopeDepth:
					self.Fail(f"{Token.Value} must be written at global scope, not inside a namespace")
				self.ParseTopLevelMarkup(Token)
			elif Token.Kind == 'id' and Token.Value in MEMBER_MARKUP:
				self.Fail(f"{Token.Value} is only allowed inside a USTRUCT or UCLASS")
			elif Token.Kind == 'id' and Token.Value in UNSUPPORTED_MARKUP:
				self.Fail(f"{Token.Value} is not supported by this header tool")
			elif Token.Is('namespace') or Token.Is('extern') and self.PeekIs('{', 2):
				while not self.PeekIs('{'):
					if self.Next().Is(';'):
						break
				else:
					self.Next()
					ScopeDepth += 1
			elif Token.Is('{'):
				self.SkipBalanced('{', '}', MEMBER_MARKUP)
			elif Token.Is('}'):
				if not ScopeDepth:
					self.Fail("unbalanced '}'")
				ScopeDepth -= 1
				self.Next()
			else:
				self.Next()
		if ScopeDepth:
			self.Fail("a namespace is never closed", self.Tokens[-1].Line)
		return self.Header

	def ParseTopLevelMarkup(self, Token):
		if Token.Value == 'UENUM':
			self.Header.Enums.append(self.ParseEnum())
		elif Token.Value == 'USTRUCT':
			self.Header.Structs.append(self.ParseStruct(False))
		elif Token.Value == 'UCLASS':
			self.Header.Structs.append(self.ParseStruct(True))
		else:
			self.Header.Delegates.append(self.ParseDelegate())

	def Declare(self, Name, Line):
		if Name.Value in self.Names:
			self.Fail(f"'{Name.Value}' is reflected twice (first on line {self.Names[Name.Value]})", Line)
		self.Names[Name.Value] = Line

	# Structs and classes

	def ParseStruct(self, bIsClass):
		Macro = self.Next()
		Specifiers = self.ParseSpecifiers(Macro.Value)
		if bIsClass:
			Allowed = ('blueprinttype', 'blueprintable', 'notblueprintable', 'abstract', 'minimalapi', 'transient')
		else:
			Allowed = ('blueprinttype', 'atomic', 'immutable', 'noexport')
		MetaData, Flags = self.TypeMetaData(Specifiers, Macro.Value, Allowed)
		Keyword = 'class' if bIsClass else 'struct'
		self.Expect(Keyword, f"after {Macro.Value}(...)")
		Name = self.ExpectIdentifier(f"the {Keyword}'s name")
		bHasApiMacro = False
		if Name.Value.endswith('_API') and self.Peek().Kind == 'id':
			bHasApiMacro = True
			Name = self.ExpectIdentifier(f"the {Keyword}'s name")
		self.Declare(Name, Name.Line)
		self.CheckTypePrefix(Name, bIsClass)
		if self.PeekIs('final'):
			self.Next()
		SuperName = self.ParseBase(Name, bIsClass)
		Reflected = FReflectedStruct(Name.Value, Name.Line, SuperName, bHasApiMacro, bIsClass, 'noexport' in Flags,
			MetaData=MetaData)
		if bIsClass:
			Reflected.ClassFlags = (CLASS_Abstract if 'abstract' in Flags else 0) | (
				CLASS_Transient if 'transient' in Flags else 0) | (CLASS_MinimalAPI if 'minimalapi' in Flags else 0) | (
				CLASS_RequiredAPI if bHasApiMacro else 0)
		self.ParseBody(Reflected)
		self.Expect(';', f"after {Keyword} '{Name.Value}'")
		if not Reflected.BodyLines and not Reflected.bNoExport:
			self.Fail(f"{Keyword} '{Name.Value}' has no GENERATED_BODY()", Name.Line)
		return Reflected

	def CheckTypePrefix(self, Name, bIsClass):
		Prefix = 'U' if bIsClass else 'F'
		if not (len(Name.Value) > 1 and Name.Value[0] == Prefix and Name.Value[1].isupper()):
			Kind = 'UCLASS' if bIsClass else 'USTRUCT'
			self.Fail(f"{Kind} name '{Name.Value}' must start with '{Prefix}' followed by a capital letter", Name.Line)

	def ParseBase(self, Name, bIsClass):
		if not self.PeekIs(':'):
			if bIsClass:
				self.Fail(f"UCLASS '{Name.Value}' must derive from UObject or one of its subclasses", Name.Line)
			return None
		self.Next()
		Bases = []
		while not self.PeekIs('{'):
			Token = self.Next()
			if Token.Kind == 'id' and Token.Value not in ('public', 'protected', 'private', 'virtual'):
				Bases.append(Token)
			elif not (Token.Is(',') or Token.Kind == 'id'):
				self.Fail(f"unsupported base class list of '{Name.Value}' near '{Token.Value}'", Token.Line)
		if not Bases:
			self.Fail(f"'{Name.Value}' has an empty base class list", Name.Line)
		if not bIsClass and len(Bases) > 1:
			self.Fail(f"USTRUCT '{Name.Value}' may have one base only", Name.Line)
		return Bases[0].Value

	def ParseBody(self, Reflected):
		self.Expect('{', f"to open '{Reflected.Name}'")
		Access = 'private' if Reflected.bIsClass else 'public'
		while not self.PeekIs('}'):
			Token = self.Peek()
			if Token.Value in ('public', 'protected', 'private') and self.PeekIs(':', 1):
				Access = Token.Value
				self.Index += 2
			elif Token.Is('GENERATED_BODY'):
				self.ParseGeneratedBody(Reflected)
			elif Token.Is('UPROPERTY'):
				self.Next()
				Reflected.Properties.append(self.ParseProperty(Reflected, Access))
			elif Token.Is('UFUNCTION'):
				if not Reflected.bIsClass:
					self.Fail(f"USTRUCT '{Reflected.Name}' cannot have UFUNCTIONs")
				self.Next()
				Reflected.Functions.append(self.ParseFunction(Reflected, Access))
			elif Token.Kind == 'id' and (Token.Value in MEMBER_MARKUP or Token.Value in UNSUPPORTED_MARKUP):
				self.Fail(f"{Token.Value} is not allowed here")
			elif Token.Kind == 'id' and Token.Value in ('UENUM', 'USTRUCT', 'UCLASS') or Token.Value.startswith(DELEGATE_MACRO):
				self.Fail(f"{Token.Value} inside '{Reflected.Name}': nested reflected declarations are not supported")
			else:
				self.SkipMember(Reflected)
		self.Next()

	def ParseGeneratedBody(self, Reflected):
		Start = self.Next()
		if Reflected.BodyLines:
			self.Fail(f"'{Reflected.Name}' has more than one GENERATED_BODY()", Start.Line)
		if self.SplitArguments(False):
			self.Fail("GENERATED_BODY() takes no arguments", Start.Line)
		Reflected.BodyLines = tuple(range(Start.Line, self.Tokens[self.Index - 1].Line + 1))
		if self.PeekIs(';'):
			self.Next()

	def SkipMember(self, Reflected):
		"""Skips one member that carries no markup, noting constructors and destructors of classes."""
		Start = self.Index
		while self.Peek().Kind == 'id' and (self.Peek().Value in ('explicit', 'inline', 'virtual', 'FORCEINLINE', 'constexpr')
				or self.Peek().Value.endswith('_API')):
			self.Next()
		if self.PeekIs('~') and self.PeekIs(Reflected.Name, 1):
			Reflected.bHasDestructor = True
		elif self.PeekIs(Reflected.Name) and self.PeekIs('(', 1):
			self.CheckConstructor(Reflected)
		self.Index = Start
		Depth = 0
		while True:
			Token = self.Peek()
			if Depth == 0 and (Token.Is('}') or (self.Index > Start and Token.Kind == 'id' and Token.Value in MEMBER_MARKUP)):
				return
			if Depth == 0 and Token.Is('{'):
				self.SkipBalanced('{', '}', MEMBER_MARKUP)
				if self.PeekIs(';'):
					self.Next()
				return
			self.Next()
			if Token.Is(';') and Depth == 0:
				return
			Depth += 1 if Token.Value in ('(', '[') else -1 if Token.Value in (')', ']') else 0

	def CheckConstructor(self, Reflected):
		Name = self.Next()
		Arguments = self.SplitArguments(True)
		if not Arguments:
			Reflected.bHasDefaultConstructor = True
		elif any(Token.Is('FObjectInitializer') for Argument in Arguments for Token in Argument):
			self.Fail(f"'{Reflected.Name}' has an FObjectInitializer constructor, which this header tool does not "
				f"support; declare a default constructor instead", Name.Line)
		elif Reflected.bIsClass and all(any(Token.Is('=') for Token in Argument) for Argument in Arguments):
			Reflected.bHasDefaultConstructor = True

	# Members

	def CollectDeclaration(self, Stops):
		"""Tokens up to one of Stops at bracket depth 0 (not consumed)."""
		Tokens = []
		Depth = 0
		while Depth or not any(self.PeekIs(Stop) for Stop in Stops):
			Token = self.Next()
			if Token.Value in ('(', '[', '<') and Token.Kind == 'punct':
				Depth += 1
			elif Token.Value in (')', ']', '>') and Token.Kind == 'punct':
				Depth -= 1
			elif Token.Is(';') or Token.Is('{') or Token.Is('}'):
				self.Fail(f"unexpected '{Token.Value}' in a declaration", Token.Line)
			Tokens.append(Token)
		return Tokens

	def ParseProperty(self, Reflected, Access):
		Flags, MetaData = self.PropertySpecifiers(self.ParseSpecifiers('UPROPERTY'))
		Tokens = self.CollectDeclaration((';', '=', '{', ':'))
		if Tokens and Tokens[0].Value in ('static', 'mutable'):
			if Tokens[0].Value == 'static':
				self.Fail("a UPROPERTY cannot be static", Tokens[0].Line)
			Tokens = Tokens[1:]
		if any(Token.Is('[') for Token in Tokens):
			self.Fail("C-style array properties are not supported; use TArray", Tokens[0].Line)
		TypeTokens, Name = self.SplitDeclarator(Tokens, "a UPROPERTY")
		What = f"property '{Reflected.Name}::{Name.Value}'"
		Type = FTypeRef(self.ValueType(TypeTokens, Name.Line, What, True, True))
		if self.PeekIs(':'):
			self.Fail(f"{What} is a bit-field, which is not supported", Name.Line)
		if self.PeekIs('{'):
			self.SkipBalanced('{', '}')
		elif self.PeekIs('='):
			while not self.PeekIs(';'):
				if self.PeekIs('{'):
					self.SkipBalanced('{', '}')
				else:
					self.Next()
		self.Expect(';', f"after {What}")
		Flags |= PROPERTY_ACCESS_FLAGS[Access]
		return FReflectedProperty(Name.Value, Type, Flags, Name.Line, SortedMetaData(MetaData))

	def ParseFunction(self, Reflected, Access):
		Flags, MetaData = self.FunctionSpecifiers(self.ParseSpecifiers('UFUNCTION'))
		Prefix = self.CollectDeclaration(('(',))
		Kept = []
		for Token in Prefix:
			if Token.Is('static'):
				Flags |= FUNC_Static
			elif not (Token.Kind == 'id' and (Token.Value in ('virtual', 'inline', 'FORCEINLINE', 'FORCENOINLINE',
					'explicit', 'constexpr') or Token.Value.endswith('_API'))):
				Kept.append(Token)
		ReturnTokens, Name = self.SplitDeclarator(Kept, "a UFUNCTION")
		What = f"function '{Reflected.Name}::{Name.Value}'"
		Params = self.ParseParameters(What)
		if len(ReturnTokens) != 1 or not ReturnTokens[0].Is('void'):
			ReturnType = self.ParameterType(ReturnTokens, Name.Line, f"the return type of {What}")
			if ReturnType.bReference:
				self.Fail(f"{What} returns a reference, which cannot be reflected", Name.Line)
			Params.append(FReflectedProperty('ReturnValue', ReturnType, CPF_Parm | CPF_OutParm | CPF_ReturnParm, Name.Line))
		self.ParseFunctionTail(What)
		Flags |= FUNC_Final | FUNC_Native | FUNCTION_ACCESS_FLAGS[Access]
		if self.bConstMethod:
			Flags |= FUNC_Const
		for Param in Params:
			if Param.Flags & CPF_OutParm and not Param.Flags & CPF_ReturnParm:
				Flags |= FUNC_HasOutParms
			if Param.Default is not None:
				Flags |= FUNC_HasDefaults
				MetaData.append(('CPP_Default_' + Param.Name, Param.Default))
		return FReflectedFunction(Name.Value, Name.Line, Flags, Params, SortedMetaData(MetaData))

	def ParseFunctionTail(self, What):
		self.bConstMethod = False
		while self.Peek().Kind == 'id' and self.Peek().Value in ('const', 'override', 'final', 'noexcept'):
			self.bConstMethod |= self.Next().Is('const')
		if self.PeekIs('='):
			self.Next()
			self.Next()
		if self.PeekIs('{'):
			self.SkipBalanced('{', '}', MEMBER_MARKUP)
			if self.PeekIs(';'):
				self.Next()
		else:
			self.Expect(';', f"after {What}")

	def ParseParameters(self, What):
		Params = []
		for Argument in self.SplitArguments(True):
			if len(Argument) == 1 and Argument[0].Is('void') and not Params:
				continue
			Params.append(self.ParseParameter(Argument, What))
		return Params

	def ParseParameter(self, Tokens, What):
		bRefMarker = False
		if Tokens and Tokens[0].Is('UPARAM'):
			Inner = FDeclarationParser(self.Path, Tokens[1:])
			for Specifier in Inner.ParseSpecifiers('UPARAM'):
				if Specifier.Key.lower() != 'ref' or Specifier.Value is not None:
					self.UnknownSpecifier(Specifier, 'UPARAM')
				bRefMarker = True
			Tokens = Tokens[1 + Inner.Index:]
		Default = None
		for Position, Token in enumerate(Tokens):
			if Token.Is('='):
				Default = self.DefaultValue(Tokens[Position + 1:]) if Tokens[Position + 1:] else self.Fail(
					f"empty default value in {What}", Token.Line)
				Tokens = Tokens[:Position]
				break
		TypeTokens, Name = self.SplitDeclarator(Tokens, f"every parameter of {What}")
		Type = self.ParameterType(TypeTokens, Name.Line, f"parameter '{Name.Value}' of {What}")
		if bRefMarker and not Type.bReference:
			self.Fail(f"UPARAM(ref) needs a reference parameter ('{Name.Value}' of {What})", Name.Line)
		Param = FReflectedProperty(Name.Value, Type, self.ParameterFlags(Type, bRefMarker), Name.Line)
		Param.Default = Default
		return Param

	# Delegates

	def ParseDelegate(self):
		Macro = self.Next()
		Suffix = Macro.Value[len(DELEGATE_MACRO):]
		if Suffix not in PARAM_COUNT_SUFFIXES:
			self.Fail(f"'{Macro.Value}' is not supported (dynamic multicast delegates with 0 to 6 parameters are)", Macro.Line)
		Count = PARAM_COUNT_SUFFIXES[Suffix]
		# Split as the preprocessor does: only parentheses group, so a comma inside <> splits too.
		Arguments = self.SplitArguments(False)
		EndLine = self.Tokens[self.Index - 1].Line
		if len(Arguments) != 1 + 2 * Count:
			self.Fail(f"{Macro.Value} takes a name and {Count} type and name pair(s), but has {len(Arguments)} "
				f"argument(s) (a type with a comma, such as TMap<K, V>, needs a typedef)", Macro.Line)
		if len(Arguments[0]) != 1 or Arguments[0][0].Kind != 'id' or not Arguments[0][0].Value.startswith('F'):
			self.Fail(f"the first argument of {Macro.Value} must be the delegate's name, starting with 'F'", Macro.Line)
		Name = Arguments[0][0]
		self.Declare(Name, Name.Line)
		Params = []
		for Position in range(Count):
			TypeTokens, NameTokens = Arguments[1 + 2 * Position], Arguments[2 + 2 * Position]
			if len(NameTokens) != 1 or NameTokens[0].Kind != 'id':
				self.Fail(f"parameter {Position + 1} of delegate '{Name.Value}' needs a name", Macro.Line)
			What = f"parameter '{NameTokens[0].Value}' of delegate '{Name.Value}'"
			Type = self.ParameterType(TypeTokens, Macro.Line, What)
			Params.append(FReflectedProperty(NameTokens[0].Value, Type, self.ParameterFlags(Type, False), Macro.Line))
		if self.PeekIs(';'):
			self.Next()
		return FReflectedDelegate(Name.Value, tuple(range(Macro.Line, EndLine + 1)), Params)
