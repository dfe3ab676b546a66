"""Tests of the header tool: what it reads from markup, the errors it reports, and its outputs."""

import io
import os
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stderr

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

import HeaderTool  # noqa: E402
from HeaderLexer import HeaderError  # noqa: E402
from HeaderParser import ParseHeader  # noqa: E402
from ReflectionModel import *  # noqa: E402,F401,F403

PRELUDE = '#pragma once\n#include "CoreMinimal.h"\n#include "Sample.generated.h"\n'


def Parse(Body, Path='Sample.h'):
	return ParseHeader(Path, PRELUDE + Body)


def LineOf(Body, Needle):
	"""The header line of the first line of Body containing Needle (after the prelude)."""
	return PRELUDE.count('\n') + 1 + Body.split(Needle)[0].count('\n')


class ParsesEnumerations(unittest.TestCase):
	def test_enumerators_with_values_and_metadata(self):
		Header = Parse('UENUM(BlueprintType, meta=(ToolTip="枚举"))\nenum class EKind : uint8\n{\n'
			'\tK_ONE = 1 << 2 UMETA(DisplayName="One", ToolTip="a\\nb"),\n\tK_TWO UMETA(Hidden),\n\tK_THREE = (K_ONE + 1)\n};\n')
		Enum = Header.Enums[0]
		self.assertEqual((Enum.Name, Enum.bScoped, Enum.UnderlyingType), ('EKind', True, 'uint8'))
		self.assertEqual([Item.Name for Item in Enum.Enumerators], ['K_ONE', 'K_TWO', 'K_THREE'])
		self.assertEqual(Enum.Enumerators[0].MetaData, [('DisplayName', 'One'), ('ToolTip', 'a\nb')])
		self.assertEqual(Enum.Enumerators[1].MetaData, [('Hidden', '')])
		self.assertEqual(Enum.MetaData, [('BlueprintType', 'true'), ('ToolTip', '枚举')])

	def test_blueprint_enum_class_must_be_uint8(self):
		with self.assertRaises(HeaderError) as Caught:
			Parse('UENUM(BlueprintType)\nenum class EWide : int32 { A };\n')
		self.assertIn('uint8', Caught.exception.Message)


class ParsesStructsAndProperties(unittest.TestCase):
	BODY = ('USTRUCT(BlueprintType)\nstruct TALVANE_API FChild : public FParent\n{\n\tGENERATED_BODY()\n\n'
		'\tFChild() : Count(3) {}\n\tvoid Helper() const { if (Count) { return; } }\n'
		'\tUPROPERTY(EditAnywhere, BlueprintReadWrite, Category="A|B", meta=(ToolTip="提示", DisplayName="Shown"))\n'
		'\tTMap<FString, FString> Pairs;\n'
		'\tUPROPERTY(VisibleAnywhere, BlueprintReadOnly, Category=Plain)\n\tTArray<int32> Values = {1, 2};\n'
		'\tUPROPERTY()\n\tint32 Count{0};\n\tint32 NotReflected = 4;\n'
		'private:\n\tUPROPERTY()\n\tfloat Hidden;\n};\n')

	def test_base_api_macro_and_body_line(self):
		Struct = Parse(self.BODY).Structs[0]
		self.assertEqual((Struct.Name, Struct.SuperName, Struct.bHasApiMacro), ('FChild', 'FParent', True))
		self.assertEqual(Struct.BodyLines, (LineOf(self.BODY, 'GENERATED_BODY'),))
		self.assertEqual(Struct.EngineName(), 'Child')

	def test_properties_in_order_with_types_flags_and_metadata(self):
		Properties = Parse(self.BODY).Structs[0].Properties
		self.assertEqual([(Item.Name, Item.Type.Text) for Item in Properties],
			[('Pairs', 'TMap<FString, FString>'), ('Values', 'TArray<int32>'), ('Count', 'int32'), ('Hidden', 'float')])
		self.assertEqual(Properties[0].Flags, CPF_Edit | CPF_BlueprintVisible | CPF_NativeAccessSpecifierPublic)
		self.assertEqual(Properties[0].MetaData, [('Category', 'A|B'), ('DisplayName', 'Shown'), ('ToolTip', '提示')])
		self.assertEqual(Properties[1].Flags & (CPF_EditConst | CPF_BlueprintReadOnly), CPF_EditConst | CPF_BlueprintReadOnly)
		self.assertEqual(Properties[1].MetaData, [('Category', 'Plain')])
		self.assertTrue(Properties[3].Flags & CPF_NativeAccessSpecifierPrivate)
		self.assertEqual(Properties[1].Line, LineOf(self.BODY, 'TArray<int32> Values'))

	def test_comments_and_strings_do_not_disturb_the_reader(self):
		Body = ('// UPROPERTY() in a comment\n/* USTRUCT() */\nconst char* Text = "UCLASS() }";\n'
			'USTRUCT()\nstruct FPlain\n{\n\tGENERATED_BODY()\n\tUPROPERTY() FString Name = TEXT("}{;");\n};\n')
		Struct = Parse(Body).Structs[0]
		self.assertEqual([Item.Name for Item in Struct.Properties], ['Name'])


