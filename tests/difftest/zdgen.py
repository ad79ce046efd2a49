#!/usr/bin/env python3
"""Generator of random, well-defined Zandrel programs for the differential
tests of the two compilers.

Every program is made from a seed and a family and is the same on every
machine (it uses only its own random.Random).  While it writes a statement
the generator also runs it on a model of the language: integers in 64 bits
with wrap-around, stores cut to the target's width, float arithmetic in
doubles, floats stored into integers rounded half to even.  The model knows
each variable's value, so nothing undefined is ever written: no division or
modulo by zero, shift counts in 0..63, no float stored into an integer type
it does not fit, no float beyond the double range, no element outside its
array, no read of memory nothing wrote.

Some forms are legal but give different answers in the two compilers today;
the model names them (the "features" below) and a program uses one only when
it is enabled.  Everything a program prints comes from PrintN, and End gives
a checksum of the integer results.

    zdgen.py SEED [--family NAME] [--disable FEATURE,...] [-o FILE]
"""
import argparse
import random
import struct
import sys

FAMILIES = ["arith", "strings", "control", "select", "arrays", "structs", "pointers", "containers", "procs"]

# Forms that need the wider model of one compiler or the other; each is a
# name a program carries when it uses the form (see the runner's list of the
# ones the fixed set leaves out).
FEATURES = {
    "wide32": "integer values beyond 32 bits computed from operands of 4 bytes or less",
    "shift32": "shift counts of 32 or more on operands of 4 bytes or less",
    "neg_float_right": "an integer left operand and a right one that starts with a negated float value",
    "bigint_float": "integers beyond 2^53 (2^24 for a float target) in float arithmetic",
    "float_target": "float (.f) targets of float arithmetic",
    "single_arith": "float arithmetic whose float operands are all floats (.f), no double",
    "inexact_literal": "float literals that a float (.f) does not hold exactly",
    "bigconst_compare": "a narrow integer compared with a constant beyond 32 bits",
    "ptr_struct_arith": "pointer arithmetic on a pointer to a structure",
    "align_n": "structures with Align 2 or more, and packed structures inside natural ones",
    "fixed_map_foreach": "ForEach over a map of fixed strings",
    "narrow_for": "For loops with a byte or word counter",
    "select_float": "Select over a float or double value",
    "select_string": "Select over a string value",
    "union": "structure unions",
}

INT_TYPES = {"b": (8, True), "a": (8, False), "w": (16, True), "u": (16, False), "c": (16, False),
             "l": (32, True), "q": (64, True), "i": (64, True)}
FLOAT_TYPES = ("f", "d")
NUM_TYPES = list(INT_TYPES) + list(FLOAT_TYPES)
NARROW = ("b", "a", "w", "u", "c", "l")
BIT_OPS = ("&", "|", "!", "<<", ">>")
INT32 = (-(1 << 31), (1 << 31) - 1)
BIG = 2.0 ** 50


class Unsafe(Exception):
    """The form would be undefined, or leaves the model: choose another."""


def wrap(v, t):
    bits, signed = INT_TYPES[t]
    v &= (1 << bits) - 1
    if signed and v >= 1 << (bits - 1):
        v -= 1 << bits
    return v


def to_single(x):
    try:
        return struct.unpack("<f", struct.pack("<f", x))[0]
    except OverflowError:
        raise Unsafe("float overflow")


def type_range(t):
    bits, signed = INT_TYPES[t]
    return (-(1 << (bits - 1)), (1 << (bits - 1)) - 1) if signed else (0, (1 << bits) - 1)


def round_even(x):
    return int(round(x))


def fmt_float(x):
    """A literal for a value the model holds exactly."""
    text = repr(float(x))
    if "e" in text or "inf" in text or "nan" in text:
        raise Unsafe("literal")
    return text


class Ctx:
    """How an expression is being computed: "int" (64-bit integer) or
    "float" (double); wide when the target holds 64 bits."""

    def __init__(self, env, mode, wide, flags):
        self.env, self.mode, self.wide, self.flags = env, mode, wide, flags
        self.mixed = False  # float arithmetic for an integer target


# ---------------------------------------------------------------- expressions

class Expr:
    """A numeric expression: text() writes it, ev() computes it on the
    model, need() counts the evaluation registers x64 holds at once."""
    float_op = False   # holds a float operand

    def need(self):
        return 1

    def mark_type(self, t):
        """The marks of an operand of type t."""
        self.float_op = t in FLOAT_TYPES
        self.wide_op = t in ("q", "i")
        self.single = t == "f"
        self.double = t == "d"

    wide_op = False    # holds an 8-byte integer operand or a constant beyond 32 bits
    single = False     # holds a float (.f) operand
    double = False     # holds a double (.d) operand


class Const(Expr):
    def __init__(self, value):
        self.value = value
        self.float_op = isinstance(value, float)
        self.wide_op = not self.float_op and not INT32[0] <= value <= INT32[1]

    def text(self):
        if self.float_op:
            return fmt_float(self.value)
        return str(self.value)

    def ev(self, ctx):
        if ctx.mode == "float":
            return float(self.value)
        return self.value


class Var(Expr):
    def __init__(self, name, t):
        self.name, self.t = name, t
        self.mark_type(t)

    def text(self):
        return self.name

    def ev(self, ctx):
        v = ctx.env.get(self.name)
        return check_operand(v, self.t, ctx)


def check_operand(v, t, ctx):
    if v is None:
        raise Unsafe("read before write")
    if ctx.mode == "float":
        if t not in FLOAT_TYPES and abs(v) >= 2 ** 53:
            ctx.flags.add("bigint_float")
        return float(v)
    return v


class Bin(Expr):
    def need(self):
        if isinstance(self.right, Const):
            return self.left.need()
        return max(self.left.need(), 1 + self.right.need())

    def __init__(self, op, left, right, bare=False):
        self.op, self.left, self.right = op, left, right
        self.bare = bare  # written without its parentheses: the whole right side, or a whole argument
        for k in ("float_op", "wide_op", "single", "double"):
            setattr(self, k, getattr(left, k) or getattr(right, k))

    def text(self):
        text = "%s %s %s" % (self.left.text(), self.op, self.right.text())
        return text if self.bare else "(" + text + ")"

    def ev(self, ctx):
        a = self.left.ev(ctx)
        b = self.right.ev(ctx)
        op = self.op
        if ctx.mode == "float":
            if ctx.mixed and not self.left.float_op and starts_with_float_negation(self.right):
                ctx.flags.add("neg_float_right")
            if op == "+":
                r = a + b
            elif op == "-":
                r = a - b
            elif op == "*":
                r = a * b
            elif op == "/":
                if abs(b) < 0.25:
                    raise Unsafe("float division by a small value")
                r = a / b
            else:
                raise Unsafe("integer operator in float mode")
            if r != r or abs(r) > 1e300:
                raise Unsafe("float range")
            if r != 0 and abs(r) < 1e-200:
                raise Unsafe("float underflow")
            if not self.double and self.single:
                ctx.flags.add("single_arith")
            return r
        if op == "+":
            r = a + b
        elif op == "-":
            r = a - b
        elif op == "*":
            r = a * b
        elif op in ("/", "%"):
            if b == 0 or (b == -1 and wrap(a, "q") == -(1 << 63)):
                raise Unsafe("division")
            q = abs(a) // abs(b)
            if (a < 0) != (b < 0):
                q = -q
            r = q if op == "/" else a - b * q
        elif op == "&":
            r = a & b
        elif op == "|":
            r = a | b
        elif op == "!":
            r = a ^ b
        elif op in ("<<", ">>"):
            if not 0 <= b <= 63:
                raise Unsafe("shift count")
            if b >= 32 and not self.left.wide_op:
                ctx.flags.add("shift32")
            r = a << b if op == "<<" else a >> b
        else:
            raise AssertionError(op)
        return check_int(r, ctx, self)


def starts_with_float_negation(node):
    """Whether the first operand read of an expression is a negated float
    value."""
    while isinstance(node, Bin):
        node = node.left
    return isinstance(node, Un) and node.op == "-" and node.float_op


def check_int(r, ctx, node):
    if not INT32[0] <= r <= INT32[1] and not ctx.wide and not node.wide_op:
        ctx.flags.add("wide32")
    return wrap(r, "q")


class Un(Expr):
    def need(self):
        return self.e.need()

    def __init__(self, op, e):
        self.op, self.e = op, e
        for k in ("float_op", "wide_op", "single", "double"):
            setattr(self, k, getattr(e, k))

    def text(self):
        return "(%s%s)" % (self.op, self.e.text())

    def ev(self, ctx):
        a = self.e.ev(ctx)
        if ctx.mode == "float":
            if self.op != "-":
                raise Unsafe("~ in float mode")
            return -a
        r = -a if self.op == "-" else ~a
        return check_int(r, ctx, self)


class NegParen(Un):
    """A negated operand written "-(e)" with no parentheses around the
    negation, so that the operators after it must see the negation bind
    tighter than they do."""

    def __init__(self, e):
        super().__init__("-", e)

    def text(self):
        text = self.e.text()
        return "-" + (text if text.startswith("(") else "(" + text + ")")


class Paren(Expr):
    """An operand in parentheses of its own."""

    def __init__(self, e):
        self.e = e
        for k in ("float_op", "wide_op", "single", "double"):
            setattr(self, k, getattr(e, k))

    def need(self):
        return self.e.need()

    def text(self):
        return "(%s)" % self.e.text()

    def ev(self, ctx):
        return self.e.ev(ctx)


class BoolOf(Expr):
    def __init__(self, cond):
        self.cond = cond

    def need(self):
        return 1 + cond_need(self.cond)

    def text(self):
        return "Bool(%s)" % self.cond.text()

    def ev(self, ctx):
        v = 1 if self.cond.truth(ctx.env, ctx.flags) else 0
        return float(v) if ctx.mode == "float" else v


class CmpValue(BoolOf):
    """A comparison used as the value 1 or 0 inside another comparison:
    "(x > 0) = 1", "(a > y) <> (b > y)"."""

    def text(self):
        return "(%s)" % self.cond.text()


class Call(Expr):
    """A procedure call as an operand; the model runs the procedure."""

    def need(self):
        return 2 + max([a.need() for a in self.args if hasattr(a, "need")] + [0])

    def __init__(self, proc, args):
        self.proc, self.args = proc, args
        t = proc.rtype
        self.mark_type(t)

    def text(self):
        return "%s(%s)" % (self.proc.name, ", ".join(a.text() for a in self.args))

    def ev(self, ctx):
        v = self.proc.call(ctx.env, self.args, ctx.flags)
        return check_operand(v, self.proc.rtype, ctx)


