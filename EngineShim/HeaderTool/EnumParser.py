"""Reads UENUM declarations: the enumeration, its enumerators and their UMETA metadata."""

from DeclarationParser import FDeclarationParser, SortedMetaData
from ReflectionModel import FEnumerator, FReflectedEnum


class FEnumParser(FDeclarationParser):
	def ParseEnum(self):
		Specifiers = self.ParseSpecifiers(self.Next().Value)
		MetaData, Flags = self.TypeMetaData(Specifiers, 'UENUM', ('blueprinttype',))
		self.Expect('enum', "after UENUM(...)")
		bScoped = self.PeekIs('class') or self.PeekIs('struct')
		if bScoped:
			self.Next()
		Name = self.ExpectIdentifier("the enumeration's name")
		self.Declare(Name, Name.Line)
		Underlying = None
		if self.PeekIs(':'):
			self.Next()
			UnderlyingTokens = []
			while not self.PeekIs('{'):
				UnderlyingTokens.append(self.Next())
			Underlying = ' '.join(Token.Value for Token in UnderlyingTokens)
		if not bScoped and Underlying is None:
			self.Fail(f"UENUM '{Name.Value}' needs an underlying type ('enum class {Name.Value} : uint8')", Name.Line)
		if bScoped and 'blueprinttype' in Flags and Underlying != 'uint8':
			self.Fail(f"BlueprintType enumeration '{Name.Value}' must have the underlying type uint8", Name.Line)
		Enum = FReflectedEnum(Name.Value, Name.Line, bScoped, Underlying or 'int', MetaData=MetaData)
		self.Expect('{', f"to open enumeration '{Name.Value}'")
		while not self.PeekIs('}'):
			Enum.Enumerators.append(self.ParseEnumerator(Enum))
		self.Next()
		self.Expect(';', f"after enumeration '{Name.Value}'")
		return Enum

	def ParseEnumerator(self, Enum):
		Name = self.ExpectIdentifier(f"an enumerator of '{Enum.Name}'")
		if any(Existing.Name == Name.Value for Existing in Enum.Enumerators):
			self.Fail(f"enumerator '{Name.Value}' appears twice in '{Enum.Name}'", Name.Line)
		Enumerator = FEnumerator(Name.Value, Name.Line)
		if self.PeekIs('='):
			# The value is left to the compiler: the generated code reads it back as E::Name.
			self.Next()
			Depth = 0
			while Depth or not (self.PeekIs(',') or self.PeekIs('}') or self.PeekIs('UMETA')):
				Token = self.Next()
				Depth += 1 if Token.Is('(') else -1 if Token.Is(')') else 0
		if self.PeekIs('UMETA'):
			self.Next()
			Pairs = []
			for Specifier in self.ParseSpecifiers('UMETA'):
				Pairs.append((Specifier.Key, Specifier.Value if isinstance(Specifier.Value, str) else ''))
			Enumerator.MetaData = SortedMetaData(Pairs)
		if self.PeekIs(','):
			self.Next()
		elif not self.PeekIs('}'):
			self.Fail(f"expected ',' or '}}' after enumerator '{Name.Value}' but found '{self.Peek().Value}'")
		return Enumerator
