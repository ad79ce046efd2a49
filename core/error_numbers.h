// Names of the compile errors and warnings: one entry for every text of the
// message table (core/error_messages.cpp), named after what the text says.
// A new text in the table gets its name here; the names test fails while the
// two disagree. Warnings that are never errors are named WARNING_; a number
// with an empty text is raised after the build has shown a text of its own.
#pragma once

#include <cstdint>

// X(name, number, English text)
#define ZANDREL_ERROR_NAMES(X) \
    X(ERROR_NONE,                                       0, "") \
    X(ERROR_SYNTAX,                                     1, "Syntax error.") \
    X(ERROR_TOO_MANY_OPEN_PARENTHESES,                  2, "Too many '(' parentheses.") \
    X(ERROR_TOO_MANY_CLOSE_PARENTHESES,                 3, "Too many ')' parentheses.") \
    X(ERROR_GARBAGE_AT_END_OF_LINE,                     4, "Garbage at the end of the line.") \
    X(ERROR_BYTE_OVERFLOW,                              5, "Overflow error: a 'byte' value (.b) must be between -128 and +255.") \
    X(ERROR_CLOSE_PARENTHESIS_EXPECTED,                 6, "')' expected.") \
    X(ERROR_NUMBER_INTO_STRING_VARIABLE,                7, "Can't write a numerical value into a string variable.") \
    X(ERROR_STRINGS_MIXED_WITH_NUMBERS,                 8, "Can't mix strings with numerical values.") \
    X(ERROR_STRING_INTO_NUMERIC_VARIABLE,               9, "Trying to write a string into a numerical variable.") \
    X(ERROR_VARIABLE_DECLARED_WITH_OTHER_TYPE,         10, "Variable already declared with another type: %s.") \
    X(ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO,      12, "%s() is not a function, array, list, map or macro.") \
    X(ERROR_STRING_EXPRESSION_EXPECTED,                13, "A string expression is expected ('number' not allowed).") \
    X(ERROR_STRING_PARAMETER_EXPECTED,                 14, "Bad parameter type: a string is expected.") \
    X(ERROR_ARRAY_PARAMETER_EXPECTED,                  15, "Bad parameter type: an array is expected.") \
    X(ERROR_LIST_PARAMETER_EXPECTED,                   16, "Bad parameter type: a list is expected.") \
    X(ERROR_OBJECT_TYPE_NOT_DETECTED,                  17, "Strange error: object type not detected.") \
    X(ERROR_END_CONDITION_OPERAND_EXPECTED,            18, "Another 'End Condition' operand is expected here.") \
    X(ERROR_ARRAY_NAME_START,                          19, "A array name need to start with a character (a-z, _ or *).") \
    X(ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP,      20, "An integer numeric constant is expected after 'Step'.") \
    X(ERROR_TO_EXPECTED_AFTER_FOR,                     21, "After 'For' must come 'To'.") \
    X(ERROR_ILLEGAL_FOR_EXPRESSION,                    22, "Illegal expression in For/Next. Must be: 'For Var = Expression To'.") \
    X(ERROR_WRONG_NEXT_VARIABLE,                       23, "Wrong variable for this 'Next'.") \
    X(ERROR_ARRAY_WITHOUT_STRUCTURE,                   24, "This array doesn't have a structure.") \
    X(ERROR_LITERAL_STRING_EXPECTED_AFTER,             25, "Only a literal string can be put after '%s'.") \
    X(ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES,              26, "'Swap' only works with 2 elements of the same native type (not structured).") \
    X(ERROR_PROTOTYPE_DECLARED_IN_RESIDENT,            28, "Prototype already declared: %s (in resident file %s).") \
    X(ERROR_TOO_DEEPLY_NESTED,                         29, "Too deeply nested %s (over 64 inclusions, may be an 'Include' recursivity ?).") \
    X(ERROR_INCLUDED_FILE_NOT_FOUND,                   31, "Included file not found: %s.") \
    X(ERROR_UNFINISHED_CONDITION,                      32, "Unfinished condition.") \
    X(ERROR_ASSEMBLER_FAILED,                          33, "") \
    X(ERROR_ILLEGAL_DEFINE_OPERATOR,                   34, "Illegal operator for 'Define'.") \
    X(ERROR_PROCEDURE_INSIDE_PROCEDURE,                35, "Can't define a procedure inside another procedure.") \
    X(ERROR_NUMBER_PARAMETER_EXPECTED,                 36, "Bad parameter type, number expected instead of string.") \
    X(ERROR_ENDPROCEDURE_WITHOUT_PROCEDURE,            37, "'EndProcedure' without 'Procedure'.") \
    X(ERROR_EXPLICIT_VARIABLE_NOT_DECLARED,            38, "With 'EnableExplicit', variables have to be declared: %s.") \
    X(ERROR_MACRO_DECLARED_IN_RESIDENT,                39, "Macro already declared: %s (in resident file %s).") \
    X(ERROR_ONLY_INSIDE_PROCEDURE,                     40, "'%s' can only be used inside a procedure.") \
    X(ERROR_ELSE_WITHOUT_IF,                           41, "'Else' without 'If'.") \
    X(ERROR_WEND_WITHOUT_WHILE,                        42, "'Wend' without 'While'.") \
    X(ERROR_UNTIL_WITHOUT_REPEAT,                      43, "'Until' without 'Repeat'.") \
    X(ERROR_ENDIF_WITHOUT_IF,                          44, "'EndIf' without 'If'.") \
    X(ERROR_ENDSELECT_WITHOUT_SELECT,                  45, "'EndSelect' without 'Select'.") \
    X(ERROR_FOREVER_WITHOUT_REPEAT,                    46, "'Forever' without 'Repeat'.") \
    X(ERROR_NEXT_WITHOUT_FOR,                          47, "'Next' without 'For'.") \
    X(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_CALL,       48, "'(' is missing after the function call.") \
    X(ERROR_INCORRECT_PARAMETER_COUNT,                 49, "%s(): Incorrect number of parameters.") \
    X(ERROR_STRUCTURE_FIELD_NOT_FOUND,                 51, "Structure field not found: %s.") \
    X(ERROR_TOO_MANY_PARAMETERS,                       52, "Too many parameters for %s().") \
    X(ERROR_CHARACTER_CONSTANT_TOO_LONG,               54, "Number in single quotes (') is limited to 1 character.") \
    X(ERROR_INVALID_DECIMAL_NUMBER,                    56, "Not a valid Decimal number.") \
    X(ERROR_INVALID_HEXADECIMAL_NUMBER,                57, "Not a valid Hexadecimal number.") \
    X(ERROR_INVALID_BINARY_NUMBER,                     58, "Not a valid Binary number.") \
    X(ERROR_NUMBER_TOO_BIG,                            59, "Numerical overflow: too big number.") \
    X(ERROR_CONSTANT_NOT_FOUND,                        60, "Constant not found: #%s.") \
    X(ERROR_ARRAY_TYPE_DIFFERS,                        61, "Array type is different than earlier.") \
    X(ERROR_CONSTANT_FROM_VARIABLE_OR_FUNCTION,        62, "A constant can't be composed by a variable or a function.") \
    X(ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE,        63, "Constant already declared with a different value: #%s.") \
    X(ERROR_CONSTANT_NAME_START,                       64, "A constant name needs to start with a character (a-z or _).") \
    X(ERROR_ENDSTRUCTURE_WITHOUT_STRUCTURE,            65, "'EndStructure' without 'Structure'.") \
    X(ERROR_FIELD_TYPE_EXPECTED,                       66, "A field in a 'Structure' needs an explicit declared type.") \
    X(ERROR_STRUCTURE_NAME_START,                      67, "A structure name needs to start with a character (a-z or _).") \
    X(ERROR_INTERFACE_ALREADY_DECLARED,                68, "Interface already declared: %s.") \
    X(ERROR_STRUCTURE_IN_STRUCTURE,                    69, "Can't have a 'Structure' in a structure.") \
    X(ERROR_ENDLESS_RECURSION,                         70, "Can't do it, it would cause endless recursivity.") \
    X(ERROR_STRUCTURE_NOT_FOUND,                       71, "Structure not found: %s.") \
    X(ERROR_FIXED_STRING_PARAMETER,                    72, "Fixed strings can't be used as procedure arguments.") \
    X(ERROR_ARRAY_PARAMETER_MISMATCH,                  73, "Array doesn't match with the procedure parameter.") \
    X(ERROR_VARIABLE_WITHOUT_STRUCTURE,                74, "The following variable doesn't have a 'Structure': %s.") \
    X(ERROR_LIST_WITHOUT_STRUCTURE,                    75, "This list doesn't have a 'Structure'.") \
    X(ERROR_NEWLIST_SYNTAX,                            76, "'NewList' syntax is: NewList Name().") \
    X(ERROR_DIM_SYNTAX,                                77, "'Dim' syntax is: Dim Name(nb).") \
    X(ERROR_INVALID_OPERATOR,                          79, "'%s' is not a valid operator.") \
    X(ERROR_PROCEDURE_NAME_START,                      81, "A procedure name needs to start with a character (a-z or _).") \
    X(ERROR_PROCEDURE_OPEN_PARENTHESIS_EXPECTED,       82, "A procedure must begin with a '('.") \
    X(ERROR_PROCEDURE_IS_ALREADY_DECLARED,             83, "Procedure is already declared: %s.") \
    X(ERROR_PROCEDURE_CLOSE_PARENTHESIS_EXPECTED,      84, "A ')' is expected to close the procedure.") \
    X(ERROR_PROCEDURE_ARGUMENTS_SYNTAX,                85, "Syntax error in the procedure arguments.") \
    X(ERROR_STRUCTURE_PROCEDURE_RETURN,                86, "A structure can't be used with ProcedureReturn.") \
    X(ERROR_INVALID_FLOAT_NUMBER,                      87, "Not a valid float number.") \
    X(ERROR_BUILT_IN_LIBRARIES_NOT_LOADED,             88, "Can't load built-in libraries, please re-install Zandrel.") \
    X(ERROR_PARENTHESES_EXPECTED_AFTER_LIST,           90, "'()' is expected after a list.") \
    X(ERROR_FILE_NOT_FOUND,                            91, "File not found (%s).") \
    X(ERROR_SIZEOF_NEEDS_DECLARED_ITEM,                92, "A declared variable or structure is expected for SizeOf().") \
    X(ERROR_EXECUTABLE_NOT_CREATED,                    93, "Can't create the 'Zandrel.exe' file (already running?).") \
    X(ERROR_STRING_EXPECTED_NOT_NUMBER,                94, "'%s' expects a string, not a numerical value.") \
    X(ERROR_DUPLICATED_LIBRARY_COMMAND,                95, "Duplicated library command: %s() (in libraries %s and %s).") \
    X(ERROR_LIBRARY_NOT_LOADED,                        96, "Can't load the following library: %s.") \
    X(ERROR_NAME_SAME_AS_COMMAND,                      97, "Invalid name: same as a command (from library '%s').") \
    X(ERROR_NAME_SAME_AS_ARRAY,                        98, "Invalid name: same as an array.") \
    X(ERROR_NAME_SAME_AS_LIST,                         99, "Invalid name: same as a list.") \
    X(ERROR_NAME_SAME_AS_PROCEDURE,                   100, "Invalid name: same as a procedure.") \
    X(ERROR_LABEL_NOT_FOUND,                          101, "Label not found (%s).") \
    X(ERROR_WORD_OVERFLOW,                            102, "Overflow error: a 'word' value (.w) must be between -32768 and +65535.") \
    X(ERROR_MAP_PARAMETER_EXPECTED,                   103, "Bad parameter type: a map is expected.") \
    X(ERROR_ICON_FILE_NOT_FOUND,                      104, "Icon file not found.") \
    X(ERROR_GOSUB_INSIDE_PROCEDURE,                   105, "'Gosub' and 'Return' are not allowed inside a procedure.") \
    X(ERROR_DIVISION_BY_ZERO,                         106, "Division by 0 forbidden.") \
    X(ERROR_DUPLICATE_LABEL,                          107, "Duplicate label.") \
    X(ERROR_LITERAL_STRING_NOT_TERMINATED,            108, "Literal string not terminated (\" missing).") \
    X(ERROR_CASE_WITHOUT_SELECT,                      109, "'Case' without 'Select'.") \
    X(ERROR_LIBRARY_MISSING,                          110, "Library missing: %s (needed by '%s' library).") \
    X(ERROR_OUT_OF_CPU_REGISTERS,                     111, "Too complex expression (out of CPU registers). Please split it.") \
    X(ERROR_OPERATOR_WITHOUT_FLOAT_FORM,              112, "Can't use any of the following operands with float or double: <<, >>, &, |, !, %.") \
    X(ERROR_PROCEDURE_INSIDE_BLOCK,                   113, "A procedure can't be declared inside an If, Repeat, While or For.") \
    X(ERROR_RESIDENTS_NOT_LOADED,                     114, "Can't load any residents.") \
    X(ERROR_DATA_TYPE_EXPECTED,                       115, "A type or structure must be specified after 'Data'.") \
    X(ERROR_DATA_OUTSIDE_DATASECTION,                 116, "'Data' can only be declared in a 'DataSection'.") \
    X(ERROR_STRINGS_COMPARED_WITH_NUMBERS,            117, "Can't compare strings with numerical values.") \
    X(ERROR_DECLARE_MISMATCH,                         118, "Declare doesn't match with real Procedure.") \
    X(ERROR_PARAMETER_DECLARED_TWICE,                 119, "Procedure parameter can't be declared twice: %s.") \
    X(ERROR_DEFAULT_WITHOUT_SELECT,                   120, "'Default' without 'Select'.") \
    X(ERROR_DEFAULT_WITHOUT_CASE,                     121, "'Default' without 'Case'.") \
    X(ERROR_STRUCTUREUNION_OUTSIDE_STRUCTURE,         122, "'StructureUnion' must be used inside a structure.") \
    X(ERROR_CANNOT_BE_NESTED,                         123, "'%s' can not be nested.") \
    X(ERROR_ENDSTRUCTUREUNION_WITHOUT_STRUCTUREUNION, 124, "'EndStructureUnion' needs to be called after 'StructureUnion'.") \
    X(ERROR_GOSUB_WITHOUT_RETURN,                     125, "'Gosub' detected without any 'Return'.") \
    X(ERROR_COMPILERIF_WITHOUT_COMPILERENDIF,         127, "'CompilerIf' without 'CompilerEndIf'.") \
    X(ERROR_COMPILERSELECT_WITHOUT_COMPILERENDSELECT, 128, "'CompilerSelect' without 'CompilerEndSelect'.") \
    X(ERROR_COMPILERIF_UNCLOSED,                      129, "'CompilerIf' without 'CompilerEndIf'.") \
    X(ERROR_COMPILERENDIF_WITHOUT_COMPILERIF,         130, "'CompilerEndIf' without 'CompilerIf'.") \
    X(ERROR_COMPILERENDSELECT_WITHOUT_COMPILERSELECT, 131, "'CompilerEndSelect' without 'CompilerSelect'.") \
    X(ERROR_COMPILERCASE_WITHOUT_COMPILERSELECT,      132, "'CompilerCase' without 'CompilerSelect'.") \
    X(ERROR_COMPILERELSE_WITHOUT_COMPILERIF,          133, "'CompilerElse' without 'CompilerIf'.") \
    X(ERROR_COMPILERDEFAULT_WITHOUT_COMPILERSELECT,   134, "'CompilerDefault' without 'CompilerSelect'.") \
    X(ERROR_DIRECTIVE_INTEGER_CONSTANT_EXPECTED,      135, "Integer constant expression expected for compiler directives.") \
    X(ERROR_NEGATIVE_VALUE,                           136, "Negative values are not allowed.") \
    X(ERROR_VALUE_ASSIGNED_TO_STRUCTURE,              137, "Can't assign a value to a structure.") \
    X(ERROR_LIST_ALREADY_DECLARED,                    139, "List already declared: %s().") \
    X(ERROR_NAME_SAME_AS_MAP,                         140, "Invalid name: same as a map.") \
    X(ERROR_ELSEIF_AFTER_ELSE,                        141, "'ElseIf' can't be used after 'Else'.") \
    X(ERROR_VARIABLE_NAMED_AS_KEYWORD,                142, "A variable can't be named the same as a keyword: %s.") \
    X(ERROR_ARRAY_NAMED_AS_KEYWORD,                   143, "An array can't be named the same as a keyword: %s.") \
    X(ERROR_LIST_NAMED_AS_KEYWORD,                    144, "A list can't be named the same as a keyword: %s.") \
    X(ERROR_STRUCTUREUNION_NOT_CLOSED,                145, "'EndStructureUnion' should be called before closing the Structure.") \
    X(ERROR_INTEGER_EXPRESSION_EXPECTED,              146, "An integer only expression is expected ('float' and 'string' not allowed).") \
    X(ERROR_PROCEDURE_DECLARED_NOT_DEFINED,           148, "The procedure '%s()' has been declared but not defined.") \
    X(ERROR_UNDEFINED_STRUCTURE,                      149, "Use of an undefined structure: %s.") \
    X(ERROR_CASE_EXPECTED_AFTER_SELECT,               151, "Only 'Case', 'Default' or 'EndSelect' are expected after 'Select'.") \
    X(ERROR_DEFAULT_NOT_LAST,                         152, "'Default' has to be the last case of Select/EndSelect.") \
    X(ERROR_ENUMERATION_ONLY_CONSTANTS,               153, "Only constants are allowed in an Enumeration.") \
    X(ERROR_ENUMERATION_INTEGER_CONSTANT_EXPECTED,    154, "Only integer constant expressions allowed for an Enumeration.") \
    X(ERROR_INTERFACE_NAME_START,                     155, "An Interface name needs to start with a character (a-z or _).") \
    X(ERROR_BINARY_NOT_ON_FLOAT,                      156, "Binary not operand '~' can not be used with float or double.") \
    X(ERROR_ENDINTERFACE_WITHOUT_INTERFACE,           157, "EndInterface without Interface.") \
    X(ERROR_DUPLICATED_INTERFACE_METHOD,              158, "Duplicated interface function name: %s.") \
    X(ERROR_ENUMERATION_INSIDE_ENUMERATION,           159, "Can't have an 'Enumeration' inside another 'Enumeration'.") \
    X(ERROR_FOREACH_NEEDS_LIST_OR_MAP,                160, "A list or a map is expected after 'ForEach'.") \
    X(ERROR_ENDENUMERATION_WITHOUT_ENUMERATION,       161, "'EndEnumeration' without 'Enumeration'.") \
    X(ERROR_END_KEYWORD_MISSING,                      162, "'End%s' is missing.") \
    X(ERROR_ARRAY_TYPE_CHANGED,                       163, "'%s' can't change the type of the array.") \
    X(ERROR_BREAK_LEVEL_TOO_HIGH,                     164, "'Break' level is too high (higher than loop number).") \
    X(ERROR_BREAK_INTEGER_CONSTANT_EXPECTED,          165, "Only an integer constant expression is allowed after 'Break'.") \
    X(ERROR_BREAK_LEVEL_BELOW_ONE,                    166, "'Break' level has to be above or equal to 1.") \
    X(ERROR_INTERFACE_METHOD_NOT_FOUND,               167, "Interface method not found: %s.") \
    X(ERROR_FOREACH_NEXT_NEEDS_LIST_OR_MAP,           168, "A list or a map is expected after a ForEach 'Next'.") \
    X(ERROR_FOREACH_LIST_MISMATCH,                    169, "The specified list doesn't match with 'ForEach'.") \
    X(ERROR_EXTENDS_NEEDS_STRUCTURE_OR_INTERFACE,     170, "A 'Structure' or 'Interface' is expected after 'Extends'.") \
    X(ERROR_ASCII_NUMBER_OUT_OF_RANGE,                171, "ASCII number should be between 0 and 255.") \
    X(ERROR_FOR_INTEGER_ASSIGNMENT_EXPECTED,          172, "An integer assignment is expected after 'For'.") \
    X(ERROR_RESOURCE_FILE_NOT_CREATED,                173, "Can't create the resource file.") \
    X(ERROR_NATIVE_TYPE_NAME,                         174, "A 'Structure', 'Interface' or 'Prototype' can't have a native type name: %s.") \
    X(ERROR_LIST_NAME_START,                          175, "A list name needs to start with a character (a-z or _).") \
    X(ERROR_ARRAY_DIMENSION_COUNT,                    176, "The array dimensions value needs to be between 1 and 255 for '%s()'.") \
    X(ERROR_END_CONDITION_KEYWORD_MISSING,            177, "The following end condition keyword is missing: %s.") \
    X(ERROR_MAP_NAME_START,                           178, "A map name needs to start with a character (a-z or _).") \
    X(ERROR_CLOSE_BRACKET_MISSING,                    179, "Syntax error: a bracket ']' is missing.") \
    X(ERROR_STRUCTURE_FIELD_MISSING,                  180, "Syntax error: structure field missing.") \
    X(ERROR_LITERAL_STRING_AS_EXPRESSION,             182, "Use of a literal string as an expression is not allowed.") \
    X(ERROR_STRUCTURE_FIELD_DECLARED_TWICE,           183, "This structure field has already been declared.") \
    X(ERROR_CONSTANT_WITH_TYPE,                       185, "A constant can't have a type.") \
    X(ERROR_MISSING_ARRAY_PARAMETERS,                 186, "Missing parameters in the array: %s.") \
    X(ERROR_STRUCTURED_FOR_COUNTER,                   187, "For/Next only accepts non-structured variables as counters.") \
    X(ERROR_INVALID_NAME,                             188, "Invalid name: %s.") \
    X(ERROR_NUMBER_EXPECTED_NOT_STRING,               189, "'%s' expects a numerical value, not a string.") \
    X(ERROR_REDIM_UNDECLARED_ARRAY,                   190, "'ReDim' can't be used on a non-declared array: %s().") \
    X(ERROR_CLOSE_BRACE_EXPECTED_AFTER_FIXED_STRING,  191, "A closing bracket '}' is expected after a fixed string declaration.") \
    X(ERROR_FIXED_STRING_SIZE,                        192, "A fixed string can only be declared with a numerical constant expression > 0.") \
    X(ERROR_FIXED_STRING_SIZE_CHANGED,                193, "Fixed string redeclared with a different size.") \
    X(ERROR_MACRO_ALREADY_DECLARED,                   194, "Macro already declared: %s.") \
    X(ERROR_MACRO_NAMED_AS_KEYWORD,                   195, "A macro can't have the same name as a keyword: %s.") \
    X(ERROR_ENDWITH_WITHOUT_WITH,                     196, "'EndWith' without 'With'.") \
    X(ERROR_DEFAULT_PARAMETER_VALUE_MISSING,          197, "The default value for a parameter is missing.") \
    X(ERROR_STATIC_NEEDS_LITERAL,                     198, "Only literal expressions are valid for 'Static' or 'Threaded'.") \
    X(ERROR_MACRO_NAMED_AS_VARIABLE,                  199, "A macro can't have the same name as a variable: %s.") \
    X(ERROR_CUSTOM_TEXT,                              200, "%s") \
    X(ERROR_INTEGER_TYPE_TOO_SMALL_FOR_POINTER,       201, "Integer type too small to store a pointer.") \
    X(ERROR_ASCII_OVERFLOW,                           202, "Overflow error: a 'ascii' (.a) value must be between 0 and 255.") \
    X(ERROR_CHARACTER_OVERFLOW,                       203, "Overflow error: a 'character' (.c) or 'unicode' (.u) value must be between 0 and 65535.") \
    X(ERROR_MACRO_ENDLESS_RECURSION,                  204, "Endless recursivity detected in the Macro.") \
    X(ERROR_OPTIONAL_PARAMETERS_NOT_LAST,             205, "All optional parameters must be grouped at the end.") \
    X(ERROR_FOREACH_MAP_MISMATCH,                     206, "The specified map doesn't match with 'ForEach'.") \
    X(ERROR_ARRAY_SIZE_NOT_LITERAL,                   207, "'Static', 'Threaded' or 'Structure' array must be declared with literal numbers (not variables).") \
    X(ERROR_LOCAL_VARIABLE_ALREADY_DECLARED,          208, "Local variable '%s' already declared.") \
    X(ERROR_LOGIC_OPERATOR_IN_CASE,                   209, "Logic operands (And, Or, Xor, Not) can't be used with 'Case'.") \
    X(ERROR_PROCEDURE_NAMED_AS_OPERATOR,              210, "A procedure can't have the same name as an operand: %s.") \
    X(ERROR_COMMAND_NOT_IN_DLL,                       211, "The following command can't be used in a DLL: %s.") \
    X(ERROR_LIST_PARAMETER_MISMATCH,                  212, "The list doesn't match with the procedure parameter.") \
    X(ERROR_PROCEDURE_NAMED_AS_KEYWORD,               213, "A procedure can't have the same name as a keyword: %s.") \
    X(ERROR_NOT_ENOUGH_MACRO_PARAMETERS,              214, "Not enough parameters for the macro: %s().") \
    X(ERROR_COLON_AFTER_WITH,                         215, "The multi-line character ':' can't be used after 'With'.") \
    X(ERROR_VARIABLE_DECLARED_WITH_OTHER_SCOPE,       216, "Variable already declared with a different scope: %s.") \
    X(ERROR_ARRAY_ALREADY_DECLARED,                   217, "Array already declared: %s().") \
    X(ERROR_LONG_OVERFLOW,                            218, "Overflow error: a 'long' value (.l) must be between -2147483648 and +4294967295.") \
    X(ERROR_FIELD_TYPE_MISMATCH,                      219, "The type of '%s' field doesn't match with its declaration.") \
    X(ERROR_CONSTANT_DECLARED_IN_RESIDENT,            220, "Constant already declared in another resident: #%s.") \
    X(ERROR_CODE_IN_DATASECTION,                      221, "Code can not be put in DataSection.") \
    X(ERROR_IMPORT_INSIDE_PROCEDURE,                  222, "'Import' can't be declared inside a procedure.") \
    X(ERROR_ENDIMPORT_WITHOUT_IMPORT,                 223, "'EndImport' without 'Import'.") \
    X(ERROR_PROCEDURE_ALREADY_DECLARED,               224, "Procedure already declared: %s().") \
    X(ERROR_PROTOTYPE_VARIABLE_ALREADY_DECLARED,      225, "Prototype variable already declared: %s().") \
    X(ERROR_PROTOTYPE_WITH_LIST_OR_MAP,               226, "A prototype can't be used with a list or a map.") \
    X(ERROR_PROTOTYPE_WITH_ARRAY,                     227, "A prototype can't be used with an array.") \
    X(ERROR_STATIC_ARRAY_DECLARED_TWICE,              228, "A static array can't be declared twice: %s().") \
    X(ERROR_EMPTY_MACRO_PARAMETER,                    229, "Can't specify empty parameter for a macro.") \
    X(ERROR_WITH_IN_MACRO,                            230, "'With' can't be used in a Macro.") \
    X(ERROR_ARRAY_REDECLARED_GLOBAL,                  231, "Can't re-declare this array as 'Global': %s().") \
    X(ERROR_NOT_DECLARED,                             232, "%s() is not declared.") \
    X(ERROR_INCLUDEFILE_TOO_DEEPLY_NESTED,            233, "'IncludeFile' too deeply nested (over 128 inclusions, probably an endless recursivity).") \
    X(ERROR_STRING_RETURN_IN_IMPORT,                  234, "'String' return type can't be used in Import/EndImport section.") \
    X(ERROR_MACRO_PARAMETER_DECLARED_TWICE,           235, "Macro parameter can't be declared twice: %s.") \
    X(ERROR_ADDRESS_OF_LITERAL_NUMBER,                236, "Can't get the address of a literal numeric value.") \
    X(ERROR_NUMBER_ASSIGNED_TO_STRING_CONSTANT,       237, "A numeric value can't be assigned to a string constant.") \
    X(ERROR_SHIFT_COUNT_OUT_OF_RANGE,                 238, "The specified number is incorrect for '<<' or '>>' operators (must be 0-63).") \
    X(ERROR_READ_NUMBER_INTO_STRING,                  239, "'Read' can't convert automatically a number into a string.") \
    X(ERROR_ENDDATASECTION_WITHOUT_DATASECTION,       240, "'EndDataSection' without 'DataSection'.") \
    X(WARNING_DEPRECATED_FUNCTION,                    241, "Deprecated function '%s()' used.") \
    X(ERROR_MAP_PARAMETER_MISMATCH,                   242, "Map doesn't match with the procedure parameter.") \
    X(ERROR_PARENTHESIS_IN_STRING_OPERATION,          245, "Parenthesis '(' are not allowed in string operations.") \
    X(ERROR_ONLY_OUTSIDE_PROCEDURE,                   246, "'%s' can only be used outside a procedure.") \
    X(ERROR_OUT_OF_FPU_REGISTERS,                     247, "Too complex expression (out of FPU registers). Please split it.") \
    X(WARNING_DLL_CONTAINER_PARAMETERS,               248, "List, Array and Map parameters can cause issue when exported with ProcedureDLL.") \
    X(ERROR_STRUCTUREUNION_MIXES_STRING_AND_NUMBER,   249, "String and numeric mix is not allowed in StructureUnion.") \
    X(ERROR_STRING_ASSIGNED_TO_NUMBER,                251, "Can't assign a string to a numeric type.") \
    X(ERROR_LITERAL_STRING_TOO_LONG,                  252, "A literal string can't be bigger than 8192 characters.") \
    X(ERROR_NEWMAP_SYNTAX,                            253, "'NewMap' syntax is: NewMap Name([NbSlots]).") \
    X(ERROR_PARALLEL_PROCEDURE_RETURNS_STRING,        254, "A parallelized procedure can't return a string.") \
    X(ERROR_NOT_DECLARED_IN_MAIN_SCOPE,               256, "%s() is not declared in the main scope.") \
    X(ERROR_CONTINUE_OUTSIDE_LOOP,                    257, "'Continue' can not be used outside a loop.") \
    X(ERROR_LIST_DECLARED_WITH_OTHER_TYPE,            258, "List already declared with a different type: %s.") \
    X(ERROR_MAP_DECLARED_WITH_OTHER_TYPE,             259, "Map already declared with a different type: %s.") \
    X(ERROR_OPERATOR_ON_STRINGS,                      260, "'%s' operand can not be used with strings.") \
    X(ERROR_COMPARISON_OUTSIDE_CONDITION,             261, "Comparisons (=, <, >, =< and >=) are only supported with keywords like If, While, Until or within Bool().") \
    X(ERROR_UNDEFINEMACRO_RESIDENT_MACRO,             262, "UndefineMacro doesn't accept macro declared in residents.") \
    X(ERROR_TYPEOF_NEEDS_VARIABLE_OR_STRUCTURE,       263, "A variable or structure is expected for TypeOf().") \
    X(ERROR_NATIVE_TYPE_POINTER,                      264, "Native types can't be used with pointers.") \
    X(ERROR_ALIGN_INTEGER_CONSTANT_EXPECTED,          265, "Integer constant expression expected after 'Align'.") \
    X(ERROR_TOO_MANY_CONTINUATION_LINES,              266, "Too many continuation lines for a single line.") \
    X(ERROR_UNFINISHED_DOUBLE_QUOTE,                  267, "Unfinished double quote.") \
    X(ERROR_UNFINISHED_SINGLE_QUOTE,                  268, "Unfinished single quote.") \
    X(ERROR_STRUCTURED_COPY_MISMATCH,                 269, "Structured copy requiers the same structure for both items.") \
    X(ERROR_TOO_MANY_LINKER_PARAMETERS,               270, "Too many custom linker parameters (over 32000 characters).") \
    X(ERROR_STRUCTURE_TO_STRING,                      272, "A structure can't be automatically converted to string.") \
    X(ERROR_MODULES_NESTED,                           273, "Modules can not be nested.") \
    X(ERROR_MODULE_ALREADY_DECLARED,                  274, "Module already declared: %s.") \
    X(ERROR_ENDMODULE_WITHOUT_MODULE,                 275, "'EndModule' without 'Module'.") \
    X(ERROR_ENDDECLAREMODULE_WITHOUT_DECLAREMODULE,   276, "'EndDeclareModule' without 'DeclareModule'.") \
    X(ERROR_MODULE_WITHOUT_DECLAREMODULE,             277, "Module '%s' needs a DeclareModule section before being created.") \
    X(ERROR_MODULE_NOT_FOUND,                         278, "Module not found: %s.") \
    X(ERROR_LIBRARY_TOO_OLD,                          279, "ZandLibrary '%s' is too old and isn't handled anymore by Zandrel 5.20 or above.") \
    X(ERROR_MODULE_ITEM_NOT_PUBLIC,                   280, "Module item '%s' is not declared as public.") \
    X(ERROR_MODULE_ITEM_NOT_FOUND,                    281, "Module item '%s()' not found.") \
    X(ERROR_MODULE_CONSTANT_NOT_PUBLIC,               283, "Module constant '#%s' is not declared as public.") \
    X(ERROR_MODULE_STRUCTURE_NOT_FOUND,               284, "Module structure '%s' not found.") \
    X(ERROR_MODULE_FUNCTION_NOT_PUBLIC,               285, "Module item '%s()' is not declared as public.") \
    X(ERROR_MODULE_VARIABLE_NOT_FOUND,                286, "Module variable '%s' not found.") \
    X(ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE,              287, "Module public item '%s()' already declared in global scope.") \
    X(ERROR_MAP_ALREADY_DECLARED,                     288, "Map already declared: %s().") \
    X(ERROR_ENUMERATION_ATTRIBUTES_CHANGED,           289, "Enumeration '%s' already declared: initial attributes can't be modified.") \
    X(ERROR_RUNTIME_ITEM_NOT_DECLARED,                290, "Item must be declared before it can be defined as 'Runtime': %s.") \
    X(ERROR_RUNTIME_STRUCTURED_VARIABLE,              291, "Structured variables are not supported by Runtime: %s.") \
    X(ERROR_RUNTIME_FIXED_STRING,                     292, "Fixed string variables are not supported by Runtime: %s.") \
    X(ERROR_MODULE_PROCEDURE_DECLARED_NOT_DEFINED,    293, "The module procedure '%s()' has been declared but not defined.") \
    X(ERROR_STRUCTUREUNION_DYNAMIC_STRUCTURE,         294, "Structure with dynamic items is not allowed in StructureUnion.") \
    X(ERROR_NAME_TOO_LONG,                            295, "Item name can not be longer than 128 characters.") \
    X(ERROR_PROCEDURE_IN_DECLAREMODULE,               296, "A Procedure can't be declared inside 'DeclareModule'. Use 'Declare' instead.") \
    X(ERROR_STRUCTUREUNION_CONTAINER,                 297, "Array, List and Map are not allowed in StructureUnion.") \
    X(ERROR_STRUCTURE_ALREADY_DECLARED,               298, "Structure already declared: %s.") \
    X(ERROR_DLL_PROCEDURE_IN_MODULE,                  299, "ProcedureDLL and ProcedureCDLL can't be used inside a module.") \
    X(ERROR_MODULE_ONLY_DECLARED,                     300, "Module '%s' has been only declared (Module/EndModule part missing).") \
    X(ERROR_MODULE_VARIABLE_IN_GLOBAL_SCOPE,          301, "Module public variable '%s' already declared in global scope.") \
    X(ERROR_MODULE_STRUCTURE_IN_GLOBAL_SCOPE,         302, "Module public structure or interface '%s' already declared in global scope.") \
    X(ERROR_PSEUDOTYPE_DEFAULT_NOT_ZERO,              303, "Default value for pseudotype has to be 0.") \
    X(ERROR_MODULE_PROTOTYPE_NOT_PUBLIC,              304, "Module prototype '%s' is not declared as public.") \
    X(ERROR_PROTOTYPE_ALREADY_DECLARED,               305, "Prototype already declared: %s.") \
    X(ERROR_TOO_MANY_DIGITS,                          306, "Numerical overflow: too many digits.") \
    X(ERROR_COMPRESSED_LIBRARY,                       307, "Compressed libraries are not supported (%s).") \
    X(ERROR_STEP_IN_ENUMERATIONBINARY,                313, "'Step' is not supported for 'EnumerationBinary'.") \
    X(ERROR_NOT_STRUCTURED_FIELD,                     314, "'%s' is not a structured field.") \
    X(ERROR_THREADED_MULTIDIMENSIONAL_ARRAY,          315, "Multi-dimensionnal arrays are not supported with 'Threaded' keyword.") \
    X(ERROR_IMPORT_LIBRARY_NOT_CREATED,               316, "Can't create import library file (%s).") \
    X(ERROR_RESIDENT_FILE_NOT_CREATED,                317, "Can't create resident file (%s).") \
    X(ERROR_STRUCTURE_EXTENDS_ITSELF,                 318, "A structure can't be extended with the same structure.") \
    X(ERROR_INTERFACE_EXTENDS_ITSELF,                 319, "An interface can't be extended with the same interface.") \
    X(ERROR_INVALID_ESCAPE_SEQUENCE,                  320, "Invalid escape sequence in literal string: \\%s") \
    X(ERROR_DEF_FILE_NOT_CREATED,                     322, "Can't create the '.def' file (%s).") \
    X(ERROR_NO_IMPORT_DEFINITION,                     323, "No 'Import' definition found. Can't create the import library file.") \
    X(ERROR_MORE_THAN_ONE_IMPORT_DEFINITION,          324, "Only one 'Import' definition allowed. Can't create the import library file.") \
    X(ERROR_NOT_STRUCTURE,                            326, "'%s' is not a structure.") \
    X(ERROR_SUBSYSTEM_NOT_LOADED,                     329, "Can't load the '%s' subsystem.") \
    X(ERROR_MODULE_INSIDE_PROCEDURE,                  340, "A module can't be declared in a procedure.") \
    X(ERROR_INCLUDEBINARY_OUTSIDE_DATASECTION,        343, "IncludeBinary must be in DataSection for C backend.") \
    X(ERROR_POINTER_ASSIGNED_TO_FLOAT,                344, "Can't assign a pointer to a float or double item.") \
    X(ERROR_DLL_ATTRIBUTE_MISMATCH,                   345, "Declaration doesn't match procedure definition (DLL attribute inconsistency).") \
    X(ERROR_DATASECTION_LITERAL_STRING_TYPE,          346, "Literal strings in DataSection only supported for Ascii, Unicode and String types.") \
    X(ERROR_DYNAMIC_ADDRESS_IN_CONSTANT,              351, "Can't use dynamic address in a constant.") \
    X(ERROR_VARIABLE_DECLARED_AS_PARAMETER,           352, "Variable '%s' already declared as parameter.") \
    X(ERROR_MACRO_TOO_BIG,                            353, "Macro too big.") \
    X(ERROR_TOO_MANY_INCLUDED_FILES,                  354, "Too many included files (8192 maximum).") \
    X(ERROR_ENABLEASM_IN_C_BACKEND,                   355, "EnableASM and DisableASM are not supported with C backend.") \
    X(ERROR_INVALID_CHR_VALUE,                        356, "Invalid value for Chr(), should be between 0 and $D7FF or between $E000 and $FFFF.") \
    X(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_ARRAY,     357, "Missing '(' after array '%s'.") \
    X(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_LIST,      358, "Missing '(' after list '%s'.") \
    X(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_MAP,       359, "Missing '(' after map '%s'.")

enum ErrorNumber : int32_t {
#define ZANDREL_ERROR_ENUMERATOR(name, number, text) name = number,
    ZANDREL_ERROR_NAMES(ZANDREL_ERROR_ENUMERATOR)
#undef ZANDREL_ERROR_ENUMERATOR
};