class ParsesClassesAndFunctions(unittest.TestCase):
	BODY = ('UCLASS(BlueprintType, Abstract)\nclass MOD_API UThing : public UGameInstanceSubsystem\n{\n\tGENERATED_BODY()\n'
		'public:\n\tUFUNCTION(BlueprintCallable, Category="C")\n'
		'\tFGuid Send(const FString& InText, UPARAM(ref) FRequest& InRequest, const TMap<FString, FString>& InMap,\n'
		'\t\tTArray<FString>& OutLines, bool bFlag = false, float Scale = 2.5f, const FString& Label = TEXT("x y"));\n'
		'\tUFUNCTION(BlueprintPure)\n\tbool IsReady() const;\n'
		'\tUFUNCTION()\n\tstatic void Tool(void) {}\n'
		'\tvirtual void Deinitialize() override;\n'
		'protected:\n\tUFUNCTION()\n\tvoid Hidden(int32 Count) { (void)Count; }\n};\n')

	def test_class_flags_and_functions(self):
		Class = Parse(self.BODY).Structs[0]
		self.assertTrue(Class.bIsClass)
		self.assertEqual(Class.ClassFlags, CLASS_Abstract | CLASS_RequiredAPI)
		self.assertFalse(Class.bHasDefaultConstructor)
		self.assertEqual([Function.Name for Function in Class.Functions], ['Send', 'IsReady', 'Tool', 'Hidden'])
		Send, IsReady, Tool, Hidden = Class.Functions
		self.assertEqual(Send.Flags, FUNC_Final | FUNC_Native | FUNC_Public | FUNC_BlueprintCallable | FUNC_HasOutParms
			| FUNC_HasDefaults)
		self.assertEqual(IsReady.Flags & (FUNC_BlueprintPure | FUNC_Const), FUNC_BlueprintPure | FUNC_Const)
		self.assertTrue(Tool.Flags & FUNC_Static)
		self.assertEqual(Tool.Params, [])
		self.assertTrue(Hidden.Flags & FUNC_Protected)

	def test_parameter_flags_follow_the_reference_rules(self):
		Send = Parse(self.BODY).Structs[0].Functions[0]
		Flags = {Param.Name: Param.Flags for Param in Send.Params}
		self.assertEqual(Flags['InText'], CPF_Parm)
		self.assertEqual(Flags['InRequest'], CPF_Parm | CPF_OutParm | CPF_ReferenceParm)
		self.assertEqual(Flags['InMap'], CPF_Parm | CPF_OutParm | CPF_ReferenceParm | CPF_ConstParm)
		self.assertEqual(Flags['OutLines'], CPF_Parm | CPF_OutParm)
		self.assertEqual(Flags['ReturnValue'], CPF_Parm | CPF_OutParm | CPF_ReturnParm)
		self.assertEqual(Send.Params[-1].Name, 'ReturnValue')
		self.assertEqual(Send.Params[2].Type.Text, 'TMap<FString, FString>')

	def test_default_values_become_cpp_default_metadata(self):
		MetaData = dict(Parse(self.BODY).Structs[0].Functions[0].MetaData)
		self.assertEqual(MetaData['CPP_Default_bFlag'], 'false')
		self.assertEqual(MetaData['CPP_Default_Scale'], '2.500000')
		self.assertEqual(MetaData['CPP_Default_Label'], 'x y')
		self.assertEqual(MetaData['Category'], 'C')

	def test_delegates_split_their_arguments_as_the_preprocessor_does(self):
		Body = ('DECLARE_DYNAMIC_MULTICAST_DELEGATE_TwoParams(FOnPair, const TArray<FString>&, InLines,\n'
			'\tint32, InCount);\nDECLARE_DYNAMIC_MULTICAST_DELEGATE(FOnNothing)\n')
		Pair, Nothing = Parse(Body).Delegates
		self.assertEqual(Pair.Lines, (LineOf(Body, 'FOnPair'), LineOf(Body, 'FOnPair') + 1))
		self.assertEqual([(Param.Name, Param.Type.ParameterText()) for Param in Pair.Params],
			[('InLines', 'const TArray<FString>&'), ('InCount', 'int32')])
		self.assertEqual(Nothing.Params, [])
		self.assertEqual(Pair.SignatureName(), 'OnPair__DelegateSignature')

	def test_delegates_take_up_to_nine_parameters_as_in_the_engine(self):
		Names = [f'P{Index}' for Index in range(1, 10)]
		Body = 'DECLARE_DYNAMIC_MULTICAST_DELEGATE_NineParams(FOnNine, ' + ', '.join(f'int32, {Name}' for Name in Names) + ');\n'
		Nine, = Parse(Body).Delegates
		self.assertEqual([Param.Name for Param in Nine.Params], Names)


	def test_function_parameters_and_results_may_point_to_object_classes(self):
		Body = ('UCLASS()\nclass UNode : public UObject\n{\n\tGENERATED_BODY()\n'
			'\tUFUNCTION(BlueprintCallable, meta=(BlueprintInternalUseOnly="true", WorldContext="Context"))\n'
			'\tstatic UNode* Make(const UObject* Context, int32 Count);\n};\n')
		Make = Parse(Body).Structs[0].Functions[0]
		self.assertEqual([(Param.Name, Param.Type.ParameterText()) for Param in Make.Params],
			[('Context', 'const UObject*'), ('Count', 'int32'), ('ReturnValue', 'UNode*')])
		self.assertEqual(dict(Make.MetaData)['WorldContext'], 'Context')
		with self.assertRaises(HeaderError) as Caught:
			Parse(Body.replace('const UObject* Context', 'FThing* Context'))
		self.assertIn('pointer', Caught.exception.Message)

	def test_properties_may_point_to_object_classes_also_inside_containers(self):
		Body = ('UCLASS()\nclass UHolder : public UObject\n{\n\tGENERATED_BODY()\n'
			'\tUPROPERTY() UHolder* Next;\n\tUPROPERTY() TArray<UObject*> Many;\n\tUPROPERTY() TMap<FString, UHolder*> ByName;\n};\n')
		Holder = Parse(Body).Structs[0]
		self.assertEqual([Property.Type.Text for Property in Holder.Properties], ['UHolder*', 'TArray<UObject*>', 'TMap<FString, UHolder*>'])


