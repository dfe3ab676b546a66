#!/usr/bin/env python3
"""Resolves every #include under Source/ the way Unreal Build Tool would, and fails on any other.

A plugin module's translation units see, as UBT gives them (UEBuildModuleCPP.AddDefaultIncludePaths
and the module's public compile environment):
  - the folder of the including file, for a quoted include;
  - the module's own Public/ and Private/ folders;
  - the Public/ folder of every module its *.Build.cs names (public and private dependencies), and of
    the public dependencies of those plugin modules in turn;
  - "X.generated.h", from the header X.h only;
  - the standard library (angle brackets).
Engine modules are found in the stand-in (EngineShim/<Module>/Public), except the headers the engine
keeps in Core that the stand-in keeps in EngineShim/AutomationTest. Engine modules are not followed
further: a file must name the engine module it includes from (stricter than UBT, never more lenient).

A header of the plugin is checked in the context of every module whose files include it, since it
compiles there. Quoted includes may not leave the module's folder through "..".

Usage: check_includes.py [--root <checkout>]; prints one line per failure ("file:line: ...") and exits 1.
"""

import argparse
import os
import re
import sys

# Engine modules of the stand-in: name -> folders and single files that module provides.
AUTOMATION_IN_CORE = ("Misc/AutomationTest.h", "Misc/Timespan.h")

STANDARD_HEADERS = {
    # C++ library
    "algorithm", "any", "array", "atomic", "barrier", "bit", "bitset", "charconv", "chrono", "codecvt",
    "compare", "complex", "concepts", "condition_variable", "coroutine", "deque", "exception",
    "execution", "expected", "filesystem", "format", "forward_list", "fstream", "functional", "future",
    "initializer_list", "iomanip", "ios", "iosfwd", "iostream", "istream", "iterator", "latch", "limits",
    "list", "locale", "map", "memory", "memory_resource", "mutex", "new", "numbers", "numeric",
    "optional", "ostream", "queue", "random", "ranges", "ratio", "regex", "scoped_allocator",
    "semaphore", "set", "shared_mutex", "source_location", "span", "sstream", "stack", "stdexcept",
    "stop_token", "streambuf", "string", "string_view", "syncstream", "system_error", "thread", "tuple",
    "type_traits", "typeindex", "typeinfo", "unordered_map", "unordered_set", "utility", "valarray",
    "variant", "vector", "version",
    # C library, C++ names
    "cassert", "cctype", "cerrno", "cfenv", "cfloat", "cinttypes", "climits", "clocale", "cmath",
    "csetjmp", "csignal", "cstdarg", "cstddef", "cstdint", "cstdio", "cstdlib", "cstring", "ctime",
    "cuchar", "cwchar", "cwctype",
}

INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
BUILD_DEPENDENCY_RE = re.compile(r'(Public|Private)DependencyModuleNames\s*\.\s*(?:AddRange|Add)\s*\(([^;]*)\)\s*;', re.S)
STRING_RE = re.compile(r'"([^"]+)"')


def strip_block_comments(text):
    """Blanks /* ... */ comments but keeps their newlines, so line numbers stay true."""
    return re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)


def read_includes(path):
    with open(path, encoding="utf-8") as handle:
        text = strip_block_comments(handle.read())
    found = []
    for number, line in enumerate(text.splitlines(), start=1):
        match = INCLUDE_RE.match(line.split("//", 1)[0] if not line.lstrip().startswith("#") else line)
        if match:
            found.append((number, match.group(1) == '"', match.group(2).strip()))
    return found


class Module:
    def __init__(self, name, folder, public_deps, private_deps):
        self.name = name
        self.folder = folder
        self.public_deps = public_deps
        self.private_deps = private_deps


def read_modules(source_root):
    modules = {}
    for name in sorted(os.listdir(source_root)):
        folder = os.path.join(source_root, name)
        rules = os.path.join(folder, name + ".Build.cs")
        if not os.path.isfile(rules):
            continue
        with open(rules, encoding="utf-8") as handle:
            text = re.sub(r"//[^\n]*", "", strip_block_comments(handle.read()))
        public, private = [], []
        for kind, arguments in BUILD_DEPENDENCY_RE.findall(text):
            (public if kind == "Public" else private).extend(STRING_RE.findall(arguments))
        modules[name] = Module(name, folder, public, private)
    return modules


