// Compile-time functions: SizeOf, OffsetOf, TypeOf, Defined, Subsystem and
// Bool folded into constants, with their errors.
#include <string>

#include "frontend/compile_time_functions.h"
#include "frontend/lexer.h"
#include "frontend/libraries.h"
#include "preprocess_test_support.h"

namespace {

class CompileTimeFunctionsTest : public PreprocessTest {
public:
    using PreprocessTest::compile;
    using PreprocessTest::printed;
};

const char* const declarations =
    "Structure Point\n  x.l\n  y.l\nEndStructure\n"
    "Structure Shape\n  kind.b\n  name.s\n  corner.Point\n  *next.Shape\n  codes.w[5]\n  big.d\nEndStructure\n"
    "Interface Drawable\n  Draw()\n  Move(x, y)\n  Hide()\nEndInterface\n"
    "Define q.q, w.w, pt.Point, *ps.Shape, f.f, s$\n";

int64_t fold(CompileTimeFunctionsTest* test, const std::string& expression, int* error)
{
    *error = test->compile(std::string(declarations) + "#Result = " + expression + "\n");
    if (*error) {
        return -1;
    }
    ConstantRecord* record = find_constant("Result");
    return record ? record->value.integer_value : -1;
}

#define EXPECT_FOLDS(expression, value)                                   \
    do {                                                                  \
        int error_ = 0;                                                   \
        EXPECT_EQ(fold(this, expression, &error_), value) << expression;  \
        EXPECT_EQ(error_, 0) << expression << "\n" << printed;            \
    } while (0)

#define EXPECT_FOLD_ERROR(expression, number)                             \
    do {                                                                  \
        int error_ = 0;                                                   \
        fold(this, expression, &error_);                                  \
        EXPECT_EQ(error_, number) << expression << "\n" << printed;       \
    } while (0)

TEST_F(CompileTimeFunctionsTest, SizeOfStructuresInterfacesAndVariables)
{
    EXPECT_FOLDS("SizeOf(Point)", 8);
    EXPECT_FOLDS("sizeof(point) * 2 + 1", 17);
    EXPECT_FOLDS("SizeOf(Drawable)", 24);
    EXPECT_FOLDS("SizeOf(q)", 8);
    EXPECT_FOLDS("SizeOf(w)", 2);
    EXPECT_FOLDS("SizeOf(pt)", 8);
    EXPECT_FOLDS("SizeOf(*ps)", 8);
    EXPECT_FOLDS("SizeOf(Shape\\codes)", 10);
    EXPECT_FOLDS("SizeOf(Shape\\corner)", 8);
    EXPECT_FOLDS("SizeOf(Shape\\big)", 8);
    EXPECT_FOLDS("SizeOf(pt\\y)", 4);
    EXPECT_FOLDS("SizeOf(Drawable\\Move())", 8);
    EXPECT_FOLD_ERROR("SizeOf(Nothing)", 92);
    EXPECT_FOLD_ERROR("SizeOf(Point\\z)", 1);
    EXPECT_FOLD_ERROR("SizeOf(Point", 1);
}

TEST_F(CompileTimeFunctionsTest, OffsetOfFieldsAndMethods)
{
    EXPECT_FOLDS("OffsetOf(Point\\y)", 4);
    EXPECT_FOLDS("OffsetOf(Shape\\corner) + OffsetOf(Point\\y)", 13);
    EXPECT_FOLDS("OffsetOf(Drawable\\Draw())", 0);
    EXPECT_FOLDS("OffsetOf(Drawable\\Move())", 8);
    EXPECT_FOLDS("OffsetOf(Drawable\\Hide())", 16);
    EXPECT_FOLD_ERROR("OffsetOf(Drawable\\Move)", 1);
    EXPECT_FOLD_ERROR("OffsetOf(Drawable\\Jump())", 167);
    EXPECT_FOLD_ERROR("OffsetOf(Point\\z)", 51);
    EXPECT_FOLD_ERROR("OffsetOf(Circle\\r)", 71);
    EXPECT_FOLD_ERROR("OffsetOf(Point)", 1);
}

TEST_F(CompileTimeFunctionsTest, TypeOfObjectsAndFields)
{
    EXPECT_FOLDS("TypeOf(Point)", 7);
    EXPECT_FOLDS("TypeOf(Drawable)", 52);
    EXPECT_FOLDS("TypeOf(q)", 13);
    EXPECT_FOLDS("TypeOf(f)", 9);
    EXPECT_FOLDS("TypeOf(s$)", 8);
    EXPECT_FOLDS("TypeOf(Shape\\kind)", 1);
    EXPECT_FOLDS("TypeOf(Shape\\name)", 8);
    EXPECT_FOLDS("TypeOf(Shape\\corner)", 7);
    EXPECT_FOLDS("TypeOf(Drawable\\Hide())", 21);
    EXPECT_FOLD_ERROR("TypeOf(Nothing)", 263);
    EXPECT_FOLD_ERROR("TypeOf(Point\\z)", 51);
    EXPECT_FOLD_ERROR("TypeOf(Drawable\\Jump)", 167);
}

// Arrays, lists and maps are found in the scope they were declared in: a
// procedure's own while it is open (with the global ones, not the main
// program's others), a module's through its prefix.
TEST_F(CompileTimeFunctionsTest, DefinedFindsContainersInTheirScope)
{
    const char* program =
        "Dim a(3)\nNewList l()\nNewMap m()\nGlobal Dim g(1)\n"
        "#Main = Defined(a, 15) + 2 * Defined(l, 14) + 4 * Defined(m, 22) + 8 * Defined(a, 14) + 16 * Defined(l, 22)\n"
        "Procedure p()\n  Dim b(2)\n  NewList k()\n"
        "  #Inside = Defined(b, 15) + 2 * Defined(k, 14) + 4 * Defined(g, 15) + 8 * Defined(a, 15)\nEndProcedure\n"
        "#Outside = Defined(b, 15) + 2 * Defined(k, 14)\n"
        "DeclareModule M\n  Dim ma(2)\nEndDeclareModule\nModule M\nEndModule\n"
        "#Prefixed = Defined(M::ma, 15) + 2 * Defined(ma, 15)\n";
    ASSERT_EQ(compile(program), 0) << printed;
    const char* names[] = {"Main", "Inside", "Outside", "Prefixed"};
    const int64_t wanted[] = {7, 7, 0, 1};
    for (int i = 0; i < 4; i++) {
        ConstantRecord* record = find_constant(names[i]);
        ASSERT_NE(record, nullptr) << names[i];
        EXPECT_EQ(record->value.integer_value, wanted[i]) << names[i];
    }
}

TEST_F(CompileTimeFunctionsTest, DefinedKinds)
{
    EXPECT_FOLDS("Defined(Point, 7)", 1);
    EXPECT_FOLDS("Defined(Drawable, 7)", 0);
    EXPECT_FOLDS("Defined(Drawable, 52)", 1);
    EXPECT_FOLDS("Defined(q, 51)", 1);
    EXPECT_FOLDS("Defined(*ps, 51)", 1);
    EXPECT_FOLDS("Defined(nothing, 51)", 0);
    EXPECT_FOLDS("Defined(ZD_Compiler_Line, 50)", 1);
    EXPECT_FOLDS("Defined(NoSuchConstant, 50)", 0);
    EXPECT_FOLDS("Defined(NoSuchList, 14)", 0);
    EXPECT_FOLDS("Defined(NoSuchArray, 15)", 0);
    EXPECT_FOLDS("Defined(NoSuchMap, 22)", 0);
    EXPECT_FOLDS("Defined(NoSuchProcedure, 53)", 0);
    EXPECT_FOLDS("Defined(NoSuchLabel, 56)", 0);
    EXPECT_FOLDS("Defined(NoSuchPrototype, 57)", 0);
    EXPECT_FOLDS("Defined(NoSuchMacro, 58)", 0);
    EXPECT_FOLDS("Defined(NoSuchEnumeration, 59)", 0);
    EXPECT_FOLDS("Defined(Point, 3 + 4)", 1);
    EXPECT_FOLD_ERROR("Defined(Point)", 1);
    EXPECT_FOLD_ERROR("Defined(Point, 99)", 1);
    EXPECT_FOLD_ERROR("Defined(Point, 7.5)", 1);

    ASSERT_EQ(compile("Macro Twice(x) : x * 2 : EndMacro\nEnumeration Colors\n#Red\nEndEnumeration\n"
                      "#M = Defined(Twice, 58)\n#E = Defined(Colors, 59)\n"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("M"), 1);
    EXPECT_EQ(integer_constant("E"), 1);

    // A procedure is found where a call finds it: in a module in use too.
    ASSERT_EQ(compile("DeclareModule Mo\nDeclare P()\nEndDeclareModule\nModule Mo\nProcedure P()\nEndProcedure\n"
                      "EndModule\nUseModule Mo\n#U = Defined(P, 53)\nUnuseModule Mo\n#N = Defined(P, 53)\n"
                      "#Q = Defined(Mo::P, 53)\n"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("U"), 1);
    EXPECT_EQ(integer_constant("N"), 0);
    EXPECT_EQ(integer_constant("Q"), 1);
}

TEST_F(CompileTimeFunctionsTest, DefinedLibraryCommands)
{
    ASSERT_EQ(compile("#S = Defined(Subsystem, 54)\n"), 0) << printed;
    EXPECT_EQ(integer_constant("S"), 1);
    ASSERT_EQ(compile("#S = Defined(NoSuchCommand, 54)\n"), 0) << printed;
    EXPECT_EQ(integer_constant("S"), 0);
}

TEST_F(CompileTimeFunctionsTest, SubsystemComparesWithoutCase)
{
    list_clear(subsystem_list);
    ListNode* node = static_cast<ListNode*>(list_add(subsystem_list));
    *reinterpret_cast<const char**>(reinterpret_cast<char*>(node) + sizeof(ListNode)) = "OpenGL";
    ASSERT_EQ(compile("#A = Subsystem(\"opengl\")\n#B = Subsystem(\"DirectX\")\n"), 0) << printed;
    list_clear(subsystem_list);
    EXPECT_EQ(integer_constant("A"), 1);
    EXPECT_EQ(integer_constant("B"), 0);
    EXPECT_EQ(compile("#A = Subsystem(5)\n"), ERROR_LITERAL_STRING_EXPECTED_AFTER);
    EXPECT_NE(printed.find("Only a literal string can be put after 'Subsystem'."), std::string::npos) << printed;
}

TEST_F(CompileTimeFunctionsTest, BoolOfConstants)
{
    EXPECT_FOLDS("Bool(5)", 1);
    EXPECT_FOLDS("Bool(0)", 0);
    EXPECT_FOLDS("Bool(2 - 2) + 10", 10);
    EXPECT_FOLD_ERROR("Bool(\"text\")", 182);
}

TEST_F(CompileTimeFunctionsTest, ResultOperandCarriesTheMark)
{
    ASSERT_EQ(compile(declarations), 0) << printed;
    char text[] = "Point)";
    parse_pointer = text;
    token_code = '(';
    eval_compiler_function(find_compiler_function("SIZEOF"));
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(current_operand.kind, OPERAND_CONSTANT);
    EXPECT_EQ(current_operand.size, 8);
    EXPECT_EQ(current_operand.constant, 8);
    EXPECT_DOUBLE_EQ(current_operand.constant_float, 8.0);
    EXPECT_TRUE(current_operand.flags & OP_COMPILE_TIME_RESULT);
    EXPECT_STREQ(statement_word, "8");
    EXPECT_EQ(token_code, TOKEN_END);
    EXPECT_EQ(find_compiler_function("Sqr"), nullptr);
}

}  // namespace
