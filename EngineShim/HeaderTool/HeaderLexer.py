"""Splits a C++ header into tokens for the header tool.

Comments are dropped, preprocessor directives are kept aside (the tool only looks at their
#include lines), and every token remembers the line it starts on so that errors can name it.
"""

from dataclasses import dataclass


class HeaderError(Exception):
	"""A problem in a header, reported as 'path:line: error: message'."""

	def __init__(self, Path, Line, Message):
		super().__init__(f"{Path}:{Line}: error: {Message}")
		self.Path = Path
		self.Line = Line
		self.Message = Message


@dataclass
class FToken:
	Kind: str  # 'id', 'num', 'str', 'char' or 'punct'
	Value: str
	Line: int

	def Is(self, Value):
		return self.Value == Value and self.Kind in ('id', 'punct')


@dataclass
class FDirective:
	Line: int
	Text: str


# Longest first, so that '::' wins over ':' and '&&' over '&'. '<' and '>' stay single so that
# nested template arguments ('TArray<TArray<int32>>') close one level at a time.
PUNCTUATORS = ('...', '::', '->', '&&', '||', '==', '!=', '<=', '+=', '-=', '*=', '/=', '|=', '&=', '++', '--')
STRING_PREFIXES = ('u8', 'u', 'U', 'L')


def Tokenize(Path, Text):
	"""Returns (tokens, directives) of a header's text."""
	Lexer = FLexer(Path, Text)
	return Lexer.Run()


class FLexer:
	def __init__(self, Path, Text):
		self.Path = Path
		self.Text = Text
		self.Pos = 0
		self.Line = 1
		self.AtLineStart = True
		self.Tokens = []
		self.Directives = []

	def Fail(self, Message, Line=None):
		raise HeaderError(self.Path, Line if Line is not None else self.Line, Message)

	def Run(self):
		Text = self.Text
		while self.Pos < len(Text):
			Char = Text[self.Pos]
			if Char == '\n':
				self.Line += 1
				self.Pos += 1
				self.AtLineStart = True
			elif Char in ' \t\r\f\v':
				self.Pos += 1
			elif Char == '\\' and Text.startswith('\n', self.Pos + 1):
				self.Pos += 2
				self.Line += 1
			elif Text.startswith('//', self.Pos):
				self.SkipLineComment()
			elif Text.startswith('/*', self.Pos):
				self.SkipBlockComment()
			elif Char == '#' and self.AtLineStart:
				self.ReadDirective()
			else:
				self.AtLineStart = False
				self.ReadToken()
		return self.Tokens, self.Directives

	def SkipLineComment(self):
		End = self.Text.find('\n', self.Pos)
		self.Pos = len(self.Text) if End < 0 else End

	def SkipBlockComment(self):
		End = self.Text.find('*/', self.Pos + 2)
		if End < 0:
			self.Fail("comment is never closed")
		self.Line += self.Text.count('\n', self.Pos, End)
		self.Pos = End + 2

	def ReadDirective(self):
		StartLine = self.Line
		Parts = []
		while self.Pos < len(self.Text):
			Char = self.Text[self.Pos]
			if Char == '\\' and self.Text.startswith('\n', self.Pos + 1):
				self.Pos += 2
				self.Line += 1
			elif Char == '\n':
				break
			elif self.Text.startswith('//', self.Pos):
				self.SkipLineComment()
			elif self.Text.startswith('/*', self.Pos):
				self.SkipBlockComment()
			else:
				Parts.append(Char)
				self.Pos += 1
		self.Directives.append(FDirective(StartLine, ''.join(Parts).strip()))

	def ReadToken(self):
		Text = self.Text
		Char = Text[self.Pos]
		if Char.isalpha() or Char == '_':
			self.ReadIdentifierOrPrefixedLiteral()
		elif Char.isdigit() or (Char == '.' and self.Pos + 1 < len(Text) and Text[self.Pos + 1].isdigit()):
			self.ReadNumber()
		elif Char == '"':
			self.ReadQuoted('"', 'str', self.Pos)
		elif Char == "'":
			self.ReadQuoted("'", 'char', self.Pos)
		else:
			for Punctuator in PUNCTUATORS:
				if Text.startswith(Punctuator, self.Pos):
					self.Tokens.append(FToken('punct', Punctuator, self.Line))
					self.Pos += len(Punctuator)
					return
			self.Tokens.append(FToken('punct', Char, self.Line))
			self.Pos += 1

	def ReadIdentifierOrPrefixedLiteral(self):
		Start = self.Pos
		while self.Pos < len(self.Text) and (self.Text[self.Pos].isalnum() or self.Text[self.Pos] == '_'):
			self.Pos += 1
		Word = self.Text[Start:self.Pos]
		Next = self.Text[self.Pos] if self.Pos < len(self.Text) else ''
		if Next == '"' and (Word in STRING_PREFIXES or Word == 'R' or Word.endswith('R') and Word[:-1] in STRING_PREFIXES):
			if Word.endswith('R'):
				self.ReadRawString(Start)
			else:
				self.ReadQuoted('"', 'str', Start)
			return
		if Next == "'" and Word in STRING_PREFIXES:
			self.ReadQuoted("'", 'char', Start)
			return
		self.Tokens.append(FToken('id', Word, self.Line))

	def ReadNumber(self):
		Start = self.Pos
		while self.Pos < len(self.Text):
			Char = self.Text[self.Pos]
			if Char.isalnum() or Char in "._'":
				self.Pos += 1
			elif Char in '+-' and self.Text[self.Pos - 1] in 'eEpP' and not self.Text[Start:self.Pos].lower().startswith('0x'):
				self.Pos += 1
			else:
				break
		self.Tokens.append(FToken('num', self.Text[Start:self.Pos], self.Line))

	def ReadQuoted(self, Quote, Kind, Start):
		StartLine = self.Line
		self.Pos = self.Text.index(Quote, self.Pos) + 1
		while True:
			if self.Pos >= len(self.Text) or self.Text[self.Pos] == '\n':
				self.Fail("string or character literal is never closed", StartLine)
			Char = self.Text[self.Pos]
			if Char == '\\':
				self.Pos += 2
			elif Char == Quote:
				self.Pos += 1
				break
			else:
				self.Pos += 1
		self.Tokens.append(FToken(Kind, self.Text[Start:self.Pos], StartLine))

	def ReadRawString(self, Start):
		StartLine = self.Line
		Open = self.Text.index('"', self.Pos)
		Paren = self.Text.find('(', Open)
		if Paren < 0:
			self.Fail("raw string literal without '('")
		Delimiter = self.Text[Open + 1:Paren]
		Close = self.Text.find(')' + Delimiter + '"', Paren)
		if Close < 0:
			self.Fail("raw string literal is never closed", StartLine)
		self.Pos = Close + len(Delimiter) + 2
		self.Line += self.Text.count('\n', Start, self.Pos)
		self.Tokens.append(FToken('str', self.Text[Start:self.Pos], StartLine))


