// Enumerations: values with start and step, binary blocks, named blocks that
// continue their numbering, module visibility, runtime marks and the errors
// of the header and of the constant lines.
#include <string>

#include "frontend/enumerations.h"
#include "frontend/other_statements.h"
#include "preprocess_test_support.h"

namespace {

using EnumerationsTest = PreprocessTest;

TEST_F(EnumerationsTest, PlainBlockCountsFromZero)
{
    ASSERT_EQ(compile("Enumeration\n#A\n#B\n#C\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 0);
    EXPECT_EQ(integer_constant("B"), 1);
    EXPECT_EQ(integer_constant("C"), 2);
}

TEST_F(EnumerationsTest, StartAndStep)
{
    ASSERT_EQ(compile("Enumeration 10 Step 5\n#A\n#B\n#C\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 10);
    EXPECT_EQ(integer_constant("B"), 15);
    EXPECT_EQ(integer_constant("C"), 20);

    ASSERT_EQ(compile("Enumeration -3 Step -2\n#A\n#B\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), -3);
    EXPECT_EQ(integer_constant("B"), -5);

    ASSERT_EQ(compile("#Base = 7\nEnumeration #Base * 2\n#A\n#B\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 14);
    EXPECT_EQ(integer_constant("B"), 15);

    ASSERT_EQ(compile("Enumeration 0 Step 3\n#A\n#B\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 0);
    EXPECT_EQ(integer_constant("B"), 3);
    // An operator word right after the keyword.
    EXPECT_EQ(compile("Enumeration Step 3\n#A\nEndEnumeration"), ERROR_SYNTAX);
}

TEST_F(EnumerationsTest, ExplicitValueRestartsTheCount)
{
    ASSERT_EQ(compile("Enumeration\n#A\n#B = 20\n#C\n#D = #A + 100\n#E\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 0);
    EXPECT_EQ(integer_constant("B"), 20);
    EXPECT_EQ(integer_constant("C"), 21);
    EXPECT_EQ(integer_constant("D"), 100);
    EXPECT_EQ(integer_constant("E"), 101);
}

TEST_F(EnumerationsTest, BinaryBlocksDouble)
{
    ASSERT_EQ(compile("EnumerationBinary\n#A\n#B\n#C\n#D\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 1);
    EXPECT_EQ(integer_constant("B"), 2);
    EXPECT_EQ(integer_constant("C"), 4);
    EXPECT_EQ(integer_constant("D"), 8);

    // After 0 comes 1.
    ASSERT_EQ(compile("EnumerationBinary 0\n#Z\n#A\n#B\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("Z"), 0);
    EXPECT_EQ(integer_constant("A"), 1);
    EXPECT_EQ(integer_constant("B"), 2);

    EXPECT_EQ(compile("EnumerationBinary 4 Step 2\n#A\nEndEnumeration"), ERROR_STEP_IN_ENUMERATIONBINARY);
}

TEST_F(EnumerationsTest, EnumerationValueConstantFollowsTheCount)
{
    ASSERT_EQ(compile("Enumeration 5\n#A\n#Next = #ZD_Compiler_EnumerationValue * 10\nEndEnumeration\n"
                      "#After = #ZD_Compiler_EnumerationValue"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("A"), 5);
    EXPECT_EQ(integer_constant("Next"), 60);
    EXPECT_EQ(integer_constant("After"), 61);
}

TEST_F(EnumerationsTest, NamedBlockContinuesItsNumbering)
{
    ASSERT_EQ(compile("Enumeration Colors 3 Step 2\n#Red\n#Green\nEndEnumeration\n"
                      "Enumeration\n#Other\nEndEnumeration\n"
                      "Enumeration Colors\n#Blue\n#White\nEndEnumeration"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("Red"), 3);
    EXPECT_EQ(integer_constant("Green"), 5);
    EXPECT_EQ(integer_constant("Other"), 0);
    EXPECT_EQ(integer_constant("Blue"), 7);
    EXPECT_EQ(integer_constant("White"), 9);

    EXPECT_EQ(compile("Enumeration Colors\n#Red\nEndEnumeration\nEnumeration Colors 5\n#Blue\nEndEnumeration"), ERROR_ENUMERATION_ATTRIBUTES_CHANGED);
    EXPECT_NE(printed.find("Enumeration 'Colors' already declared: initial attributes can't be modified."),
              std::string::npos)
        << printed;
}

TEST_F(EnumerationsTest, NamedRecordsDoNotSurviveTheCompilation)
{
    ASSERT_EQ(compile("Enumeration Kinds 40\n#K1\nEndEnumeration"), 0) << printed;
    ASSERT_EQ(compile("Enumeration Kinds\n#K2\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("K2"), 0);
}

TEST_F(EnumerationsTest, ModulesAndPrefixes)
{
    // A public enumeration of a module in use continues without prefix.
    ASSERT_EQ(compile("DeclareModule M\nEnumeration Codes 100\n#C1\nEndEnumeration\nEndDeclareModule\n"
                      "Module M\nEndModule\nUseModule M\nEnumeration Codes\n#C2\nEndEnumeration"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("C2"), 101);

    // With the prefix the block enters the module: the constant is the module's.
    ASSERT_EQ(compile("DeclareModule M\nEnumeration Codes 100\n#C1\nEndEnumeration\nEndDeclareModule\n"
                      "Module M\nEndModule\nEnumeration M::Codes\n#C2\nEndEnumeration\n#Seen = M::#C2"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("Seen"), 101);
    EXPECT_EQ(current_module, nullptr);

    // A private enumeration named with its module prefix.
    EXPECT_EQ(compile("DeclareModule M\nEndDeclareModule\nModule M\nEnumeration Hidden\n#H\nEndEnumeration\n"
                      "EndModule\nEnumeration M::Hidden\n#X\nEndEnumeration"),
              ERROR_MODULE_ITEM_NOT_PUBLIC);
    EXPECT_NE(printed.find("Module item 'Hidden' is not declared as public."), std::string::npos) << printed;

    ASSERT_EQ(compile("DeclareModule M\nEnumeration Pub\n#P\nEndEnumeration\nEndDeclareModule\nModule M\nEndModule"),
              0)
        << printed;
    ModuleRecord* module = find_module("M");
    ASSERT_NE(module, nullptr);
    explicit_module = module;
    EnumerationRecord* record = find_public_module_item("Pub");
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->flags & enumeration_flag_public);
    EXPECT_EQ(record->value, 1);
    EXPECT_EQ(explicit_module, nullptr);
    EXPECT_EQ(find_public_module_item("Pub"), nullptr);
}

TEST_F(EnumerationsTest, HeaderErrors)
{
    EXPECT_EQ(compile("Enumeration 1.5\n#A\nEndEnumeration"), ERROR_ENUMERATION_INTEGER_CONSTANT_EXPECTED);
    EXPECT_NE(printed.find("Only integer constant expressions allowed for an Enumeration."), std::string::npos);
    EXPECT_EQ(compile("Enumeration 1 Step 0.5\n#A\nEndEnumeration"), ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
    EXPECT_EQ(compile("Enumeration 1 Step\n#A\nEndEnumeration"), ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
    EXPECT_EQ(compile("Enumeration To\nEndEnumeration"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Enumeration 1 2\nEndEnumeration"), ERROR_GARBAGE_AT_END_OF_LINE);
    EXPECT_EQ(compile("Enumeration #Missing\nEndEnumeration"), ERROR_GARBAGE_AT_END_OF_LINE);
    EXPECT_EQ(compile("Enumeration\nEnumeration\nEndEnumeration"), ERROR_ENUMERATION_INSIDE_ENUMERATION);
    EXPECT_EQ(compile("EndEnumeration"), ERROR_ENDENUMERATION_WITHOUT_ENUMERATION);
}

TEST_F(EnumerationsTest, LineErrors)
{
    EXPECT_EQ(compile("Enumeration\nx = 1\nEndEnumeration"), ERROR_ENUMERATION_ONLY_CONSTANTS);
    EXPECT_EQ(compile("Enumeration\n#A = 2.5\nEndEnumeration"), ERROR_ENUMERATION_INTEGER_CONSTANT_EXPECTED);
    EXPECT_EQ(compile("Enumeration\n#A = \"text\"\nEndEnumeration"), ERROR_ENUMERATION_INTEGER_CONSTANT_EXPECTED);
    EXPECT_EQ(compile("Enumeration\n#1A\nEndEnumeration"), ERROR_CONSTANT_NAME_START);
    EXPECT_EQ(compile("Enumeration\n#A junk\nEndEnumeration"), ERROR_GARBAGE_AT_END_OF_LINE);
    EXPECT_EQ(compile("Enumeration\n#A = 1\n#A = 2\nEndEnumeration"), ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE);
    // The same value again is no conflict.
    EXPECT_EQ(compile("#A = 0\nEnumeration\n#A\nEndEnumeration"), 0) << printed;
    // Several constants on one line.
    ASSERT_EQ(compile("Enumeration\n#A : #B : #C\nEndEnumeration"), 0) << printed;
    EXPECT_EQ(integer_constant("C"), 2);
}

TEST_F(EnumerationsTest, RuntimeBlocksMarkTheirConstants)
{
    ASSERT_EQ(compile("Enumeration\n#Plain\nEndEnumeration"), 0) << printed;
    EXPECT_FALSE(find_constant("Plain")->flags & constant_flag_runtime);
    runtime_statement_flag = 1;
    parse_enumeration_header();
    runtime_statement_flag = 0;
    ASSERT_NE(current_enumeration, nullptr);
    EXPECT_TRUE(current_enumeration->flags & enumeration_flag_runtime);
    end_named_enumeration();
    EXPECT_EQ(current_enumeration, nullptr);
}

}  // namespace