class Element(Expr):
    """An array element, a structure field, a list or map element: anything
    the model reads through a getter."""

    def __init__(self, text, t, getter, parts=()):
        self._text, self.t, self.getter, self.parts = text, t, getter, list(parts)
        self.mark_type(t)

    def text(self):
        return self._text

    def need(self):
        return 1 + max([p.need() for p in self.parts] + [0])

    def ev(self, ctx):
        return check_operand(self.getter(ctx.env), self.t, ctx)


def evaluate(expr, env, target, flags, wide=None):
    """The value of a numeric expression stored into a target of type
    target; a quad argument or a condition is "q" with wide False (only a
    quad variable makes the whole expression 64-bit in both compilers)."""
    if target in FLOAT_TYPES:
        ctx = Ctx(env, "float", True, flags)
        v = expr.ev(ctx)
        if target == "f":
            v = to_single(v)
            if expr_has_operation(expr):
                flags.add("float_target")
            for_int_operands_single(expr, env, flags)
        return v
    if expr.float_op:
        ctx = Ctx(env, "float", True, flags)
        ctx.mixed = True
        v = expr.ev(ctx)
        lo, hi = type_range(target)
        if not (lo + 1 <= v <= hi - 1):
            raise Unsafe("float to integer out of range")
        return wrap(round_even(v), target)
    ctx = Ctx(env, "int", target == "q" if wide is None else wide, flags)
    return wrap(expr.ev(ctx), target)


def expr_has_operation(e):
    return isinstance(e, (Bin, Un))


def for_int_operands_single(e, env, flags):
    if isinstance(e, Var) and e.t in INT_TYPES:
        v = env.get(e.name)
        if v is not None and abs(v) > 2 ** 24:
            flags.add("bigint_float")
    for k in ("left", "right", "e"):
        if hasattr(e, k):
            for_int_operands_single(getattr(e, k), env, flags)


# ----------------------------------------------------------------- conditions

def cond_need(c):
    if isinstance(c, (Cmp, Logic)):
        return max(cond_need(c.left), 1 + cond_need(c.right))
    if isinstance(c, NotC):
        return cond_need(c.c)
    if isinstance(c, Truth):
        return c.e.need()
    if isinstance(c, Expr):
        return c.need()
    return 1


MAX_NEED = 4


def check_needs(obj, seen=None):
    """Refuses a statement holding an expression that would need more
    evaluation registers than x64 has (its compile error 111)."""
    if isinstance(obj, Expr) or isinstance(obj, (Cmp, Logic, NotC, Truth)):
        if cond_need(obj) > MAX_NEED:
            raise Unsafe("too complex")
        return
    if isinstance(obj, (list, tuple)):
        for x in obj:
            check_needs(x)
    elif hasattr(obj, "__dict__") and not isinstance(obj, (Gen,)):
        for x in vars(obj).values():
            if isinstance(x, (list, tuple, Stmt, Expr, Cmp, Logic, NotC, Truth, SCat, SNum, SChr)):
                check_needs(x)

def compare(op, a, b):
    return {"=": a == b, "<>": a != b, "<": a < b, ">": a > b, "<=": a <= b, ">=": a >= b}[op]


class Cmp:
    def __init__(self, op, left, right):
        self.op, self.left, self.right = op, left, right

    def text(self):
        return "%s %s %s" % (self.left.text(), self.op, self.right.text())

    def truth(self, env, flags):
        fl = self.left.float_op or self.right.float_op
        if fl:
            ctx = Ctx(env, "float", True, flags)
            ctx.mixed = True
        else:
            ctx = Ctx(env, "int", False, flags)
            for side, other in ((self.left, self.right), (self.right, self.left)):
                if isinstance(side, Const) and side.wide_op and not other.wide_op:
                    flags.add("bigconst_compare")
        a = self.left.ev(ctx)
        b = self.right.ev(ctx)
        if fl and (self.left.single or self.right.single) and not (self.left.double or self.right.double) \
                and (expr_has_operation(self.left) or expr_has_operation(self.right)):
            flags.add("single_arith")
        return compare(self.op, a, b)


class StrCmp:
    def __init__(self, op, left, right):
        self.op, self.left, self.right = op, left, right

    def text(self):
        return "%s %s %s" % (self.left.text(), self.op, self.right.text())

    def truth(self, env, flags):
        a = utf16(self.left.sv(env, flags))
        b = utf16(self.right.sv(env, flags))
        return compare(self.op, a, b)


def utf16(s):
    return list(s.encode("utf-16-le"))


class Logic:
    def __init__(self, op, left, right):
        self.op, self.left, self.right = op, left, right

    def text(self):
        return "(%s) %s (%s)" % (self.left.text(), self.op, self.right.text())

    def truth(self, env, flags):
        a = self.left.truth(env, flags)
        if self.op == "And":
            return a and self.right.truth(env, flags)
        if self.op == "Or":
            return a or self.right.truth(env, flags)
        return a != self.right.truth(env, flags)


class NotC:
    def __init__(self, c):
        self.c = c

    def text(self):
        return "Not (%s)" % self.c.text()

    def truth(self, env, flags):
        return not self.c.truth(env, flags)


class Truth:
    """An integer value as a condition."""

    def __init__(self, e):
        self.e = e

    def text(self):
        return self.e.text()

    def truth(self, env, flags):
        return evaluate(self.e, env, "q", flags, wide=False) != 0


# -------------------------------------------------------------------- strings

class SLit:
    def __init__(self, s):
        self.s = s

    def text(self):
        return '"%s"' % self.s

    def sv(self, env, flags):
        return self.s


class SVar:
    def __init__(self, name, fixed=0):
        self.name, self.fixed = name, fixed

    def text(self):
        return self.name

    def sv(self, env, flags):
        v = env.get(self.name)
        if v is None:
            raise Unsafe("string read before write")
        return v


class SElem:
    def __init__(self, text, getter):
        self._text, self.getter = text, getter

    def text(self):
        return self._text

    def sv(self, env, flags):
        v = self.getter(env)
        if v is None:
            raise Unsafe("string read before write")
        return v


class SNum:
    """Str(), StrF() or StrD() of a numeric expression."""

    def __init__(self, fn, e):
        self.fn, self.e = fn, e

    def text(self):
        return "%s(%s)" % (self.fn, self.e.text())

    def sv(self, env, flags):
        if self.fn == "Str":
            return str(evaluate(self.e, env, "q", flags, wide=False))
        v = evaluate(self.e, env, "f" if self.fn == "StrF" else "d", flags)
        return None if v is None else FloatText(v, self.fn)


class FloatText(str):
    """The text of a float is the runtime's; the model only knows it is
    some text, and no comparison may depend on it."""

    def __new__(cls, v, fn):
        return str.__new__(cls, "\x00float\x00")


class SChr:
    def __init__(self, e):
        self.e = e

    def text(self):
        return "Chr(%s)" % self.e.text()

    def sv(self, env, flags):
        v = evaluate(self.e, env, "l", flags)
        if not 32 <= v < 0xD800:
            raise Unsafe("chr range")
        return chr(v)


class SCat:
    def __init__(self, parts):
        self.parts = parts

    def text(self):
        return " + ".join(p.text() for p in self.parts)

    def sv(self, env, flags):
        out = "".join(p.sv(env, flags) for p in self.parts)
        return out


def has_float_text(s):
    return "\x00float\x00" in s


# ----------------------------------------------------------------- statements

class Stmt:
    def lines(self, ind):
        raise NotImplementedError

    def run(self, env):
        raise NotImplementedError


class Raw(Stmt):
    """A line the model does not need to follow."""

    def __init__(self, text, action=None):
        self.text, self.action = text, action

    def lines(self, ind):
        return [ind + self.text]

    def run(self, env):
        if self.action:
            self.action(env)


class Assign(Stmt):
    def __init__(self, target_text, name, t, expr, setter=None):
        self.target_text, self.name, self.t, self.expr, self.setter = target_text, name, t, expr, setter

    def lines(self, ind):
        return ["%s%s = %s" % (ind, self.target_text, self.expr.text())]

    def run(self, env):
        v = evaluate(self.expr, env, self.t, env.flags)
        if self.setter:
            self.setter(env, v)
        else:
            env[self.name] = v


class SAssign(Stmt):
    def __init__(self, target_text, name, expr, fixed=0, setter=None):
        self.target_text, self.name, self.expr, self.fixed, self.setter = target_text, name, expr, fixed, setter

    def lines(self, ind):
        return ["%s%s = %s" % (ind, self.target_text, self.expr.text())]

    def run(self, env):
        v = self.expr.sv(env, env.flags)
        if self.fixed:
            if has_float_text(v):
                raise Unsafe("fixed string of float text")
            v = v[:self.fixed]
        if self.setter:
            self.setter(env, v)
        else:
            env[self.name] = v


class Print(Stmt):
    def __init__(self, sexpr):
        self.sexpr = sexpr

    def lines(self, ind):
        return ["%sPrintN(%s)" % (ind, self.sexpr.text())]

    def run(self, env):
        self.sexpr.sv(env, env.flags)
        env.prints += 1
        if env.prints > 4000:
            raise Unsafe("too much output")


class Block(Stmt):
    def __init__(self, stmts):
        self.stmts = stmts

    def lines(self, ind):
        out = []
        for s in self.stmts:
            out += s.lines(ind)
        return out

    def run(self, env):
        run_block(self.stmts, env)


class If(Stmt):
    def __init__(self, cond, then, other=None, elifs=()):
        self.cond, self.then, self.other, self.elifs = cond, then, other, list(elifs)

    def lines(self, ind):
        out = ["%sIf %s" % (ind, self.cond.text())]
        for s in self.then:
            out += s.lines(ind + "  ")
        for c, body in self.elifs:
            out.append("%sElseIf %s" % (ind, c.text()))
            for s in body:
                out += s.lines(ind + "  ")
        if self.other is not None:
            out.append(ind + "Else")
            for s in self.other:
                out += s.lines(ind + "  ")
        out.append(ind + "EndIf")
        return out

    def run(self, env):
        if self.cond.truth(env, env.flags):
            return run_block(self.then, env)
        for c, body in self.elifs:
            if c.truth(env, env.flags):
                return run_block(body, env)
        if self.other is not None:
            return run_block(self.other, env)
        return None


class GosubS(Stmt):
    """Gosub to a subroutine written after End."""

    def __init__(self, label, body):
        self.label, self.body = label, body

    def lines(self, ind):
        return [ind + "Gosub " + self.label]

    def run(self, env):
        run_block(self.body, env)


class LoopExit(Exception):
    def __init__(self, kind, depth=1):
        self.kind, self.depth = kind, depth


class BreakS(Stmt):
    def __init__(self, depth=1):
        self.depth = depth

    def lines(self, ind):
        return [ind + ("Break" if self.depth == 1 else "Break %d" % self.depth)]

    def run(self, env):
        raise LoopExit("break", self.depth)


