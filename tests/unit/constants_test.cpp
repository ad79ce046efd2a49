// Constants: re-declaration checks, string names, loading as an operand,
// visibility inside module sections and the purge between compilations.
#include <cstring>
#include <string>

#include "preprocess_test_support.h"

namespace {

using ConstantsTest = PreprocessTest;

ConstantRecord* declare_pending_integer(const char* name, int64_t value)
{
    pending_constant.kind = pending_kind_integer;
    pending_constant.integer_value = value;
    return declare_constant(name);
}

TEST_F(ConstantsTest, RedeclarationMustKeepKindAndValue)
{
    EXPECT_EQ(compile("#One = 1\n#One = 1\n#F = 1.5\n#F = 1.5"), 0) << printed;
    EXPECT_EQ(compile("#One = 1\n#One = 2"), ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE);
    EXPECT_NE(printed.find("Constant already declared with a different value: #One."), std::string::npos) << printed;
    EXPECT_EQ(compile("#One = 1\n#One = 1.0"), ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE);
    EXPECT_EQ(compile("#T$ = \"a\"\n#T$ = \"b\""), ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE);
}

TEST_F(ConstantsTest, StringNamesNeedStringValues)
{
    EXPECT_EQ(compile("#Name$ = 5"), ERROR_NUMBER_ASSIGNED_TO_STRING_CONSTANT);
    EXPECT_EQ(compile("#Name$ = \"five\""), 0) << printed;
    ConstantRecord* record = find_constant("Name$");
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->flags & constant_flag_string);
    EXPECT_STREQ(record->value.text, "five");
}

TEST_F(ConstantsTest, LoadedOperandCarriesKindSizeAndWord)
{
    ASSERT_EQ(compile(""), 0);
    load_constant_operand(declare_pending_integer("Big", 2147483648LL));
    EXPECT_EQ(current_operand.kind, OPERAND_CONSTANT);
    EXPECT_EQ(current_operand.size, 8);
    EXPECT_TRUE(current_operand.flags & OP_QUAD);
    EXPECT_STREQ(statement_word, "2147483648");

    load_constant_operand(declare_pending_integer("Low", -2147483648LL));
    EXPECT_FALSE(current_operand.flags & OP_QUAD);
    EXPECT_STREQ(statement_word, "-2147483648");

    pending_constant.kind = pending_kind_float;
    pending_constant.float_value = -2.7;
    load_constant_operand(declare_constant("Neg"));
    EXPECT_EQ(current_operand.kind, OPERAND_CONSTANT);
    EXPECT_EQ(current_operand.flags, static_cast<uint32_t>(OP_FLOAT | OP_DOUBLE));
    EXPECT_EQ(current_operand.constant, -2);
    EXPECT_DOUBLE_EQ(current_operand.constant_float, -2.7);
    EXPECT_STREQ(statement_word, "-2");

    // Far beyond the integer range the truncated value stays at the end.
    pending_constant.float_value = 1e300;
    load_constant_operand(declare_constant("Huge"));
    EXPECT_EQ(current_operand.constant, INT64_MAX);
}

TEST_F(ConstantsTest, ModuleSectionsSeeOnlyBuiltInAndOwnConstants)
{
    EXPECT_EQ(compile("#G = 1\nDeclareModule M\n#X = #G\nEndDeclareModule\nModule M\nEndModule"), ERROR_CONSTANT_NOT_FOUND);
    EXPECT_EQ(compile("DeclareModule M\n#X = #ZD_Compiler_Line\nEndDeclareModule\nModule M\nEndModule"), 0)
        << printed;

    // A module's own constant of the same name as a global one is its own.
    ASSERT_EQ(compile("#G = 1\nDeclareModule M\n#G = 2\n#Seen = #G\nEndDeclareModule\nModule M\nEndModule"), 0)
        << printed;
    EXPECT_EQ(integer_constant("G"), 1);
    ModuleRecord* module = find_module("M");
    ASSERT_NE(module, nullptr);
    explicit_module = module;
    EXPECT_EQ(integer_constant("Seen"), 2);
}

TEST_F(ConstantsTest, ExplicitModuleNeedsPublicConstants)
{
    ASSERT_EQ(compile("DeclareModule M\n#Pub = 5\nEndDeclareModule\nModule M\n#Priv = 1\nEndModule"), 0) << printed;
    ModuleRecord* module = find_module("m");
    ASSERT_NE(module, nullptr);

    explicit_module = module;
    ConstantRecord* record = find_constant("Pub");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->value.integer_value, 5);
    EXPECT_EQ(explicit_module, nullptr);  // consumed

    explicit_module = module;
    EXPECT_EQ(find_constant("Priv"), nullptr);
    EXPECT_EQ(error_number, ERROR_MODULE_CONSTANT_NOT_PUBLIC);
    explicit_module = nullptr;
    clear_error_state();

    // Not visible without the prefix until the module is used.
    EXPECT_EQ(find_constant("Pub"), nullptr);
}

TEST_F(ConstantsTest, UserConstantsDoNotOutliveTheirCompilation)
{
    ASSERT_EQ(compile("#Temporary = 1"), 0) << printed;
    pending_constant.kind = pending_kind_integer;
    pending_constant.integer_value = 42;
    ConstantRecord* kept = declare_constant("FromResident");
    ASSERT_NE(kept, nullptr);
    kept->flags |= constant_flag_resident;
    kept->entry.key = permanent_pool_strdup("FromResident");

    ASSERT_EQ(compile(""), 0);
    EXPECT_FALSE(constant_exists("Temporary"));
    EXPECT_EQ(integer_constant("FromResident"), 42);
    hash_remove(constants_table, &kept->entry);
}

}  // namespace