SIMPLE_ESCAPES = {'n': '\n', 't': '\t', 'r': '\r', '0': '\0', '\\': '\\', '"': '"', "'": "'", 'a': '\a', 'b': '\b',
	'f': '\f', 'v': '\v', '?': '?'}


def DecodeStringLiteral(Path, Token):
	"""Returns the text a string literal token stands for, with its escapes resolved."""
	Source = Token.Value
	Quote = Source.index('"')
	Prefix = Source[:Quote]
	if Prefix.endswith('R'):
		Paren = Source.index('(', Quote)
		Delimiter = Source[Quote + 1:Paren]
		return Source[Paren + 1:len(Source) - len(Delimiter) - 2]
	Body = Source[Quote + 1:-1]
	Result = []
	Index = 0
	while Index < len(Body):
		Char = Body[Index]
		if Char != '\\':
			Result.append(Char)
			Index += 1
			continue
		Escape = Body[Index + 1]
		if Escape in SIMPLE_ESCAPES and not (Escape == '0' and Body[Index + 2:Index + 3].isdigit()):
			Result.append(SIMPLE_ESCAPES[Escape])
			Index += 2
		elif Escape in 'uU':
			Width = 4 if Escape == 'u' else 8
			Digits = Body[Index + 2:Index + 2 + Width]
			if len(Digits) != Width or any(Digit not in '0123456789abcdefABCDEF' for Digit in Digits):
				raise HeaderError(Path, Token.Line, f"bad universal character name '\\{Escape}{Digits}'")
			Result.append(chr(int(Digits, 16)))
			Index += 2 + Width
		elif Escape == 'x':
			End = Index + 2
			while End < len(Body) and Body[End] in '0123456789abcdefABCDEF':
				End += 1
			if End == Index + 2:
				raise HeaderError(Path, Token.Line, "'\\x' escape without hexadecimal digits")
			Result.append(chr(int(Body[Index + 2:End], 16)))
			Index = End
		elif Escape in '01234567':
			End = Index + 1
			while End < len(Body) and End < Index + 4 and Body[End] in '01234567':
				End += 1
			Result.append(chr(int(Body[Index + 1:End], 8)))
			Index = End
		else:
			raise HeaderError(Path, Token.Line, f"unknown escape sequence '\\{Escape}' in a string")
	return ''.join(Result)