class ReportsMalformedHeaders(unittest.TestCase):
	CASES = [
		('USTRUCT()\nstruct FNoBody\n{\n\tUPROPERTY() int32 A;\n};\n', 'FNoBody', 'GENERATED_BODY'),
		('USTRUCT()\nstruct FBad\n{\n\tGENERATED_BODY()\n\tUPROPERTY(EditEverywhere) int32 A;\n};\n', 'EditEverywhere', 'EditEverywhere'),
		('USTRUCT()\nstruct FBad\n{\n\tGENERATED_BODY()\n\tUPROPERTY() TSharedPtr<int32> A;\n};\n', 'TSharedPtr', 'TSharedPtr'),
		('USTRUCT()\nstruct FBad\n{\n\tGENERATED_BODY()\n\tUPROPERTY() FThing* A;\n};\n', 'FThing*', 'pointer'),
		('USTRUCT()\nstruct FBad\n{\n\tGENERATED_BODY()\n\tUPROPERTY() TArray<TArray<int32>> A;\n};\n', 'TArray<TArray', 'nests'),
		('USTRUCT()\nstruct FBad\n{\n\tGENERATED_BODY()\n\tUFUNCTION() void F();\n};\n', 'UFUNCTION', 'UFUNCTION'),
		('UPROPERTY()\nint32 Loose;\n', 'UPROPERTY', 'only allowed'),
		('DECLARE_DYNAMIC_MULTICAST_DELEGATE_TwoParams(FOnBad, TMap<FString, int32>, InMap, int32, InCount);\n',
			'FOnBad', 'typedef'),
		('UCLASS()\nclass UThing : public UObject\n{\n\tGENERATED_BODY()\n\tUFUNCTION() void F(int32);\n};\n',
			'void F(int32)', 'type and a name'),
		('UENUM()\nenum class EBad : uint8 { A, A };\n', 'EBad', 'twice'),
		('USTRUCT()\nstruct FOpen\n{\n\tGENERATED_BODY()\n\tUPROPERTY() int32 A;\n', 'UPROPERTY() int32 A', 'end of file'),
		('/* never closed\nUSTRUCT()\n', 'never closed', 'comment'),
		('USTRUCT()\nstruct FOne\n{\n\tGENERATED_BODY()\n};\nUSTRUCT()\nstruct FOne\n{\n\tGENERATED_BODY()\n};\n',
			'struct FOne\n{\n\tGENERATED_BODY()\n};\nUSTRUCT()\nstruct FOne', 'twice'),
	]

	def test_each_error_names_the_line(self):
		for Body, Needle, Words in self.CASES:
			with self.subTest(Needle=Needle):
				with self.assertRaises(HeaderError) as Caught:
					Parse(Body)
				Expected = LineOf(Body, Needle) + (Needle.count('\n') if Words == 'twice' and '\n' in Needle else 0)
				if Words != 'end of file':
					self.assertEqual(Caught.exception.Line, Expected, Caught.exception.Message)
				self.assertIn(Words, Caught.exception.Message)
				self.assertTrue(str(Caught.exception).startswith('Sample.h:'))

	def test_the_generated_include_must_come_last(self):
		Body = 'USTRUCT()\nstruct FOk\n{\n\tGENERATED_BODY()\n};\n'
		with self.assertRaises(HeaderError) as Caught:
			ParseHeader('Sample.h', '#include "Sample.generated.h"\n#include "Later.h"\n' + Body)
		self.assertEqual(Caught.exception.Line, 2)
		with self.assertRaises(HeaderError):
			ParseHeader('Sample.h', '#include "CoreMinimal.h"\n' + Body)
		self.assertEqual(ParseHeader('Plain.h', '#include "CoreMinimal.h"\nstruct FNothing {};\n').Structs, [])