class Resolver:
    def __init__(self, root):
        self.root = root
        self.source_root = os.path.join(root, "Source")
        self.shim_root = os.path.join(root, "EngineShim")
        self.modules = read_modules(self.source_root)

    def public_environment(self, name, seen):
        """Public folders a module's users see: its own, then its public plugin dependencies' in turn."""
        if name in seen:
            return []
        seen.add(name)
        module = self.modules.get(name)
        if module is None:
            return [("engine", name)]
        found = [("dir", os.path.join(module.folder, "Public"))]
        for dependency in module.public_deps:
            found.extend(self.public_environment(dependency, seen))
        return found

    def search_paths(self, module):
        paths = [("dir", os.path.join(module.folder, "Public")), ("dir", os.path.join(module.folder, "Private"))]
        seen = {module.name}
        for dependency in module.public_deps + module.private_deps:
            paths.extend(self.public_environment(dependency, seen))
        return paths

    def find_in_engine(self, engine_module, include):
        candidate = os.path.join(self.shim_root, engine_module, "Public", include)
        if os.path.isfile(candidate):
            return candidate
        if engine_module == "Core" and include in AUTOMATION_IN_CORE:
            return os.path.join(self.shim_root, "AutomationTest", "Public", include)
        return None

    def resolve(self, module, including_file, is_quoted, include):
        """Returns (path or None, reason when None). Engine and standard headers resolve to a marker."""
        if include.endswith(".generated.h"):
            own_header = os.path.splitext(os.path.basename(including_file))[0] + ".generated.h"
            if os.path.basename(include) == include and include == own_header:
                return "<generated>", None
            return None, "a generated header may only be included by its own header"
        if not is_quoted and include in STANDARD_HEADERS:
            return "<std>", None
        if is_quoted:
            candidate = os.path.normpath(os.path.join(os.path.dirname(including_file), include))
            if os.path.isfile(candidate):
                owner = self.owning_module(including_file)
                if owner is None or not candidate.startswith(owner.folder + os.sep):
                    return None, "reaches outside its module's folder through a relative path"
                return candidate, None
        for kind, where in self.search_paths(module):
            if kind == "dir":
                candidate = os.path.normpath(os.path.join(where, include))
                if os.path.isfile(candidate) and candidate.startswith(where + os.sep):
                    return candidate, None
            else:
                candidate = self.find_in_engine(where, include)
                if candidate:
                    return "<engine:%s>" % where, None
        return None, "not found on the include paths UBT gives module %s (%s.Build.cs)" % (module.name, module.name)

    def owning_module(self, path):
        relative = os.path.relpath(path, self.source_root)
        return self.modules.get(relative.split(os.sep)[0])


def source_files(source_root):
    for folder, _, names in os.walk(source_root):
        for name in sorted(names):
            if name.endswith((".h", ".hpp", ".inl", ".cpp", ".cc")):
                yield os.path.join(folder, name)


def check(root):
    resolver = Resolver(root)
    failures = []
    reported = set()
    checked = set()
    for path in source_files(resolver.source_root):
        module = resolver.owning_module(path)
        if module is None:
            failures.append("%s:1: not inside a module with a Build.cs" % os.path.relpath(path, root))
            continue
        pending = [path]
        while pending:
            current = pending.pop()
            if (module.name, current) in checked:
                continue
            checked.add((module.name, current))
            for line, is_quoted, include in read_includes(current):
                resolved, reason = resolver.resolve(module, current, is_quoted, include)
                if resolved is None:
                    context = "" if resolver.owning_module(current) is module else " (compiled in module %s)" % module.name
                    message = '%s:%d: #include %s: %s%s' % (os.path.relpath(current, root), line,
                        ('"%s"' if is_quoted else "<%s>") % include, reason, context)
                    if message not in reported:
                        reported.add(message)
                        failures.append(message)
                elif not resolved.startswith("<"):
                    pending.append(resolved)
    return failures, len({file for _, file in checked})


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    arguments = parser.parse_args()
    failures, count = check(os.path.abspath(arguments.root))
    for failure in failures:
        print(failure)
    if failures:
        print("include check: %d include(s) would not resolve in the engine" % len(failures))
        return 1
    print("include check: every include of %d files under Source/ resolves as in the engine" % count)
    return 0


if __name__ == "__main__":
    sys.exit(main())
