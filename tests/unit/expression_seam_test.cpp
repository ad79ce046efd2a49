// The shared expression compiler against a recording back end: which seam
// calls it makes for each expression, with no text of its own.
#include <string>
#include <vector>

#include "emit_test_support.h"
#include "frontend/expressions.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

std::vector<std::string> calls;

std::string operand_text() {
    return std::to_string(current_operand.kind) + ":" + current_operand.text;
}

void become_value() {
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    snprintf(current_operand.text, sizeof current_operand.text, "V");
    if (is_float_mode(expression_mode)) current_operand.flags |= OP_FLOAT;
}

void fake_take() { calls.push_back("take"); }
void fake_release() { calls.push_back("release"); }
void fake_load() {
    calls.push_back("load " + operand_text());
    become_value();
}
void fake_apply(int token) {
    calls.push_back("op " + std::to_string(token) + " " + operand_text());
    become_value();
}
void fake_left_constant(int token, int64_t value, double) {
    calls.push_back("left " + std::to_string(token) + " " + std::to_string(value) + " " + operand_text());
    become_value();
}
void fake_pending(int64_t value, double) {
    calls.push_back("pending " + std::to_string(value));
    become_value();
}
void fake_negate() {
    calls.push_back("negate " + operand_text());
    become_value();
}
void fake_complement() {
    calls.push_back("complement " + operand_text());
    become_value();
}
int fake_enter_float(int move_live) {
    calls.push_back("float " + std::to_string(move_live));
    expression_mode = (expression_mode & ~MODE_DOUBLE) | ((current_operand.flags & OP_DOUBLE) ? MODE_DOUBLE : MODE_FLOAT);
    return 1;
}
void fake_discard() { calls.push_back("discard"); }
void fake_exchange() { calls.push_back("exchange"); }
void fake_assign(const ExpressionTarget* target) {
    calls.push_back(std::string("assign ") + target->text + " " + std::to_string(target->size) + " " + operand_text());
}
const char* fake_format(VariableRecord* variable) {
    static char text[200];
    snprintf(text, sizeof text, "[%s]", variable_key(variable));
    return text;
}

class SharedExpressionSeamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensure_compiler_initialised();
        // The x64 table for what the expression compiler does not reach.
        fake = x64_backend_hooks;
        fake.name = "recording";
        fake.take_evaluation_place = fake_take;
        fake.release_evaluation_place = fake_release;
        fake.load_left_operand = fake_load;
        fake.apply_operator = fake_apply;
        fake.apply_operator_left_constant = fake_left_constant;
        fake.add_pending_constant = fake_pending;
        fake.negate_operand = fake_negate;
        fake.complement_operand = fake_complement;
        fake.enter_float_mode = fake_enter_float;
        fake.discard_float_result = fake_discard;
        fake.exchange_float_values = fake_exchange;
        fake.assign_result = fake_assign;
        fake.format_variable_operand = fake_format;
        install_backend(&fake);
        compiler_reset();
        reset_statement_state();
        reset_output_buffers();
    }
    void TearDown() override { install_backend(&x64_backend_hooks); }

    std::vector<std::string> compile(const std::string& statement) {
        calls.clear();
        clear_error_state();
        text = statement;
        text.push_back('\0');
        text.push_back('\0');
        output_write_pointer = output_buffer_start;
        *output_write_pointer = 0;
        parse_pointer = text.data();
        compile_statement();
        // The shared code writes no text of its own.
        EXPECT_EQ(std::string(output_buffer_start, output_write_pointer), "") << statement;
        if (error_number) calls.push_back("error " + std::to_string(error_number));
        return calls;
    }

    BackendHooks fake;
    std::string text;
};

using Calls = std::vector<std::string>;

TEST_F(SharedExpressionSeamTest, OperatorChainsTakeOnePlacePerLevel) {
    EXPECT_EQ(compile("a = b * 3 + c"),
              (Calls{"take", "load 10:[v_b]", "op 42 20:3", "release", "take", "load 30:V", "op 43 10:[v_c]",
                     "release", "assign [v_a] 8 30:V"}));
}

TEST_F(SharedExpressionSeamTest, ConstantsFoldWithoutCode) {
    EXPECT_EQ(compile("a = 2 * 3 + 4"), (Calls{"take", "release", "take", "release", "assign [v_a] 8 20:10"}));
}

