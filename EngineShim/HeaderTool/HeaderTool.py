#!/usr/bin/env python3
"""The Talvane header tool: reads the reflection markup of a module's headers and writes, for
each header X.h, X.generated.h and X.gen.cpp into the output folder.

  HeaderTool.py --package /Script/Talvane --api TALVANE_API --output-dir DIR [--root DIR] HEADER...

A header it cannot read stops it with 'path:line: error: message' and exit status 1. Outputs are
rewritten only when their text changes, so an unchanged header recompiles nothing.
"""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from GeneratedCppWriter import WriteGeneratedCpp  # noqa: E402
from GeneratedHeaderWriter import WriteGeneratedHeader  # noqa: E402
from HeaderLexer import HeaderError  # noqa: E402
from HeaderParser import ParseHeader  # noqa: E402


class FCodeGenContext:
	def __init__(self, Package, ApiMacro, HeaderPath, Root):
		self.Package = Package
		self.ModuleName = Package.rsplit('/', 1)[-1]
		self.ApiMacro = ApiMacro
		self.IncludePath = os.path.abspath(HeaderPath).replace('\\', '/')
		Relative = os.path.relpath(os.path.abspath(HeaderPath), Root) if Root else os.path.basename(HeaderPath)
		if Relative.startswith('..'):
			Relative = os.path.basename(HeaderPath)
		self.SourceName = Relative.replace('\\', '/')
		self.FileId = 'FID_' + re.sub(r'[^A-Za-z0-9]', '_', self.SourceName)


def WriteIfChanged(Path, Text):
	try:
		with open(Path, encoding='utf-8', newline='') as Existing:
			if Existing.read() == Text:
				return
	except FileNotFoundError:
		pass
	Temporary = Path + '.tmp'
	with open(Temporary, 'w', encoding='utf-8', newline='\n') as Output:
		Output.write(Text)
	os.replace(Temporary, Path)


def ReadHeader(Path):
	try:
		with open(Path, encoding='utf-8-sig') as Input:
			return Input.read()
	except UnicodeDecodeError as Error:
		raise HeaderError(Path, 1, f"the header is not valid UTF-8 ({Error.reason})")
	except OSError as Error:
		raise HeaderError(Path, 1, f"cannot read the header ({Error.strerror})")


def ProcessHeaders(Package, ApiMacro, OutputDir, Root, Headers):
	"""Parses every header first, so nothing is written when any of them is wrong."""
	if not re.fullmatch(r'/Script/[A-Za-z_][A-Za-z0-9_]*', Package):
		raise ValueError(f"package '{Package}' must look like /Script/ModuleName")
	BaseNames = {}
	Parsed = []
	for Path in Headers:
		Header = ParseHeader(Path, ReadHeader(Path))
		if Header.BaseName in BaseNames:
			raise HeaderError(Path, 1, f"another header of this module is also called {Header.BaseName}.h "
				f"({BaseNames[Header.BaseName]})")
		BaseNames[Header.BaseName] = Path
		Parsed.append((Header, FCodeGenContext(Package, ApiMacro, Path, Root)))
	os.makedirs(OutputDir, exist_ok=True)
	for Header, Context in Parsed:
		WriteIfChanged(os.path.join(OutputDir, Header.BaseName + '.generated.h'), WriteGeneratedHeader(Header, Context))
		WriteIfChanged(os.path.join(OutputDir, Header.BaseName + '.gen.cpp'), WriteGeneratedCpp(Header, Context))


def Main(Arguments):
	Parser = argparse.ArgumentParser(description="Writes reflection code for headers with engine reflection markup.")
	Parser.add_argument('--package', required=True, help="script package of the module, e.g. /Script/Talvane")
	Parser.add_argument('--api', help="export macro of the module (default: MODULENAME_API)")
	Parser.add_argument('--output-dir', required=True)
	Parser.add_argument('--root', help="source root; generated names use header paths relative to it")
	Parser.add_argument('headers', nargs='+')
	Options = Parser.parse_args(Arguments)
	ApiMacro = Options.api or Options.package.rsplit('/', 1)[-1].upper() + '_API'
	try:
		ProcessHeaders(Options.package, ApiMacro, Options.output_dir, Options.root, Options.headers)
	except HeaderError as Error:
		print(str(Error), file=sys.stderr)
		return 1
	except ValueError as Error:
		print(f"HeaderTool: error: {Error}", file=sys.stderr)
		return 1
	return 0


if __name__ == '__main__':
	sys.exit(Main(sys.argv[1:]))
