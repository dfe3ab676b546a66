"""What the header tool learns from a header: the reflected declarations and their flags.

The flag values are the engine's (EPropertyFlags, EFunctionFlags, EClassFlags), so the
generated code can write them as plain numbers.
"""

from dataclasses import dataclass, field

# EPropertyFlags
CPF_Edit = 0x1
CPF_ConstParm = 0x2
CPF_BlueprintVisible = 0x4
CPF_BlueprintReadOnly = 0x10
CPF_Parm = 0x80
CPF_OutParm = 0x100
CPF_ReturnParm = 0x400
CPF_DisableEditOnTemplate = 0x800
CPF_Transient = 0x2000
CPF_DisableEditOnInstance = 0x10000
CPF_EditConst = 0x20000
CPF_SaveGame = 0x1000000
CPF_ReferenceParm = 0x8000000
CPF_BlueprintAssignable = 0x10000000
CPF_AdvancedDisplay = 0x40000000000
CPF_BlueprintCallable = 0x100000000000
CPF_NativeAccessSpecifierPublic = 0x10000000000000
CPF_NativeAccessSpecifierProtected = 0x20000000000000
CPF_NativeAccessSpecifierPrivate = 0x40000000000000

# EFunctionFlags
FUNC_Final = 0x1
FUNC_Native = 0x400
FUNC_Static = 0x2000
FUNC_MulticastDelegate = 0x10000
FUNC_Public = 0x20000
FUNC_Private = 0x40000
FUNC_Protected = 0x80000
FUNC_Delegate = 0x100000
FUNC_HasOutParms = 0x400000
FUNC_HasDefaults = 0x800000
FUNC_BlueprintCallable = 0x4000000
FUNC_BlueprintPure = 0x10000000
FUNC_Const = 0x40000000

# EClassFlags
CLASS_Abstract = 0x1
CLASS_Transient = 0x8
CLASS_MinimalAPI = 0x80000
CLASS_RequiredAPI = 0x100000

PROPERTY_ACCESS_FLAGS = {
	'public': CPF_NativeAccessSpecifierPublic,
	'protected': CPF_NativeAccessSpecifierProtected,
	'private': CPF_NativeAccessSpecifierPrivate,
}
FUNCTION_ACCESS_FLAGS = {'public': FUNC_Public, 'protected': FUNC_Protected, 'private': FUNC_Private}


@dataclass
class FTypeRef:
	"""A C++ type as written, split into what reflection needs."""
	Text: str  # the value type: no top-level const, no reference
	bConst: bool = False
	bReference: bool = False

	def ParameterText(self):
		"""The type as a function parameter declares it."""
		return ('const ' if self.bConst else '') + self.Text + ('&' if self.bReference else '')


@dataclass
class FReflectedProperty:
	Name: str
	Type: FTypeRef
	Flags: int
	Line: int
	MetaData: list = field(default_factory=list)  # (key, value) pairs
	Default: str = None  # C++ default argument of a parameter, as normalised text


@dataclass
class FReflectedFunction:
	Name: str
	Line: int
	Flags: int
	Params: list  # FReflectedProperty, return value last
	MetaData: list = field(default_factory=list)

	def ReturnValue(self):
		return self.Params[-1] if self.Params and self.Params[-1].Flags & CPF_ReturnParm else None

	def Arguments(self):
		return [Param for Param in self.Params if not Param.Flags & CPF_ReturnParm]


@dataclass
class FEnumerator:
	Name: str
	Line: int
	MetaData: list = field(default_factory=list)


@dataclass
class FReflectedEnum:
	Name: str
	Line: int
	bScoped: bool
	UnderlyingType: str
	Enumerators: list = field(default_factory=list)
	MetaData: list = field(default_factory=list)


@dataclass
class FReflectedStruct:
	"""A USTRUCT or a UCLASS; classes also carry functions and class flags."""
	Name: str
	Line: int
	SuperName: str
	bHasApiMacro: bool
	bIsClass: bool = False
	bNoExport: bool = False
	BodyLines: tuple = ()  # lines on which GENERATED_BODY() is written
	Properties: list = field(default_factory=list)
	Functions: list = field(default_factory=list)
	MetaData: list = field(default_factory=list)
	ClassFlags: int = 0
	bHasDefaultConstructor: bool = False
	bHasDestructor: bool = False

	def EngineName(self):
		"""The object name the engine gives the type: its C++ name without the prefix letter."""
		return self.Name[1:]


@dataclass
class FReflectedDelegate:
	"""A dynamic multicast delegate declared at file scope."""
	Name: str
	Lines: tuple  # every line the declaring macro spans
	Params: list

	def SignatureName(self):
		return self.Name[1:] + '__DelegateSignature'


@dataclass
class FReflectedHeader:
	Path: str
	BaseName: str
	Enums: list = field(default_factory=list)
	Structs: list = field(default_factory=list)  # structs and classes in declaration order
	Delegates: list = field(default_factory=list)

	def HasReflection(self):
		return bool(self.Enums or self.Structs or self.Delegates)