class ContinueS(Stmt):
    def lines(self, ind):
        return [ind + "Continue"]

    def run(self, env):
        raise LoopExit("continue")


def run_block(stmts, env):
    for s in stmts:
        s.run(env)
        env.steps += 1
        if env.steps > 200000:
            raise Unsafe("too long")


def run_loop_body(body, env):
    """Runs one pass; returns False when the loop is left."""
    try:
        run_block(body, env)
    except LoopExit as e:
        if e.kind == "continue":
            return True
        if e.depth > 1:
            raise LoopExit("break", e.depth - 1)
        return False
    return True


class For(Stmt):
    def __init__(self, var, t, start, end, step, body, declare=False):
        self.var, self.t, self.start, self.end, self.step, self.body = var, t, start, end, step, body
        self.declare = declare
        self.bound_texts = None

    def lines(self, ind):
        start, end = self.bound_texts or (self.start, self.end)
        head = "%sFor %s%s = %s To %s" % (ind, self.var, "." + self.t if self.declare else "", start, end)
        if self.step != 1:
            head += " Step %d" % self.step
        out = [head]
        for s in self.body:
            out += s.lines(ind + "  ")
        return out + [ind + "Next"]

    def run(self, env):
        if self.t in ("b", "a", "w", "u", "c"):
            env.flags.add("narrow_for")
        v = self.start
        env[self.var] = v
        count = 0
        while (v <= self.end) if self.step > 0 else (v >= self.end):
            if not run_loop_body(self.body, env):
                return
            v = env[self.var] + self.step
            count += 1
            if count > 1000:
                raise Unsafe("loop")
            lo, hi = type_range(self.t)
            if not lo <= v <= hi:
                # The loop stops at the end of its counter's type; the
                # counter's last value is not read.
                env[self.var] = None
                return
            env[self.var] = v


class While(Stmt):
    """While or Repeat over a counter the body never writes; the counter
    steps first, so that a Continue cannot skip it."""

    def __init__(self, var, limit, body, repeat=False):
        self.var, self.limit, self.body, self.repeat = var, limit, body, repeat

    def lines(self, ind):
        out = [ind + ("Repeat" if self.repeat else "While %s < %d" % (self.var, self.limit)),
               ind + "  %s = %s + 1" % (self.var, self.var)]
        for s in self.body:
            out += s.lines(ind + "  ")
        out.append(ind + ("Until %s >= %d" % (self.var, self.limit) if self.repeat else "Wend"))
        return out

    def run(self, env):
        first = True
        while (first and self.repeat) or env[self.var] < self.limit:
            first = False
            env[self.var] = env[self.var] + 1
            if not run_loop_body(self.body, env):
                return


class SelectS(Stmt):
    """Select over an integer, float or string value: cases are lists of
    values and ranges (numbers)."""

    def __init__(self, subject, kind, cases, default):
        self.subject, self.kind, self.cases, self.default = subject, kind, cases, default

    def lines(self, ind):
        out = ["%sSelect %s" % (ind, self.subject.text())]
        for labels, body in self.cases:
            texts = []
            for lab in labels:
                if isinstance(lab, tuple):
                    texts.append("%s To %s" % (lab[0].text(), lab[1].text()))
                else:
                    texts.append(lab.text())
            out.append("%s  Case %s" % (ind, ", ".join(texts)))
            for s in body:
                out += s.lines(ind + "    ")
        if self.default is not None:
            out.append(ind + "  Default")
            for s in self.default:
                out += s.lines(ind + "    ")
        out.append(ind + "EndSelect")
        return out

    def run(self, env):
        if self.kind == "s":
            env.flags.add("select_string")
            v = utf16(self.subject.sv(env, env.flags))
        else:
            t = self.kind
            if t in FLOAT_TYPES:
                env.flags.add("select_float")
            v = evaluate(self.subject, env, t, env.flags)
        for labels, body in self.cases:
            for lab in labels:
                if self.kind == "s":
                    if utf16(lab.sv(env, env.flags)) == v:
                        return run_block(body, env)
                    continue
                if isinstance(lab, tuple):
                    lo = evaluate(lab[0], env, self.kind, env.flags)
                    hi = evaluate(lab[1], env, self.kind, env.flags)
                    if lo <= v <= hi:
                        return run_block(body, env)
                elif evaluate(lab, env, self.kind, env.flags) == v:
                    return run_block(body, env)
        if self.default is not None:
            return run_block(self.default, env)
        return None


class ReturnValue(Exception):
    def __init__(self, value):
        self.value = value


class Return(Stmt):
    def __init__(self, expr, rtype):
        self.expr, self.rtype = expr, rtype

    def lines(self, ind):
        return ["%sProcedureReturn %s" % (ind, self.expr.text())]

    def run(self, env):
        if self.rtype == "s":
            raise ReturnValue(self.expr.sv(env, env.flags))
        raise ReturnValue(evaluate(self.expr, env, self.rtype, env.flags))


class Proc:
    def __init__(self, name, rtype, params):
        self.name, self.rtype, self.params = name, rtype, params
        self.body = []
        self.depth = 0

    def call(self, env, args, flags):
        local = Env()
        local.flags = flags
        for (p, t), a in zip(self.params, args):
            if t == "s":
                local[p] = a.sv(env, flags)
            else:
                local[p] = evaluate(a, env, t, flags)
        self.depth += 1
        try:
            if self.depth > 30:
                raise Unsafe("recursion")
            run_block(self.body, local)
        except ReturnValue as r:
            return r.value
        finally:
            self.depth -= 1
            env.steps += local.steps
        raise Unsafe("no result")


class SCallS:
    """A string procedure's call in a string expression."""

    def __init__(self, call):
        self.call = call

    def text(self):
        return self.call.text()

    def sv(self, env, flags):
        return self.call.proc.call(env, self.call.args, flags)


class Env(dict):
    def __init__(self):
        super().__init__()
        self.flags = set()
        self.prints = 0
        self.steps = 0

    def copy_state(self):
        e = Env()
        for k, v in self.items():
            e[k] = deep_copy(v)
        e.flags = set(self.flags)
        e.prints, e.steps = self.prints, self.steps
        return e


def make_array(dims, zero):
    if len(dims) == 1:
        return [zero] * (dims[0] + 1)
    return [make_array(dims[1:], zero) for _ in range(dims[0] + 1)]


def array_at(env, name, counters):
    node = env[name]
    for c in counters:
        node = node[env[c]]
    return node


def deep_copy(v):
    if isinstance(v, list):
        return [deep_copy(x) for x in v]
    if isinstance(v, dict):
        return {k: deep_copy(x) for k, x in v.items()}
    return v


# ------------------------------------------------------------------ generator

