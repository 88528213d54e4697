// Math library: single-precision functions, PI, RAND_MAX, rand/srand.
#include "sqstdmath.h"
#include "sqvm.h"

#include <cmath>
#include <cstdlib>

namespace {

SQFloat F(SQVM* v, SQInteger i) {
    return num_f(sq_stk(v, i));
}
SQInteger retf(SQVM* v, SQFloat f) {
    sq_vpush(v, Value(f));
    return 1;
}

#define MATH1(name, expr)                                                                          \
    SQInteger m_##name(SQVM* v) {                                                                  \
        SQFloat x = F(v, 2);                                                                       \
        return retf(v, expr);                                                                      \
    }                                                                                              \
    bool l_##name(const Value* a, SQInteger n, Value& out) {                                       \
        if (n != 2 || !sq_isnumeric(a[1])) return false;                                           \
        SQFloat x = num_f(a[1]);                                                                   \
        out = Value(SQFloat(expr));                                                                \
        return true;                                                                               \
    }
MATH1(sqrt, std::sqrt(x))
MATH1(sin, std::sin(x))
MATH1(cos, std::cos(x))
MATH1(asin, std::asin(x))
MATH1(acos, std::acos(x))
MATH1(log, std::log(x))
MATH1(log10, std::log10(x))
MATH1(tan, std::tan(x))
MATH1(atan, std::atan(x))
MATH1(floor, std::floor(x))
MATH1(ceil, std::ceil(x))
MATH1(exp, std::exp(x))
MATH1(fabs, std::fabs(x))

SQInteger m_atan2(SQVM* v) {
    return retf(v, std::atan2(F(v, 2), F(v, 3)));
}
SQInteger m_pow(SQVM* v) {
    return retf(v, std::pow(F(v, 2), F(v, 3)));
}
SQInteger m_abs(SQVM* v) {
    SQInteger i = num_i(sq_stk(v, 2));
    sq_pushinteger(v, i < 0 ? SQInteger(0 - SQUnsignedInteger(i)) : i);
    return 1;
}
SQInteger m_srand(SQVM* v) {
    srand(unsigned(num_i(sq_stk(v, 2))));
    return 0;
}
SQInteger m_rand(SQVM* v) {
    sq_pushinteger(v, rand());
    return 1;
}

void reg(HSQUIRRELVM v, const char* name, SQFUNCTION f, SQInteger n, const char* mask,
         SQLEAFFN leaf = nullptr) {
    sq_pushstring(v, name, -1);
    sq_newclosure(v, f, 0);
    sq_stk(v, -1).ncl()->leaf = leaf;
    sq_setparamscheck(v, n, mask);
    sq_setnativeclosurename(v, -1, name);
    sq_newslot(v, -3, SQFalse);
}

} // namespace

extern "C" SQRESULT sqstd_register_mathlib(HSQUIRRELVM v) {
    reg(v, "sqrt", m_sqrt, 2, ".n", l_sqrt);
    reg(v, "sin", m_sin, 2, ".n", l_sin);
    reg(v, "cos", m_cos, 2, ".n", l_cos);
    reg(v, "asin", m_asin, 2, ".n", l_asin);
    reg(v, "acos", m_acos, 2, ".n", l_acos);
    reg(v, "log", m_log, 2, ".n", l_log);
    reg(v, "log10", m_log10, 2, ".n", l_log10);
    reg(v, "tan", m_tan, 2, ".n", l_tan);
    reg(v, "atan", m_atan, 2, ".n", l_atan);
    reg(v, "atan2", m_atan2, 3, ".nn");
    reg(v, "pow", m_pow, 3, ".nn");
    reg(v, "floor", m_floor, 2, ".n", l_floor);
    reg(v, "ceil", m_ceil, 2, ".n", l_ceil);
    reg(v, "exp", m_exp, 2, ".n", l_exp);
    reg(v, "fabs", m_fabs, 2, ".n", l_fabs);
    reg(v, "abs", m_abs, 2, ".n");
    reg(v, "srand", m_srand, 2, ".n");
    reg(v, "rand", m_rand, 1, nullptr);
    sq_pushstring(v, "RAND_MAX", -1);
    sq_pushinteger(v, RAND_MAX);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "PI", -1);
    sq_pushfloat(v, SQFloat(3.14159265358979323846));
    sq_newslot(v, -3, SQFalse);
    return SQ_OK;
}