TEST_F(SharedExpressionSeamTest, PlusAndMinusConstantsBecomeOnePendingSum) {
    EXPECT_EQ(compile("a = b - 1 + 2"), (Calls{"take", "load 10:[v_b]", "pending 1", "release", "assign [v_a] 8 30:V"}));
    // A constant minus a value: the value is negated and the constant added.
    EXPECT_EQ(compile("a = 5 - b"), (Calls{"take", "left 45 5 10:[v_b]", "pending 5", "release", "assign [v_a] 8 30:V"}));
}

TEST_F(SharedExpressionSeamTest, RightSideTakesTheTargetArithmetic) {
    EXPECT_EQ(compile("f.d = x * 1.5"),
              (Calls{"take", "load 10:[v_x]", "op 42 20:1.5", "release", "assign [v_f] 8 30:V"}));
    EXPECT_TRUE(current_operand.kind == OPERAND_NONE);
}

TEST_F(SharedExpressionSeamTest, FloatValueAboveTheLeftIsExchanged) {
    EXPECT_EQ(compile("a = i - (j.d * 2)"),
              (Calls{"take", "load 10:[v_i]", "take", "float 0", "load 10:[v_j]", "op 42 20:2", "release", "float 1",
                     "exchange", "op 45 30:V", "release", "assign [v_a] 8 30:V"}));
}

TEST_F(SharedExpressionSeamTest, UnaryOperators) {
    EXPECT_EQ(compile("a = -b"), (Calls{"take", "load 10:[v_b]", "negate 30:V", "release", "assign [v_a] 8 30:V"}));
    EXPECT_EQ(compile("a = ~b"), (Calls{"take", "load 10:[v_b]", "complement 30:V", "release", "assign [v_a] 8 30:V"}));
    EXPECT_EQ(compile("a = -5"), (Calls{"assign [v_a] 8 20:-5"}));
}

TEST_F(SharedExpressionSeamTest, VariableValueIsLoadedBeforeTheStore) {
    EXPECT_EQ(compile("a.l = b.w"), (Calls{"take", "load 10:[v_b]", "release", "assign [v_a] 4 30:V"}));
}

TEST_F(SharedExpressionSeamTest, ErrorsStopBeforeTheStore) {
    EXPECT_EQ(compile("a = b / 0 + \"x\""), (Calls{"take", "load 10:[v_b]", "op 47 20:0", "release", "take",
                                                  "load 30:V", "release", "error " + std::to_string(ERROR_STRINGS_MIXED_WITH_NUMBERS)}));
}

// The operators without a float form and a constant shift count out of
// range are refused before the back end writes the operator (both back ends
// rely on it and write no check of their own).
TEST_F(SharedExpressionSeamTest, TypeRulesAreDecidedBeforeTheBackEndWrites) {
    const std::string no_float_form = "error " + std::to_string(ERROR_OPERATOR_WITHOUT_FLOAT_FORM);
    const std::string shift_count = "error " + std::to_string(ERROR_SHIFT_COUNT_OUT_OF_RANGE);
    for (const char* statement : {"f.d = x & 1", "f.d = x | y", "f.d = x ! 1", "f.d = x % 2", "f.d = x << 1", "f.d = x >> y"})
        EXPECT_EQ(compile(statement), (Calls{"take", "load 10:[v_x]", "release", no_float_form})) << statement;
    // A constant on the left: the value is loaded, the operator refused.
    EXPECT_EQ(compile("f.d = 2 % x"), (Calls{"take", "load 10:[v_x]", "release", no_float_form}));
    EXPECT_EQ(compile("f.d = 1 << x"), (Calls{"take", "load 10:[v_x]", "release", no_float_form}));
    // The count is checked in every integer arithmetic, negative counts too.
    EXPECT_EQ(compile("a = b << 64"), (Calls{"take", "load 10:[v_b]", "release", shift_count}));
    EXPECT_EQ(compile("q.q = b >> -1"), (Calls{"take", "load 10:[v_b]", "release", shift_count}));
    EXPECT_EQ(compile("a = b << 63"), (Calls{"take", "load 10:[v_b]", "op 10 20:63", "release", "assign [v_a] 8 30:V"}));
    // A computed count and a constant shifted by a value are written.
    EXPECT_EQ(compile("a = 1 << b"), (Calls{"take", "left 10 1 10:[v_b]", "release", "assign [v_a] 8 30:V"}));
    // The operators with a float form are written in float arithmetic.
    EXPECT_EQ(compile("f.d = x / 2"), (Calls{"take", "load 10:[v_x]", "op 47 20:2", "release", "assign [v_f] 8 30:V"}));
}

}  // namespace