class Gen:
    def __init__(self, seed, family, disabled):
        self.rng = random.Random("%s:%d" % (family, seed))
        self.seed, self.family = seed, family
        self.disabled = set(disabled)
        self.env = Env()
        self.head = []    # declarations (structures, procedures)
        self.body = []    # main statements (Stmt)
        self.ints = []    # (name, type) of integer variables
        self.floats = []  # (name, type)
        self.strings = []  # names of string variables
        self.fixed = []   # (name, length)
        self.counter = 0
        self.loop_depth = 0
        self.readonly = []  # loop counters: read, never assigned
        self.arrays = []    # (name, type, dimensions)
        self.extra_int = []    # makers of further integer operands (elements, calls)
        self.extra_float = []  # and of float ones
        self.structs = []
        self.program_flags = set()  # features of declarations
        self.subs = []  # (label, statements) of Gosub subroutines

    # -- helpers
    def r(self):
        return self.rng.random()

    def choice(self, seq):
        return self.rng.choice(seq)

    def new_name(self, prefix):
        self.counter += 1
        return "%s%d" % (prefix, self.counter)

    def allowed(self, flags):
        return not (flags & self.disabled)

    def attempt(self, make, tries=40):
        """Makes a statement with make() and runs it on the model; keeps it
        when it is defined and uses no disabled feature."""
        for _ in range(tries):
            saved = self.env.copy_state()
            try:
                stmt = make()
                if stmt is None:
                    return None
                check_needs(stmt)
                self.env.flags = set()
                stmt.run(self.env)
                if not self.allowed(self.env.flags):
                    raise Unsafe("feature")
                flags = self.env.flags
                self.env.flags = saved.flags | flags
                return stmt
            except (Unsafe, LoopExit, RecursionError, OverflowError, ZeroDivisionError):
                self.env = saved
        return None

    def emit(self, make, tries=40):
        s = self.attempt(make, tries)
        if s is not None:
            self.body.append(s)
            if isinstance(s, GosubS) and s.label not in [l for l, _ in self.subs]:
                self.subs.append((s.label, s.body))
        return s

    # -- values and literals
    def int_value(self, t):
        lo, hi = type_range(t)
        k = self.r()
        if k < 0.4:
            v = self.rng.randint(-20, 20)
        elif k < 0.7:
            v = self.rng.randint(-3000, 3000)
        elif k < 0.85:
            v = self.rng.randint(-100000, 100000)
        else:
            v = self.rng.randint(lo, hi)
        return max(lo, min(hi, v))

    def float_value(self):
        k = self.r()
        if k < 0.5:
            return self.rng.randint(-64, 64) / 8.0
        if k < 0.8:
            return self.rng.randint(-40000, 40000) / 16.0
        if "inexact_literal" not in self.disabled and k < 0.9:
            self.program_flags.add("inexact_literal")
            return float("%.3f" % self.rng.uniform(-100, 100))
        return self.rng.randint(1, 4000) / 256.0

    def int_const(self, wide=False):
        k = self.r()
        if k < 0.6:
            return Const(self.rng.randint(0, 20))
        if k < 0.85:
            return Const(self.rng.randint(-1000, 100000))
        if wide and k < 0.95:
            return Const(self.rng.randint(-(1 << 40), 1 << 40))
        return Const(self.rng.randint(-50, 50))

    def float_const(self):
        v = self.float_value()
        return Const(v)

    # -- variable declarations
    def declare_numbers(self, count):
        """Numeric variables of every type with starting values."""
        types = NUM_TYPES[:]
        self.rng.shuffle(types)
        while len(types) < count:
            types.append(self.choice(NUM_TYPES))
        for t in types[:count]:
            name = self.new_name("v")
            if t in FLOAT_TYPES:
                v = self.float_value()
                if t == "f":
                    v = to_single(v)
                    if v != float(fmt_float(v)) or (("inexact_literal" in self.disabled) and to_single(v) != v):
                        v = self.rng.randint(-64, 64) / 8.0
                text = fmt_float(v)
                self.floats.append((name, t))
            else:
                v = self.int_value(t)
                text = str(v)
                self.ints.append((name, t))
            self.body.append(Raw("%s.%s = %s" % (name, t, text)))
            self.env[name] = v

    def int_var(self):
        name, t = self.choice(self.ints + self.readonly)
        return Var(name, t)

    def float_var(self):
        name, t = self.choice(self.floats)
        return Var(name, t)

    # -- expressions
    def int_expr(self, depth):
        """A pure integer expression: every operator allowed."""
        if depth <= 0 or self.r() < 0.25:
            k = self.r()
            if k < 0.3 and self.extra_int:
                return self.choice(self.extra_int)()
            if k < 0.75 and (self.ints or self.readonly):
                return self.int_var()
            return self.int_const(wide=True)
        k = self.r()
        if k < 0.08:
            return Un(self.choice(["-", "~"]), self.int_expr(depth - 1))
        if k < 0.12:
            return BoolOf(self.cond(depth - 1))
        op = self.choice(["+", "-", "*", "/", "%", "&", "|", "!", "<<", ">>", "+", "-", "*"])
        left = self.int_expr(depth - 1)
        if op in BIT_OPS and self.r() < 0.25:
            left = NegParen(left)
        if op in ("/", "%"):
            return Bin(op, left, self.int_divisor(depth - 1))
        if op in ("<<", ">>"):
            return Bin(op, left, self.shift_count(depth - 1))
        return Bin(op, left, self.int_expr(depth - 1))

    def negated_chain(self, depth):
        """"-(x) | y" written bare: the negated operand, then an operator
        that binds looser than the negation and tighter than + and -."""
        op = self.choice(BIT_OPS)
        left = NegParen(self.int_expr(depth - 1))
        right = self.shift_count(depth - 1) if op in ("<<", ">>") else self.int_expr(depth - 1)
        return Bin(op, left, right, bare=True)

    def int_divisor(self, depth):
        k = self.r()
        if k < 0.4:
            return Const(self.choice([2, 3, 5, 7, 10, 16, -3, -7, 1000, 13]))
        if k < 0.7:
            return Bin("+", Bin("&", self.int_expr(depth), Const(self.choice([7, 15, 255]))), Const(1))
        return Bin("+", Bin("%", self.int_expr(depth), Const(7)), Const(9))

    def shift_count(self, depth):
        if self.r() < 0.5:
            return Const(self.rng.randint(0, 63) if self.r() < 0.5 else self.rng.randint(0, 31))
        return Bin("&", self.int_expr(depth), Const(self.choice([31, 63, 7])))

    def float_expr(self, depth, need_float=True):
        """An expression with float operands: + - * / only; a division
        always has a float operand on one side."""
        if depth <= 0 or self.r() < 0.25:
            k = self.r()
            if k < 0.25 and self.extra_float:
                return self.choice(self.extra_float)()
            if (need_float or k < 0.5) and self.floats and k < 0.8:
                return self.float_var()
            if need_float or k < 0.6:
                return self.float_const()
            return self.int_var() if self.ints and self.r() < 0.8 else self.int_const()
        k = self.r()
        if k < 0.08:
            return Un("-", self.float_expr(depth - 1, need_float))
        op = self.choice(["+", "-", "*", "/", "+", "*"])
        if op == "/":
            left = self.float_expr(depth - 1, need_float=self.r() < 0.6)
            right = self.float_divisor(depth - 1, need_float=not left.float_op)
            return Bin(op, left, right)
        first = self.float_expr(depth - 1, need_float)
        second = self.float_expr(depth - 1, need_float=False)
        if self.r() < 0.5:
            first, second = second, first
        return Bin(op, first, second)

    def constant_division(self, depth):
        """Integer constants divided into a float target ("a.d = 7 / 2"),
        alone or inside a float expression: the target's float arithmetic
        divides them."""
        division = Bin("/", Const(self.rng.randint(-50, 50)), Const(self.choice([2, 4, -4, 8, 3, 5, 16])))
        if self.r() < 0.5:
            division.bare = True
            return division
        other = self.float_expr(depth - 1, need_float=False)
        return Bin(self.choice(["+", "-", "*"]), *((division, other) if self.r() < 0.5 else (other, division)))

    def float_divisor(self, depth, need_float):
        k = self.r()
        if k < 0.4:
            return Const(self.choice([2.0, 0.5, 4.0, -2.5, 8.0, 1.25, 3.0]) if need_float
                         else self.choice([2, 4, -3, 8, 0.5, 1.5]))
        if k < 0.7 and self.floats:
            return self.float_var()
        inner = self.float_expr(depth, need_float)
        return Bin("+", Bin("*", inner, inner), Const(1.0 if need_float else 1))

    def num_expr(self, target, depth):
        """An expression for a target type."""
        if target in FLOAT_TYPES:
            if self.r() < 0.15:
                return self.constant_division(depth)
            return self.float_expr(depth, need_float=self.r() < 0.5)
        if self.r() < 0.05:
            return self.negated_chain(depth)
        if self.floats and self.r() < 0.3:
            return self.float_expr(depth, need_float=True)
        return self.int_expr(depth)

    def cond(self, depth):
        k = self.r()
        if depth > 0 and k < 0.25:
            op = self.choice(["And", "Or", "XOr"])
            return Logic(op, self.cond(depth - 1), self.cond(depth - 1))
        if depth > 0 and k < 0.32:
            return NotC(self.cond(depth - 1))
        if k < 0.4 and self.ints:
            return Truth(self.int_expr(min(depth, 1)))
        if depth > 0 and k < 0.48:
            return self.value_compare(depth - 1)
        if k < 0.53 and (self.ints or self.readonly):
            left = self.negated_chain(min(depth, 2))
            return Cmp(self.choice(["=", "<>", "<", ">", "<=", ">="]), left, self.int_expr(min(depth, 1)))
        return self.plain_compare(depth)

    def value_compare(self, depth):
        """A comparison whose operands are comparisons: "(x > 0) = 1",
        "(a > y) <> (b > y)"."""
        left = CmpValue(self.plain_compare(depth))
        k = self.r()
        if k < 0.5:
            right = CmpValue(self.plain_compare(depth))
        elif k < 0.85:
            right = Const(self.choice([0, 1]))
        else:
            right = self.int_expr(0)
        return Cmp(self.choice(["=", "<>"]), left, right)

    def plain_compare(self, depth):
        if self.floats and self.r() < 0.35:
            left = self.float_expr(min(depth, 2))
            right = self.float_expr(min(depth, 1), need_float=False)
        else:
            left = self.int_expr(min(depth, 2))
            right = self.int_expr(min(depth, 1))
        return Cmp(self.choice(["=", "<>", "<", ">", "<=", ">="]), left, right)

    # -- printing and checksum
    def show_var(self, name, t):
        if t == "f":
            piece = SNum("StrF", Var(name, t))
        elif t == "d":
            piece = SNum("StrD", Var(name, t))
        else:
            piece = SNum("Str", Var(name, t))
        return piece

    def print_vars(self, pairs):
        for k in range(0, len(pairs), 4):
            parts = []
            for name, t in pairs[k:k + 4]:
                if parts:
                    parts.append(SLit(" "))
                parts.append(self.show_var(name, t))
            self.emit(lambda p=parts: Print(SCat(p)))

    def checksum(self, e):
        """cs = (cs * 31 + (e & 65535)) % 1000003, in quads."""
        return Assign("cs", "cs", "q",
                      Bin("%", Bin("+", Bin("*", Var("cs", "q"), Const(31)), Bin("&", e, Const(65535))),
                          Const(1000003)))

    def program(self):
        self.body.append(Raw("OpenConsole()"))
        self.body.append(Raw("cs.q = 7"))
        self.env["cs"] = 7
        getattr(self, "family_" + self.family)()
        for name, t in self.ints:
            if self.env.get(name) is not None:
                self.emit(lambda n=name, tt=t: self.checksum(Var(n, tt)))
        self.body.append(Raw('PrintN("cs " + Str(cs))'))
        self.body.append(Raw("End cs % 256"))
        lines = ["; zdgen %s seed %d" % (self.family, self.seed)]
        lines += self.head
        for s in self.body:
            lines += s.lines("")
        for label, body in self.subs:
            lines.append(label + ":")
            for s in body:
                lines += s.lines("  ")
            lines.append("Return")
        return "\n".join(lines) + "\n", self.env.flags | self.program_flags

    # ------------------------------------------------------------ families
    def family_arith(self):
        self.declare_numbers(self.rng.randint(10, 16))
        for _ in range(self.rng.randint(12, 24)):
            k = self.r()
            if k < 0.7:
                self.emit(self.make_assign)
            elif k < 0.85:
                self.emit(lambda: Print(self.numeric_print()))
            else:
                self.emit(self.make_if)
        self.print_vars(self.ints + self.floats)

    def make_assign(self):
        pool = self.ints + self.floats
        name, t = self.choice(pool)
        return Assign(name, name, t, self.num_expr(t, self.rng.randint(1, 4)))

    def numeric_print(self):
        fn = self.choice(["Str", "StrF", "StrD"])
        if fn == "Str":
            e = self.int_expr(3) if self.r() < 0.7 or not self.floats else self.float_expr(2)
        else:
            e = self.float_expr(3, need_float=self.r() < 0.5)
        return SCat([SLit(self.new_name("p") + "="), SNum(fn, e)])

    def make_if(self):
        then = [self.make_assign() for _ in range(self.rng.randint(1, 2))]
        other = [self.make_assign()] if self.r() < 0.5 else None
        elifs = []
        if self.r() < 0.3:
            elifs.append((self.cond(2), [self.make_assign()]))
        return If(self.cond(2), then, other, elifs)


    # -- strings
    def string_piece(self, depth=1):
        k = self.r()
        if k < 0.25:
            return SLit(self.choice(["a", "xy", "Q", " ", "-", "z9", "", "abc", "#"]))
        if k < 0.45 and self.strings:
            return SVar(self.choice(self.strings))
        if k < 0.55 and self.fixed:
            name, n = self.choice(self.fixed)
            return SVar(name, n)
        if k < 0.7:
            return SChr(Bin("+", Bin("&", self.int_expr(1), Const(63)), Const(48))
                        if self.r() < 0.6 else Const(self.choice([65, 97, 0x20AC, 0xE9, 126, 32])))
        fn = self.choice(["Str", "Str", "StrF", "StrD"])
        if fn == "Str":
            return SNum(fn, self.int_expr(depth) if self.r() < 0.8 or not self.floats else self.float_expr(depth))
        return SNum(fn, self.float_expr(depth, need_float=self.r() < 0.6))

    def string_expr(self, parts=None):
        n = parts or self.rng.randint(1, 4)
        return SCat([self.string_piece() for _ in range(n)])

    def declare_strings(self, count, fixed_count):
        for _ in range(count):
            name = self.new_name("s")
            text = self.choice(["", "hello", "ab", "Zed", "x-y", "123"])
            self.body.append(Raw('%s.s = "%s"' % (name, text)))
            self.env[name] = text
            self.strings.append(name)
        for _ in range(fixed_count):
            name = self.new_name("fx")
            n = self.rng.randint(1, 6)
            text = self.choice(["", "hello", "ab", "Zed"])
            self.body.append(Raw('%s.s{%d} = "%s"' % (name, n, text)))
            self.env[name] = text[:n]
            self.fixed.append((name, n))

    def string_cond(self):
        def text_piece():
            k = self.r()
            if k < 0.4 and self.strings:
                return SVar(self.choice(self.strings))
            if k < 0.6 and self.fixed:
                name, n = self.choice(self.fixed)
                return SVar(name, n)
            if k < 0.8:
                return SLit(self.choice(["", "a", "hello", "ab", "Zed", "x"]))
            return SCat([SLit(self.choice(["a", "h", "Z"])), SNum("Str", self.int_expr(1))])
        left = SCat([text_piece() for _ in range(self.rng.randint(1, 2))])
        return StrCmp(self.choice(["=", "<>", "<", ">", "<=", ">="]), left, text_piece())

    def make_string_assign(self):
        if self.fixed and self.r() < 0.3:
            name, n = self.choice(self.fixed)
            return SAssign(name, name, self.string_expr(), fixed=n)
        name = self.choice(self.strings)
        return SAssign(name, name, self.string_expr())

    def family_strings(self):
        self.declare_numbers(self.rng.randint(5, 8))
        self.declare_strings(self.rng.randint(2, 4), self.rng.randint(1, 3))
        for _ in range(self.rng.randint(12, 22)):
            k = self.r()
            if k < 0.45:
                self.emit(self.make_string_assign)
            elif k < 0.6:
                self.emit(self.make_assign)
            elif k < 0.8:
                self.emit(lambda: Print(self.string_expr()))
            else:
                self.emit(lambda: If(self.string_cond(), [self.make_string_assign()],
                                     [self.make_string_assign()] if self.r() < 0.5 else None))
        for name in self.strings + [n for n, _ in self.fixed]:
            self.emit(lambda n=name: Print(SCat([SLit("[" + n + "]"), SVar(n), SLit("|")])))
        self.print_vars(self.ints + self.floats)

    # -- control flow
    def loop_body(self, depth):
        body = []
        for _ in range(self.rng.randint(1, 4)):
            k = self.r()
            if k < 0.5:
                body.append(self.make_assign())
            elif k < 0.62:
                body.append(Print(self.numeric_print()))
            elif k < 0.8 and depth > 0:
                body.append(self.make_loop(depth - 1))
            elif k < 0.9:
                exit_stmt = self.choice([BreakS(), ContinueS()] + ([BreakS(2)] if self.loop_depth > 1 else []))
                body.append(If(self.cond(1), [exit_stmt]))
            else:
                body.append(self.make_if())
        return body

    def make_loop(self, depth):
        self.loop_depth += 1
        try:
            k = self.r()
            name = self.new_name("k")
            self.readonly.append((name, "i"))
            if k < 0.5:
                t = self.choice(["l", "i", "q", "w", "b", "a", "u", "c"]) if self.r() < 0.4 else "l"
                lo, hi = type_range(t)
                if self.r() < 0.2:
                    start, end = (hi - self.rng.randint(2, 6), hi) if self.r() < 0.5 else (lo + 3, lo)
                else:
                    start = self.rng.randint(max(lo, -5), min(hi, 5))
                    end = start + self.rng.randint(-2, 9)
                    end = max(lo, min(hi, end))
                step = 1 if start <= end else -1
                if self.r() < 0.3:
                    step *= self.rng.randint(2, 3)
                self.readonly[-1] = (name, t)
                loop = For(name, t, start, end, step, None, declare=True)
                if t in ("b", "w") and start < 0 and end < 0 and self.r() < 0.5:
                    # Bounds written as the unsigned values of the same
                    # bits ("For b.b = 250 To 255"): the loop runs in the
                    # counter's own type.
                    bits = INT_TYPES[t][0]
                    loop.bound_texts = (str(start + (1 << bits)), str(end + (1 << bits)))
                loop.body = self.loop_body(depth)
                return loop
            self.env[name] = 0
            limit = self.rng.randint(0, 7)
            pre = Raw("%s = 0" % name, lambda env, n=name: env.__setitem__(n, 0))
            loop = While(name, limit, self.loop_body(depth), repeat=self.r() < 0.5)
            return Block([pre, loop])
        finally:
            self.loop_depth -= 1

    def family_control(self):
        self.declare_numbers(self.rng.randint(6, 10))
        for _ in range(self.rng.randint(4, 8)):
            k = self.r()
            if k < 0.6:
                self.emit(lambda: self.make_loop(self.rng.randint(0, 2)))
            elif k < 0.75:
                self.emit(self.make_if)
            elif k < 0.88:
                self.emit(self.make_gosub)
            else:
                self.emit(self.make_assign)
            self.readonly = []
        self.print_vars(self.ints + self.floats)

    def make_gosub(self):
        if self.subs and self.r() < 0.5:
            label, body = self.choice(self.subs)
            return GosubS(label, body)
        label = "sub%d" % self.counter
        self.counter += 1
        body = [self.make_assign() for _ in range(self.rng.randint(1, 3))]
        if self.r() < 0.5:
            body.append(Print(self.numeric_print()))
        return GosubS(label, body)

    # -- select
    def make_select(self):
        k = self.r()
        if k < 0.6 or not self.floats:
            kind = self.choice(["q", "l", "i", "b", "w", "c"])
            subject = self.int_expr(2)
            used = set()
            cases = []
            for _ in range(self.rng.randint(1, 4)):
                labels = []
                for _ in range(self.rng.randint(1, 3)):
                    if self.r() < 0.3:
                        lo = self.rng.randint(-20, 20)
                        labels.append((Const(lo), Const(lo + self.rng.randint(0, 10))))
                    else:
                        labels.append(Const(self.rng.randint(-20, 20)))
                cases.append((labels, self.case_body()))
            return SelectS(subject, kind, cases, self.case_body() if self.r() < 0.6 else None)
        if k < 0.8:
            kind = "d"
            subject = self.float_expr(2)
            cases = []
            for _ in range(self.rng.randint(1, 3)):
                labels = [Const(self.rng.randint(-16, 16) / 4.0) for _ in range(self.rng.randint(1, 2))]
                if self.r() < 0.4:
                    lo = self.rng.randint(-40, 40) / 2.0
                    labels.append((Const(lo), Const(lo + self.rng.randint(1, 200) / 2.0)))
                cases.append((labels, self.case_body()))
            return SelectS(subject, kind, cases, self.case_body() if self.r() < 0.6 else None)
        subject = SCat([SVar(self.choice(self.strings))] + [self.string_piece() for _ in range(self.rng.randint(0, 1))])
        cases = []
        for _ in range(self.rng.randint(1, 3)):
            labels = [SLit(self.choice(["", "a", "hello", "ab", "Zed", "x", "hello1"])) for _ in range(self.rng.randint(1, 2))]
            cases.append((labels, self.case_body()))
        return SelectS(subject, "s", cases, self.case_body() if self.r() < 0.6 else None)

    def case_body(self):
        out = [self.make_assign() for _ in range(self.rng.randint(0, 2))]
        if self.r() < 0.5:
            out.append(Print(SLit("case" + str(self.counter))))
            self.counter += 1
        return out

    def family_select(self):
        self.declare_numbers(self.rng.randint(6, 10))
        self.declare_strings(self.rng.randint(1, 2), 0)
        for _ in range(self.rng.randint(6, 12)):
            k = self.r()
            if k < 0.6:
                self.emit(self.make_select)
            elif k < 0.75:
                self.emit(self.make_string_assign)
            else:
                self.emit(self.make_assign)
        self.print_vars(self.ints + self.floats)



    # -- arrays
    def declare_array(self):
        name = self.new_name("ar")
        t = self.choice(NUM_TYPES)
        count = self.choice([1, 1, 2, 3])
        dims = [self.choice([3, 4, 7, 9] if count == 1 else [1, 2, 3]) for _ in range(count)]
        self.body.append(Raw("Dim %s.%s(%s)" % (name, t, ", ".join(map(str, dims)))))
        self.env[name] = make_array(dims, 0.0 if t in FLOAT_TYPES else 0)
        self.arrays.append((name, t, dims))

    def index_expr(self, size):
        k = self.r()
        if k < 0.4:
            return Const(self.rng.randint(0, size))
        if k < 0.7 and self.readonly:
            return self.int_var()
        saved, self.extra_int = self.extra_int, []
        try:
            return Bin("&", self.int_expr(1), Const(3))
        finally:
            self.extra_int = saved

    def array_element(self, name, t, dims):
        idx = [self.index_expr(d) for d in dims]

        def path(env):
            ks = [evaluate(i, env, "q", env.flags, wide=False) for i in idx]
            node = env[name]
            for k, d in zip(ks, dims):
                if not 0 <= k <= d:
                    raise Unsafe("index")
            for k in ks[:-1]:
                node = node[k]
            return node, ks[-1]

        def getter(env):
            node, k = path(env)
            return node[k]

        def setter(env, v):
            node, k = path(env)
            node[k] = v
        text = "%s(%s)" % (name, ", ".join(i.text() for i in idx))
        self.last_index = idx
        return text, getter, setter

    def array_operand(self, floating):
        pool = [a for a in self.arrays if (a[1] in FLOAT_TYPES) == floating]
        if not pool:
            raise Unsafe("no such array")
        name, t, dims = self.choice(pool)
        text, getter, _ = self.array_element(name, t, dims)
        return Element(text, t, getter, self.last_index)

    def make_array_assign(self):
        name, t, dims = self.choice(self.arrays)
        text, _, setter = self.array_element(name, t, dims)
        return Assign(text, name, t, self.num_expr(t, self.rng.randint(1, 3)), setter)

    def fill_array(self):
        name, t, dims = self.choice(self.arrays)
        counters = []
        for d in dims:
            counters.append(self.new_name("k"))
            self.readonly.append((counters[-1], "l"))
        idx = [Var(c, "l") for c in counters]

        def setter(env, v):
            node = env[name]
            for c in counters[:-1]:
                node = node[env[c]]
            node[env[counters[-1]]] = v
        text = "%s(%s)" % (name, ", ".join(counters))
        stmt = Assign(text, name, t, self.num_expr(t, 2), setter)
        for c, d in reversed(list(zip(counters, dims))):
            stmt = For(c, "l", 0, d, 1, [stmt], declare=True)
        return stmt

    def family_arrays(self):
        self.declare_numbers(self.rng.randint(5, 8))
        for _ in range(self.rng.randint(2, 4)):
            self.declare_array()
        self.extra_int.append(lambda: self.array_operand(False))
        self.extra_float.append(lambda: self.array_operand(True))
        for _ in range(self.rng.randint(2, 4)):
            self.emit(self.fill_array)
            self.readonly = []
        for _ in range(self.rng.randint(8, 14)):
            k = self.r()
            if k < 0.45:
                self.emit(self.make_array_assign)
            elif k < 0.6:
                self.emit(self.make_assign)
            elif k < 0.68:
                self.emit(lambda: Print(self.numeric_print()))
            elif k < 0.78:
                self.emit(self.chr_join)
            else:
                self.emit(self.sum_array)
            self.readonly = []
        self.print_vars(self.ints + self.floats)

    def chr_join(self):
        """A character code stored into an element, then Chr() of the
        element between other pieces of a join: "[" + Chr(v(1)) + "]"."""
        pool = [a for a in self.arrays if a[1] in INT_TYPES]
        if not pool:
            raise Unsafe("no integer array")
        name, t, dims = self.choice(pool)
        text, getter, setter = self.array_element(name, t, dims)
        element = Element(text, t, getter, self.last_index)
        top = min(type_range(t)[1], 0xD7FF)
        code = self.rng.randint(33, min(top, 126)) if self.r() < 0.7 else self.rng.randint(33, top)
        form = self.choice([element, element, Bin("+", element, Const(0), bare=True), Paren(element)])
        parts = [SLit(self.choice(["[", "<", "x="]))]
        if self.r() < 0.3:
            parts.append(self.string_piece())
        parts += [SChr(form), SLit(self.choice(["]", ">", ""]))]
        if self.r() < 0.3:
            parts.append(SChr(Paren(element)))
        return Block([Assign(text, name, t, Const(code), setter), Print(SCat(parts))])

    def sum_array(self):
        """A loop over every element that prints and folds them."""
        name, t, dims = self.choice(self.arrays)
        counters = [self.new_name("k") for _ in dims]
        text = "%s(%s)" % (name, ", ".join(counters))
        piece = SNum("StrD" if t in FLOAT_TYPES else "Str", Element(text, t, lambda env: array_at(env, name, counters)))
        stmt = Print(SCat([SLit(name + " "), piece]))
        if t not in FLOAT_TYPES:
            stmt = Block([stmt, self.checksum(Element(text, t, lambda env: array_at(env, name, counters)))])
        for c, d in reversed(list(zip(counters, dims))):
            stmt = For(c, "l", 0, d, 1, [stmt], declare=True)
        return stmt



    # -- structures
    def declare_structure(self, allow_nested=True, numeric_only=False):
        """A structure with fields of random types; returns its record:
        name, align, fields [(name, kind, type, count)] where kind is
        "num", "str", "fixed", "nested" or "union"."""
        name = self.new_name("S")
        aligns = [None, 0, 1, -1] + ([] if "align_n" in self.disabled else [2, 4, 8, 16])
        align = self.choice(aligns)
        fields = []
        lines = ["Structure %s%s" % (name, "" if align is None else " Align %d" % align)]
        for _ in range(self.rng.randint(2, 6)):
            fname = self.new_name("f")
            k = self.r()
            if k < 0.5:
                t = self.choice(NUM_TYPES)
                count = self.choice([0, 0, 0, 2, 4])
                lines.append("  %s.%s%s" % (fname, t, "[%d]" % count if count else ""))
                fields.append((fname, "num", t, count))
            elif k < 0.6 and not numeric_only:
                lines.append("  %s.s" % fname)
                fields.append((fname, "str", "s", 0))
            elif k < 0.7 and not numeric_only:
                n = self.rng.randint(1, 5)
                lines.append("  %s.s{%d}" % (fname, n))
                fields.append((fname, "fixed", n, 0))
            elif k < 0.85 and allow_nested and self.structs:
                inner = self.choice([st for st in self.structs if not (numeric_only and st["strings"])] or [None])
                if inner is None:
                    continue
                if align == -1 and inner["align"] in (None, 0, 1) and inner["size_natural_differs"]:
                    if "align_n" in self.disabled:
                        continue
                lines.append("  %s.%s" % (fname, inner["name"]))
                fields.append((fname, "nested", inner, 0))
            elif "union" not in self.disabled:
                members = []
                lines.append("  StructureUnion")
                for _ in range(self.rng.randint(2, 3)):
                    mname = self.new_name("u")
                    t = self.choice(["b", "a", "w", "u", "c", "l", "q", "i"])
                    count = self.choice([0, 0, 2, 4])
                    lines.append("    %s.%s%s" % (mname, t, "[%d]" % count if count else ""))
                    members.append((mname, t, count))
                lines.append("  EndStructureUnion")
                fields.append((self.new_name("un"), "union", members, 0))
        if not fields:
            lines.append("  %s.l" % self.new_name("f"))
            fields.append(("f%d" % self.counter, "num", "l", 0))
        lines.append("EndStructure")
        self.head += lines
        rec = {"name": name, "align": align, "fields": fields,
               "strings": any(f[1] in ("str", "fixed") or (f[1] == "nested" and f[2]["strings"]) for f in fields),
               "size_natural_differs": any(f[1] != "str" for f in fields)}
        if align is not None and align >= 2:
            self.program_flags.add("align_n")
        if any(f[1] == "union" for f in fields):
            self.program_flags.add("union")
        self.structs.append(rec)
        return rec

    def struct_value(self, rec):
        """The model of a zeroed structure: a dict by field name; a union is
        a bytearray shared by its members."""
        out = {}
        for fname, kind, t, count in rec["fields"]:
            if kind == "num":
                zero = 0.0 if t in FLOAT_TYPES else 0
                out[fname] = [zero] * count if count else zero
            elif kind == "str":
                out[fname] = ""
            elif kind == "fixed":
                out[fname] = ""
            elif kind == "nested":
                out[fname] = self.struct_value(t)
            else:
                size = max(INT_TYPES[mt][0] // 8 * max(1, mc) for _, mt, mc in t)
                out[fname] = bytearray(size)
        return out

    def field_paths(self, rec, prefix, getter_path):
        """Every scalar place of a structure: (text, type, getter, setter)."""
        out = []
        for fname, kind, t, count in rec["fields"]:
            text = "%s\\%s" % (prefix, fname)
            path = getter_path + [fname]
            if kind == "num":
                if count:
                    for i in range(count):
                        out.append(("%s[%d]" % (text, i), t, path + [i]))
                else:
                    out.append((text, t, path))
            elif kind in ("str", "fixed"):
                out.append((text, ("s", t if kind == "fixed" else 0), path))
            elif kind == "nested":
                out += self.field_paths(t, text, path)
            else:
                for mname, mt, mc in t:
                    mtext = "%s\\%s" % (prefix, mname)
                    if mc:
                        for i in range(mc):
                            out.append(("%s[%d]" % (mtext, i), mt, path + [("union", mt, i)]))
                    else:
                        out.append((mtext, mt, path + [("union", mt, 0)]))
        return out

    def place_access(self, var, path):
        def locate(env):
            node = env[var]
            for p in path[:-1]:
                node = node[p]
            return node, path[-1]

        def getter(env):
            node, last = locate(env)
            if isinstance(last, tuple):
                _, t, i = last
                size = INT_TYPES[t][0] // 8
                raw = int.from_bytes(node[i * size:(i + 1) * size], "little")
                return wrap(raw, t)
            return node[last]

        def setter(env, v):
            node, last = locate(env)
            if isinstance(last, tuple):
                _, t, i = last
                size = INT_TYPES[t][0] // 8
                node[i * size:(i + 1) * size] = (v & ((1 << (size * 8)) - 1)).to_bytes(size, "little")
                return
            node[last] = v
        return getter, setter

    def family_structs(self):
        self.declare_numbers(self.rng.randint(4, 7))
        self.declare_strings(1, 0)
        for _ in range(self.rng.randint(1, 3)):
            self.declare_structure()
        self.head.append("Structure ByteCell")
        self.head.append("  v.a")
        self.head.append("EndStructure")
        self.body.append(Raw("Define *bp.ByteCell"))
        self.body.append(Raw("bs.q = 0"))
        variables = []
        for rec in self.structs:
            for _ in range(self.rng.randint(1, 2)):
                vname = self.new_name("sv")
                self.body.append(Raw("Define %s.%s" % (vname, rec["name"])))
                self.env[vname] = self.struct_value(rec)
                variables.append((vname, rec))
        places = []
        for vname, rec in variables:
            for text, t, path in self.field_paths(rec, vname, []):
                getter, setter = self.place_access(vname, path)
                places.append((text, t, getter, setter, vname))
        num_places = [p for p in places if not isinstance(p[1], tuple)]
        str_places = [p for p in places if isinstance(p[1], tuple)]
        written = set()

        def read_num(floating):
            pool = [p for p in num_places if (p[1] in FLOAT_TYPES) == floating and p[0] in written]
            if not pool:
                raise Unsafe("no field")
            text, t, getter, _, _ = self.choice(pool)
            return Element(text, t, getter)
        self.extra_int.append(lambda: read_num(False))
        self.extra_float.append(lambda: read_num(True))
        copied = set()
        for _ in range(self.rng.randint(10, 20)):
            k = self.r()
            if k < 0.55 and num_places:
                text, t, getter, setter, _ = self.choice(num_places)
                if self.emit(lambda: Assign(text, text, t, self.num_expr(t, self.rng.randint(1, 3)), setter)):
                    written.add(text)
            elif k < 0.7 and str_places:
                text, (_, n), getter, setter, _ = self.choice(str_places)
                self.emit(lambda: SAssign(text, text, self.string_expr(), fixed=n, setter=setter))
            elif k < 0.8:
                same = [(a, b) for a, ra in variables for b, rb in variables if ra is rb and a != b]
                if same:
                    a, b = self.choice(same)

                    def copy(env, a=a, b=b):
                        env[a] = deep_copy(env[b])
                    self.body.append(Raw("%s = %s" % (a, b), copy))
                    copy(self.env)
                    copied.add(a)
                    written.update(p[0] for p in places if p[4] == a)
            elif k < 0.9:
                self.emit(lambda: Print(self.numeric_print()))
            else:
                self.emit(self.make_assign)
        for text, t, getter, _, _ in places:
            if isinstance(t, tuple):
                self.emit(lambda: Print(SCat([SLit(text.replace("\\", ".") + " "), SElem(text, getter)])))
            else:
                fn = {"f": "StrF", "d": "StrD"}.get(t, "Str")
                self.emit(lambda: Print(SCat([SLit(text.replace("\\", ".") + " "), SNum(fn, Element(text, t, getter))])))
        for rec in self.structs:
            self.body.append(Raw('PrintN("%s " + Str(SizeOf(%s)))' % (rec["name"], rec["name"])))
        # The bytes of structures without strings, walked one by one.
        for vname, rec in variables:
            if rec["strings"] or vname in copied:
                continue
            k = self.new_name("kb")
            self.body.append(Block([
                Raw("bs = 0"),
                Raw("For %s.l = 0 To SizeOf(%s) - 1" % (k, rec["name"])),
                Raw("  *bp = @%s + %s" % (vname, k)),
                Raw("  bs = (bs * 7 + *bp\\v * (%s + 1)) %% 1000003" % k),
                Raw("Next"),
                Raw('PrintN("bytes %s " + Str(bs))' % vname)]))
        self.print_vars(self.ints + self.floats)

    # -- pointers
    def family_pointers(self):
        self.declare_numbers(self.rng.randint(3, 5))
        rec = self.declare_structure(allow_nested=False, numeric_only=True)
        sname = rec["name"]
        self.head += ["Structure CharCell", "  c.c", "EndStructure", "Structure LongCell", "  v.l", "EndStructure"]
        n = self.rng.randint(2, 6)
        self.body.append(Raw("Dim pa.%s(%d)" % (sname, n)))
        self.body.append(Raw("ps.q = 0"))
        nums = [(f, t) for f, kind, t, count in rec["fields"] if kind == "num" and count == 0]
        if not nums:
            self.head.insert(len(self.head) - 7, "  pk.l")
            nums = [("pk", "l")]
            rec["fields"].insert(0, ("pk", "num", "l", 0))
        self.body.append(Raw("For k.l = 0 To %d" % n))
        for f, t in nums:
            if t in FLOAT_TYPES:
                self.body.append(Raw("  pa(k)\\%s = k * %s + %s" % (f, fmt_float(self.rng.randint(-8, 8) / 4.0),
                                                                    fmt_float(self.rng.randint(-80, 80) / 8.0))))
            else:
                self.body.append(Raw("  pa(k)\\%s = k * %d + %d" % (f, self.rng.randint(-9, 9), self.rng.randint(-50, 50))))
        self.body.append(Raw("Next"))
        f, t = self.choice(nums)
        take = "Int(*p\\%s)" % f
        acc = ("ps = ps * 3 + *p\\%s" % f) if t not in FLOAT_TYPES else ("pd.d = pd + *p\\%s" % f)
        if t in FLOAT_TYPES:
            self.body.append(Raw("pd.d = 0"))
        out = "Str(ps)" if t not in FLOAT_TYPES else "StrD(pd)"
        del take
        forms = ["index", "step", "update", "diff", "chars", "cell", "compare"]
        self.rng.shuffle(forms)
        for form in forms[:self.rng.randint(2, 5)]:
            if form == "index":
                self.body += [Raw("For k.l = 0 To %d" % n), Raw("  *p.%s = @pa(k)" % sname), Raw("  " + acc),
                              Raw("Next"), Raw('PrintN("index " + %s)' % out)]
            elif form == "step" and "ptr_struct_arith" not in self.disabled:
                self.program_flags.add("ptr_struct_arith")
                self.body += [Raw("*p.%s = @pa(0)" % sname), Raw("For k.l = 0 To %d" % n), Raw("  " + acc),
                              Raw("  *p = *p + SizeOf(%s)" % sname), Raw("Next"), Raw('PrintN("step " + %s)' % out)]
            elif form == "update" and "ptr_struct_arith" not in self.disabled:
                self.program_flags.add("ptr_struct_arith")
                self.body += [Raw("*p.%s = @pa(%d)" % (sname, n)), Raw("For k.l = 0 To %d" % n), Raw("  " + acc),
                              Raw("  *p - SizeOf(%s)" % sname), Raw("Next"), Raw('PrintN("update " + %s)' % out)]
            elif form == "diff" and "ptr_struct_arith" not in self.disabled:
                self.program_flags.add("ptr_struct_arith")
                i, j = self.rng.randint(0, n), self.rng.randint(0, n)
                self.body += [Raw("*p.%s = @pa(%d)" % (sname, i)), Raw("*q.%s = @pa(%d)" % (sname, j)),
                              Raw('PrintN("diff " + Str(*q - *p) + " " + Str(*q - @pa(0)))'),
                              Raw("*r.%s = *p + (*q - *p)" % sname),
                              Raw("If *r = *q : PrintN(\"same\") : Else : PrintN(\"other\") : EndIf")]
            elif form == "chars" and "ptr_struct_arith" not in self.disabled:
                self.program_flags.add("ptr_struct_arith")
                text = self.choice(["hello", "Zandrel!", "a", "xyz 42"])
                self.body += [Raw('t$ = "%s" + Str(ps %% 1000)' % text), Raw("*c.CharCell = @t$"), Raw("cc.q = 0"),
                              Raw("While *c\\c"), Raw("  cc = cc * 5 + *c\\c"), Raw("  *c + 2"), Raw("Wend"),
                              Raw('PrintN("chars " + Str(cc % 1000003))')]
            elif form == "cell":
                self.body += [Raw("x.l = %d" % self.rng.randint(-100, 100)), Raw("*lp.LongCell = @x"),
                              Raw("*lp\\v = *lp\\v * 3 + 1"), Raw('PrintN("cell " + Str(x))')]
            elif form == "compare":
                i = self.rng.randint(0, n)
                self.body += [Raw("*p.%s = @pa(%d)" % (sname, i)),
                              Raw("If *p > @pa(0) : PrintN(\"after\") : ElseIf *p = @pa(0) : PrintN(\"first\") : EndIf")]
        self.print_vars(self.ints + self.floats)

    # -- lists and maps
    def family_containers(self):
        self.declare_numbers(self.rng.randint(3, 5))
        self.body.append(Raw("sum.q = 0"))
        self.body.append(Raw('t$ = ""'))
        for _ in range(self.rng.randint(2, 4)):
            form = self.choice(["list", "list", "slist", "map", "map", "smap", "fmap"])
            name = self.new_name("c")
            count = self.rng.randint(0, 6)
            a, b = self.rng.randint(-9, 9), self.rng.randint(-50, 50)
            if form == "list":
                t = self.choice(["b", "w", "l", "q", "i", "a", "u", "c"])
                self.body += [Raw("NewList %s.%s()" % (name, t)), Raw("For k.l = 0 To %d" % count),
                              Raw("  AddElement(%s())" % name), Raw("  %s() = k * %d + %d" % (name, a, b)), Raw("Next")]
                walk = self.choice(["foreach", "reset"])
                if walk == "foreach":
                    self.body += [Raw("ForEach %s()" % name), Raw("  sum = sum * 3 + %s()" % name),
                                  Raw("  %s() = %s() + 1" % (name, name)), Raw("Next")]
                else:
                    self.body += [Raw("ResetList(%s())" % name), Raw("While NextElement(%s())" % name),
                                  Raw("  sum = sum * 5 + %s()" % name), Raw("Wend")]
                self.body += [Raw("ForEach %s()" % name), Raw('  PrintN("%s " + Str(%s()))' % (name, name)), Raw("Next")]
            elif form == "slist":
                rec = self.declare_structure(allow_nested=False)
                nums = [(f, t) for f, kind, t, c in rec["fields"] if kind == "num" and c == 0 and t not in FLOAT_TYPES]
                strs = [f for f, kind, t, c in rec["fields"] if kind in ("str", "fixed")]
                self.body += [Raw("NewList %s.%s()" % (name, rec["name"])), Raw("For k.l = 0 To %d" % count),
                              Raw("  AddElement(%s())" % name)]
                for f, t in nums:
                    self.body.append(Raw("  %s()\\%s = k * %d + %d" % (name, f, a, b)))
                for f in strs:
                    self.body.append(Raw('  %s()\\%s = "e" + Str(k)' % (name, f)))
                self.body.append(Raw("Next"))
                self.body.append(Raw("ForEach %s()" % name))
                for f, t in nums:
                    self.body.append(Raw('  PrintN("%s.%s " + Str(%s()\\%s))' % (name, f, name, f)))
                for f in strs:
                    self.body.append(Raw('  PrintN("%s.%s " + %s()\\%s)' % (name, f, name, f)))
                self.body.append(Raw("Next"))
            elif form == "map":
                t = self.choice(["b", "w", "l", "q", "i", "a", "u", "c", "d"])
                keys = [self.choice(["a", "b", "key", "zz", "k1", "Key", ""]) + str(self.rng.randint(0, 3)) for _ in range(count + 1)]
                self.body.append(Raw("NewMap %s.%s()" % (name, t)))
                for i, key in enumerate(keys):
                    value = fmt_float(self.rng.randint(-40, 40) / 4.0) if t == "d" else str(self.rng.randint(-100, 100))
                    self.body.append(Raw('%s("%s") = %s' % (name, key, value)))
                key = self.choice(keys + ["none"])
                fn = "StrD" if t == "d" else "Str"
                self.body += [Raw('kk$ = "%s"' % key), Raw('PrintN("%s " + %s(%s(kk$)) + " " + %s(%s("%s")))' % (
                    name, fn, name, fn, name, self.choice(keys))),
                    Raw("ForEach %s()" % name), Raw('  PrintN("%s " + %s(%s()))' % (name, fn, name)), Raw("Next")]
            elif form == "smap":
                self.body.append(Raw("NewMap %s.s()" % name))
                for i in range(count + 1):
                    self.body.append(Raw('%s("k%d") = "v" + Str(%d)' % (name, self.rng.randint(0, 4), self.rng.randint(0, 99))))
                self.body += [Raw("ForEach %s()" % name), Raw("  t$ = t$ + %s() + \",\"" % name), Raw("Next"),
                              Raw('PrintN("%s " + t$ + %s("k1"))' % (name, name))]
            elif form == "fmap" and "fixed_map_foreach" not in self.disabled:
                self.program_flags.add("fixed_map_foreach")
                n = self.rng.randint(1, 5)
                self.body.append(Raw("NewMap %s.s{%d}()" % (name, n)))
                for i in range(count + 1):
                    self.body.append(Raw('%s("k%d") = "%s"' % (name, i, self.choice(["abcdef", "x", "hello", "12"]))))
                self.body += [Raw("ForEach %s()" % name), Raw("  t$ = t$ + %s() + \";\"" % name), Raw("Next"),
                              Raw('PrintN("%s " + t$)' % name)]
        self.body.append(Raw('PrintN("sum " + Str(sum))'))
        self.body.append(Raw("cs = (cs + (sum & 65535)) % 1000003"))
        self.print_vars(self.ints + self.floats)

    # -- procedures
    def make_procedure(self, rtype, params, recursive=False):
        """A procedure whose body computes from its parameters; the model
        runs it at every call."""
        name = self.new_name("Pr")
        saved = (self.ints, self.floats, self.strings, self.fixed, self.readonly, self.extra_int, self.extra_float,
                 self.env)
        pnames = [(self.new_name("a"), t) for t in params]
        self.ints = [(p, t) for p, t in pnames if t in INT_TYPES]
        self.floats = [(p, t) for p, t in pnames if t in FLOAT_TYPES]
        self.strings = [p for p, t in pnames if t == "s"]
        self.fixed, self.readonly, self.extra_int, self.extra_float = [], [], [], []
        proc = Proc(name, rtype, pnames)
        body = []
        if recursive:
            self.ints = self.ints + [(pnames[0][0], pnames[0][1])]
            n = pnames[0][0]
            base = self.int_expr(1)
            step = self.int_expr(1)
            body.append(If(Cmp("<=", Var(n, "l"), Const(0)), [Return(base, rtype)]))
            body.append(Return(Bin(self.choice(["+", "-", "!"]), Call(proc, [Bin("-", Var(n, "l"), Const(1))] +
                                                                      [SVar(p) if t == "s" else Var(p, t) for p, t in pnames[1:]]),
                                       step), rtype))
        else:
            local = self.new_name("lo")
            lt = self.choice(NUM_TYPES)
            self.env = Env()
            for p, t in pnames:
                self.env[p] = 1 if t in INT_TYPES else (1.5 if t in FLOAT_TYPES else "x")
            body.append(Assign("%s.%s" % (local, lt), local, lt, self.num_expr(lt, 2)))
            (self.ints if lt in INT_TYPES else self.floats).append((local, lt))
            if self.r() < 0.5:
                body.append(If(self.cond(1), [Return(self.result_expr(rtype), rtype)]))
            body.append(Return(self.result_expr(rtype), rtype))
        proc.body = body
        (self.ints, self.floats, self.strings, self.fixed, self.readonly, self.extra_int, self.extra_float,
         self.env) = saved
        text = ["Procedure.%s %s(%s)" % (rtype, name, ", ".join("%s.%s" % (p, t) for p, t in pnames))]
        for s in body:
            text += s.lines("  ")
        text.append("EndProcedure")
        return proc, text

    def result_expr(self, rtype):
        if rtype == "s":
            return self.string_expr(self.rng.randint(1, 3))
        return self.num_expr(rtype, 2)

    def family_procs(self):
        self.declare_numbers(self.rng.randint(6, 9))
        self.declare_strings(1, 0)
        procs = []
        for _ in range(self.rng.randint(3, 6)):
            rtype = self.choice(NUM_TYPES + ["s"])
            params = [self.choice(NUM_TYPES + ["s"]) for _ in range(self.rng.randint(1, 5))]
            recursive = rtype in INT_TYPES and self.r() < 0.3
            if recursive:
                params[0] = "l"
            for _ in range(20):
                try:
                    proc, text = self.make_procedure(rtype, params, recursive)
                    break
                except Unsafe:
                    continue
            else:
                continue
            self.head += text
            procs.append(proc)
        num_procs = [p for p in procs if p.rtype != "s"]

        def call_of(floating):
            pool = [p for p in num_procs if (p.rtype in FLOAT_TYPES) == floating]
            if not pool:
                raise Unsafe("no procedure")
            return self.call(self.choice(pool))
        self.extra_int.append(lambda: call_of(False))
        self.extra_float.append(lambda: call_of(True))
        str_procs = [p for p in procs if p.rtype == "s"]
        if self.r() < 0.7:
            self.container_procedures()
        if self.r() < 0.6:
            methods = self.declare_interface()
            self.extra_int.append(lambda: self.method_call(self.choice(methods)))
        for _ in range(self.rng.randint(8, 16)):
            k = self.r()
            if k < 0.5:
                self.emit(self.make_assign)
            elif k < 0.7 and str_procs:
                self.emit(lambda: Print(SCat([SLit("s "), SCallS(self.call(self.choice(str_procs)))])))
            elif k < 0.85:
                self.emit(lambda: Print(self.numeric_print()))
            else:
                self.emit(self.make_if)
        self.print_vars(self.ints + self.floats)

    def container_procedures(self):
        """Array, List, Map and structure-pointer parameters, and a
        procedure that returns a pointer to a structure."""
        t = self.choice(["b", "w", "l", "q", "i", "u", "c", "a"])
        n = self.rng.randint(0, 6)
        sname = self.new_name("PS")
        tag = self.counter
        ft = self.choice(["l", "q", "w", "d"])
        mul = self.rng.randint(-9, 9)
        self.head += [
            "Structure %s" % sname, "  x.%s" % ft, "  y.d", "EndStructure",
            "Global Dim gp%d.%s(%d)" % (tag, sname, n),
            "Procedure.q SumA%d(Array a.%s(1), n.l)" % (tag, t),
            "  t.q = 0", "  For k.l = 0 To n", "    t = t + a(k) * (k + 1)", "  Next", "  ProcedureReturn t",
            "EndProcedure",
            "Procedure.q SumL%d(List li.%s())" % (tag, t),
            "  t.q = 0", "  ForEach li()", "    t = t * 3 + li()", "    li() = li() + 1", "  Next",
            "  ProcedureReturn t", "EndProcedure",
            "Procedure.q SumM%d(Map m.%s())" % (tag, t),
            "  t.q = 0", "  ForEach m()", "    t = t * 5 + m()", "  Next", "  ProcedureReturn t", "EndProcedure",
            "Procedure Bump%d(*p.%s, k.l)" % (tag, sname),
            "  *p\\x = *p\\x * %d + k" % mul, "  *p\\y = *p\\y + k * 0.5", "EndProcedure",
            "Procedure.%s *Pick%d(n.l)" % (sname, tag), "  ProcedureReturn @gp%d(n)" % tag, "EndProcedure"]
        self.body += [
            Raw("Dim ca%d.%s(%d)" % (tag, t, n)), Raw("NewList cl%d.%s()" % (tag, t)),
            Raw("NewMap cm%d.%s()" % (tag, t)),
            Raw("For k%d.l = 0 To %d" % (tag, n)),
            Raw("  ca%d(k%d) = k%d * %d + %d" % (tag, tag, tag, self.rng.randint(-5, 5), self.rng.randint(0, 20))),
            Raw("  AddElement(cl%d())" % tag), Raw("  cl%d() = k%d + %d" % (tag, tag, self.rng.randint(0, 9))),
            Raw('  cm%d("k" + Str(k%d %% 3)) = k%d * 2' % (tag, tag, tag)),
            Raw("  Bump%d(@gp%d(k%d), k%d)" % (tag, tag, tag, tag)),
            Raw("Next"),
            Raw('PrintN("arr " + Str(SumA%d(ca%d(), %d)))' % (tag, tag, n)),
            Raw('PrintN("list " + Str(SumL%d(cl%d())) + " " + Str(SumL%d(cl%d())))' % (tag, tag, tag, tag)),
            Raw('PrintN("map " + Str(SumM%d(cm%d())))' % (tag, tag)),
            Raw("*pp%d.%s = Pick%d(%d)" % (tag, sname, tag, self.rng.randint(0, n))),
            Raw("Bump%d(*pp%d, 3)" % (tag, tag)),
            Raw('PrintN("ptr " + %s(*pp%d\\x) + " " + StrD(*pp%d\\y) + " " + StrD(gp%d(0)\\y))' % (
                "StrD" if ft == "d" else "Str", tag, tag, tag))]

    def declare_interface(self):
        """An interface of integer methods of every width, each backed by a
        procedure of the method's own type, and an object whose method
        table is a data label of the procedures' addresses."""
        tag = self.counter
        self.counter += 1
        value = self.int_value("l")
        methods = []
        lines = ["Interface IM%d" % tag]
        procs = ["Structure OB%d" % tag, "  *table", "  value.q", "EndStructure"]
        types = ["b", "a", "w", "u", "c"] + [self.choice(["l", "q", "i", "b", "u"]) for _ in range(2)]
        self.rng.shuffle(types)
        for n, t in enumerate(types):
            ptype = self.choice([None] + list(INT_TYPES))
            scale = self.rng.randint(-300, 300)
            lines.append("  M%d.%s(%s)" % (n, t, "" if ptype is None else "x.%s" % ptype))
            procs.append("Procedure.%s IMP%d_%d(*self.OB%d%s)" % (t, tag, n, tag, "" if ptype is None else ", x.%s" % ptype))
            procs.append("  ProcedureReturn *self\\value * %d%s" % (scale, "" if ptype is None else " + x"))
            procs.append("EndProcedure")
            methods.append(("io%d\\M%d" % (tag, n), t, ptype, scale, value))
        lines.append("EndInterface")
        self.head += lines + procs + [
            "DataSection",
            "  imt%d: : Data.i %s" % (tag, ", ".join("@IMP%d_%d()" % (tag, n) for n in range(len(types)))),
            "EndDataSection"]
        self.body += [Raw("Define ob%d.OB%d" % (tag, tag)), Raw("ob%d\\table = ?imt%d" % (tag, tag)),
                      Raw("ob%d\\value = %d" % (tag, value)), Raw("io%d.IM%d = @ob%d" % (tag, tag, tag))]
        return methods

    def method_call(self, method):
        name, t, ptype, scale, value = method
        arg = None
        if ptype is not None:
            saved, self.extra_int = self.extra_int, []
            try:
                arg = self.int_expr(1)
            finally:
                self.extra_int = saved

        def getter(env):
            x = 0 if arg is None else evaluate(arg, env, ptype, env.flags)
            return wrap(value * scale + x, t)
        return Element("%s(%s)" % (name, "" if arg is None else arg.text()), t, getter, [] if arg is None else [arg])

    def call(self, proc):
        """A call whose arguments hold no further call."""
        args = []
        saved = self.extra_int, self.extra_float
        self.extra_int, self.extra_float = [], []
        try:
            for p, t in proc.params:
                if t == "s":
                    args.append(SCat([SLit(self.choice(["a", "bc", ""])), SNum("Str", self.int_expr(1))]))
                elif t in FLOAT_TYPES:
                    args.append(self.float_expr(1, need_float=self.r() < 0.5))
                else:
                    args.append(self.int_expr(1))
        finally:
            self.extra_int, self.extra_float = saved
        return Call(proc, args)



def generate(seed, family, disabled=()):
    """The text of the program and the features it uses."""
    gen = Gen(seed, family, disabled)
    return gen.program()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("seed", type=int)
    ap.add_argument("--family", default=None, help="one of: " + ", ".join(FAMILIES))
    ap.add_argument("--disable", default="", help="features left out, by comma: " + ", ".join(FEATURES))
    ap.add_argument("-o", "--output", default="-")
    args = ap.parse_args()
    family = args.family or FAMILIES[args.seed % len(FAMILIES)]
    disabled = [f for f in args.disable.split(",") if f]
    text, flags = generate(args.seed, family, disabled)
    if args.output == "-":
        sys.stdout.write(text)
    else:
        with open(args.output, "w") as out:
            out.write(text)
    sys.stderr.write("features: %s\n" % (" ".join(sorted(flags)) or "-"))


if __name__ == "__main__":
    main()