class WritesOutputs(unittest.TestCase):
	HEADER = PRELUDE + ('UENUM(BlueprintType)\nenum class EKind : uint8 { K_A UMETA(ToolTip="第一\\n\\"引号\\""), K_B };\n'
		'USTRUCT()\nstruct FThing\n{\n\tGENERATED_BODY()\n\tUPROPERTY() int32 A;\n};\n')

	def Run(self, Folder, Text):
		Path = os.path.join(Folder, 'Sample.h')
		with open(Path, 'w', encoding='utf-8') as Output:
			Output.write(Text)
		Errors = io.StringIO()
		with redirect_stderr(Errors):
			Status = HeaderTool.Main(['--package', '/Script/Sample', '--output-dir', os.path.join(Folder, 'Out'), '--root', Folder, Path])
		return Status, Errors.getvalue()

	def test_outputs_hold_escaped_utf8_and_per_line_macros(self):
		with tempfile.TemporaryDirectory() as Folder:
			self.assertEqual(self.Run(Folder, self.HEADER), (0, ''))
			with open(os.path.join(Folder, 'Out', 'Sample.gen.cpp'), encoding='utf-8') as Input:
				Cpp = Input.read()
			with open(os.path.join(Folder, 'Out', 'Sample.generated.h'), encoding='utf-8') as Input:
				Generated = Input.read()
		self.assertIn('{ "K_A.ToolTip", "第一\\n\\"引号\\"" }', Cpp)
		self.assertIn('(int64)EKind::K_B', Cpp)
		self.assertIn('#define FID_Sample_h_9_GENERATED_BODY', Generated)
		self.assertIn('#define CURRENT_FILE_ID FID_Sample_h', Generated)
		self.assertIn('template<> SAMPLE_API UEnum* StaticEnum<EKind>();', Generated)

	def test_unchanged_outputs_are_not_rewritten_and_errors_write_nothing(self):
		with tempfile.TemporaryDirectory() as Folder:
			self.Run(Folder, self.HEADER)
			Output = os.path.join(Folder, 'Out', 'Sample.gen.cpp')
			os.utime(Output, (1, 1))
			self.assertEqual(self.Run(Folder, self.HEADER)[0], 0)
			self.assertEqual(os.stat(Output).st_mtime, 1)
			Status, Errors = self.Run(Folder, self.HEADER.replace('int32 A;', 'int32 A'))
			self.assertEqual(Status, 1)
			self.assertRegex(Errors, r'Sample\.h:11: error: ')
			self.assertEqual(os.stat(Output).st_mtime, 1)

	def test_command_line_fails_with_file_and_line(self):
		with tempfile.TemporaryDirectory() as Folder:
			Path = os.path.join(Folder, 'Broken.h')
			with open(Path, 'w', encoding='utf-8') as Output:
				Output.write('#include "Broken.generated.h"\nUCLASS()\nclass UBroken\n{\n\tGENERATED_BODY()\n};\n')
			Tool = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'HeaderTool.py')
			Result = subprocess.run([sys.executable, Tool, '--package', '/Script/Broken', '--output-dir', Folder, Path],
				capture_output=True, text=True)
		self.assertEqual(Result.returncode, 1)
		self.assertIn(f"{Path}:3: error: UCLASS 'UBroken' must derive from UObject", Result.stderr)


if __name__ == '__main__':
	unittest.main()
