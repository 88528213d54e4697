// A VM opened as the game opens its script VMs, with helpers to run snippets.
#pragma once

#include "script/common_script.h"
#include "script/ramps.h"
#include "script/sqbind.h"

#include <gtest/gtest.h>
#include <string>

class ScriptTest : public ::testing::Test {
  protected:
    HSQUIRRELVM vm = nullptr;

    void SetUp() override {
        vm = sqbind::open_vm(1024);
        ASSERT_NE(vm, nullptr);
        register_ramp_classes(vm);
        register_common_script(vm);
    }
    void TearDown() override { sqbind::close_vm(vm); }

    // Compiles and runs a snippet with the root table as `this`; false on any error.
    bool run(const std::string& code, const char* name = "snippet") {
        SQInteger top = sq_gettop(vm);
        bool ok =
            SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), SQInteger(code.size()), name, SQTrue));
        if (ok) {
            sq_pushroottable(vm);
            try {
                ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
            } catch (...) {
                // The call left the closure on the stack, as a failed call does.
                EXPECT_EQ(sq_gettop(vm), top + 1);
                sq_settop(vm, top);
                throw;
            }
        }
        sq_settop(vm, top);
        return ok;
    }

    // Runs `code` expecting a SquirrelError from a native function; returns its text.
    std::string nativeError(const std::string& code) {
        SQInteger top = sq_gettop(vm);
        std::string msg = "(no error)";
        try {
            run(code);
        } catch (const sqbind::SquirrelError& e) {
            msg = e.desc;
        }
        EXPECT_EQ(sq_gettop(vm), top);
        return msg;
    }

    // Evaluates an expression and reads the result with the binding's reader for T.
    template <typename T>
    T eval(const std::string& expr) {
        std::string code = "return (" + expr + ");";
        SQInteger top = sq_gettop(vm);
        EXPECT_TRUE(SQ_SUCCEEDED(
            sq_compilebuffer(vm, code.c_str(), SQInteger(code.size()), "eval", SQTrue)));
        sq_pushroottable(vm);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_call(vm, 1, SQTrue, SQTrue))) << expr;
        T r = sqbind::Arg<T>::get(vm, -1);
        sq_settop(vm, top);
        return r;
    }
};

#define EXPECT_VEC4(v, X, Y, Z, W)                                                                 \
    do {                                                                                           \
        vec4f v_ = (v);                                                                            \
        EXPECT_FLOAT_EQ(v_.x, X);                                                                  \
        EXPECT_FLOAT_EQ(v_.y, Y);                                                                  \
        EXPECT_FLOAT_EQ(v_.z, Z);                                                                  \
        EXPECT_FLOAT_EQ(v_.w, W);                                                                  \
    } while (0)
