// The glue between native code and script VMs: owning handles to script values,
// bound classes with type tags, argument readers and result writers, thunks for
// free functions and methods, script callables (SqFunc), and the VM's error output.
// Every binding failure is one exception type, SquirrelError.
#pragma once

#include "core/ramp.h"
#include "core/vec4f.h"
#include "squirrel/include/squirrel.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

namespace sqbind {

struct SquirrelError {
    const char* desc;
    explicit SquirrelError(const char* d) : desc(d) {}
    explicit SquirrelError(HSQUIRRELVM vm); // from the VM's last error, "unknown error" if none
};

// An owning handle to one script value.
class SqObject {
  public:
    SqObject() { sq_resetobject(&obj); }
    SqObject(const SqObject& o) : obj(o.obj), vm(o.vm) {
        if (vm) sq_addref(vm, &obj);
    }
    SqObject& operator=(const SqObject& o);
    ~SqObject() { reset(); }

    void reset();
    void fromStack(HSQUIRRELVM v, SQInteger idx); // takes a reference to a stack slot
    bool isEmpty() const { return vm == nullptr || obj._type == OT_NULL; }
    void push(HSQUIRRELVM v) const { sq_pushobject(v, obj); }
    HSQUIRRELVM getVM() const { return vm; }
    const HSQOBJECT& handle() const { return obj; }

  private:
    HSQOBJECT obj;
    HSQUIRRELVM vm = nullptr;
};

// A handle that holds a weak reference to its value.
class SqWeakObject {
  public:
    void set(HSQUIRRELVM v, SQInteger idx); // from a stack slot
    void reset() { ref.reset(); }
    bool isEmpty() const { return ref.isEmpty(); }
    // Pushes the referenced value; false (nothing pushed) when it is gone.
    bool push(HSQUIRRELVM v) const;

  private:
    SqObject ref;
};

// Each bound class has one tag variable; its address is the type tag and registry key.
template <typename T>
struct ClassTag {
    static char tag;
    static const char* const name; // the script class name, defined per bound class
    static SQInteger release(SQUserPointer p, SQInteger) {
        static_cast<T*>(p)->~T();
        free(p);
        return 1;
    }
};
template <typename T>
char ClassTag<T>::tag;
template <>
const char* const ClassTag<vec4f>::name;
template <>
const char* const ClassTag<ColorRamp>::name;
template <>
const char* const ClassTag<FloatRamp>::name;

template <typename T>
SQUserPointer type_tag() {
    return &ClassTag<T>::tag;
}

// Native objects that scripts own live in malloc'd storage freed by the release hook.
template <typename T, typename... A>
T* new_native(A&&... args) {
    void* p = aligned_alloc(alignof(T) < 16 ? 16 : alignof(T), (sizeof(T) + 15) & ~size_t(15));
    if (!p) throw SquirrelError("out of memory");
    return new (p) T(std::forward<A>(args)...);
}

SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base, SQUserPointer tag);
bool init_instance(void* object, HSQUIRRELVM vm, SQRELEASEHOOK hook);
bool push_instance(HSQUIRRELVM vm, void* object, SQUserPointer tag, const char* class_name,
                   SQRELEASEHOOK hook);

// Pushes a copy of a value type as a new script instance owned by the script.
template <typename T>
void push_copy(HSQUIRRELVM vm, const T& value) {
    T* copy = new_native<T>(value);
    try {
        push_instance(vm, copy, type_tag<T>(), ClassTag<T>::name, &ClassTag<T>::release);
    } catch (...) {
        ClassTag<T>::release(copy, 0);
        throw;
    }
}

// Argument wrappers for loosely typed script values.
struct AnyVec4f { // a number fills all lanes, an array gives four elements, else a vec4f
    vec4f v;
};
struct AnyColor { // an integer is a packed 0xAARRGGBB colour, anything else as AnyVec4f
    vec4f v;
};

[[noreturn]] void throw_type_error();
vec4f get_loose_vec4f(HSQUIRRELVM vm, SQInteger idx);
vec4f get_loose_color(HSQUIRRELVM vm, SQInteger idx);
void* get_instance(HSQUIRRELVM vm, SQInteger idx, SQUserPointer tag); // throws on mismatch

// Argument readers by native type.
template <typename T, typename Enable = void>
struct Arg;

template <>
struct Arg<float> {
    static float get(HSQUIRRELVM vm, SQInteger idx) {
        SQFloat f;
        if (SQ_FAILED(sq_getfloat(vm, idx, &f))) throw_type_error();
        return f;
    }
};
template <>
struct Arg<int> {
    static int get(HSQUIRRELVM vm, SQInteger idx) {
        SQInteger i;
        if (SQ_FAILED(sq_getinteger(vm, idx, &i))) throw_type_error();
        return int(i);
    }
};
template <>
struct Arg<SQInteger> {
    static SQInteger get(HSQUIRRELVM vm, SQInteger idx) {
        SQInteger i;
        if (SQ_FAILED(sq_getinteger(vm, idx, &i))) throw_type_error();
        return i;
    }
};
template <>
struct Arg<const char*> {
    static const char* get(HSQUIRRELVM vm, SQInteger idx) {
        const SQChar* s;
        if (SQ_FAILED(sq_getstring(vm, idx, &s))) throw_type_error();
        return s;
    }
};
template <>
struct Arg<SqObject> {
    static SqObject get(HSQUIRRELVM vm, SQInteger idx) {
        SqObject o;
        o.fromStack(vm, idx);
        return o;
    }
};
template <>
struct Arg<vec4f> {
    static vec4f get(HSQUIRRELVM vm, SQInteger idx) {
        return *static_cast<vec4f*>(get_instance(vm, idx, type_tag<vec4f>()));
    }
};
template <>
struct Arg<AnyVec4f> {
    static AnyVec4f get(HSQUIRRELVM vm, SQInteger idx) { return {get_loose_vec4f(vm, idx)}; }
};
template <>
struct Arg<AnyColor> {
    static AnyColor get(HSQUIRRELVM vm, SQInteger idx) { return {get_loose_color(vm, idx)}; }
};
// Ramps may be passed as null (no ramp).
template <typename T>
struct Arg<T*, std::enable_if_t<std::is_same_v<std::remove_const_t<T>, ColorRamp> ||
                                std::is_same_v<std::remove_const_t<T>, FloatRamp>>> {
    static T* get(HSQUIRRELVM vm, SQInteger idx) {
        if (sq_gettype(vm, idx) == OT_NULL) return nullptr;
        return static_cast<T*>(get_instance(vm, idx, type_tag<std::remove_const_t<T>>()));
    }
};

// Result writers: how many values a native function returns to the script.
template <typename T>
struct Ret {
    static SQInteger push(HSQUIRRELVM vm, const T& v) {
        push_copy(vm, v);
        return 1;
    }
};
template <>
struct Ret<float> {
    static SQInteger push(HSQUIRRELVM vm, float v) {
        sq_pushfloat(vm, v);
        return 1;
    }
};
template <>
struct Ret<int> {
    static SQInteger push(HSQUIRRELVM vm, int v) {
        sq_pushinteger(vm, v);
        return 1;
    }
};
template <>
struct Ret<bool> {
    static SQInteger push(HSQUIRRELVM vm, bool v) {
        sq_pushbool(vm, v);
        return 1;
    }
};

template <typename... A, size_t... I>
std::tuple<A...> read_args([[maybe_unused]] HSQUIRRELVM vm, std::index_sequence<I...>) {
    return std::tuple<A...>{Arg<std::decay_t<A>>::get(vm, SQInteger(I) + 2)...};
}

template <typename R, typename... A>
SQInteger call_native(HSQUIRRELVM vm, R (*fn)(A...)) {
    auto args = read_args<std::decay_t<A>...>(vm, std::index_sequence_for<A...>{});
    if constexpr (std::is_void_v<R>) {
        std::apply(fn, args);
        return 0;
    } else {
        return Ret<std::decay_t<R>>::push(vm, std::apply(fn, args));
    }
}

// Free functions: the function pointer is the closure's one free variable.
template <typename F>
SQInteger function_thunk(HSQUIRRELVM vm) {
    SQUserPointer p = nullptr;
    sq_getuserpointer(vm, -1, &p);
    if (!p) return sq_throwerror(vm, "no function stored for C++ call");
    sq_poptop(vm);
    return call_native(vm, reinterpret_cast<F>(p));
}

template <typename R, typename... A>
void register_function(HSQUIRRELVM vm, const char* name, R (*fn)(A...)) {
    sq_pushroottable(vm);
    sq_pushstring(vm, name, -1);
    sq_pushuserpointer(vm, reinterpret_cast<SQUserPointer>(fn));
    sq_newclosure(vm, &function_thunk<R (*)(A...)>, 1);
    sq_setnativeclosurename(vm, -1, name);
    sq_newslot(vm, -3, SQFalse);
    sq_poptop(vm);
}

// A raw native function (full access to the stack) in the root table.
void register_raw_function(HSQUIRRELVM vm, const char* name, SQFUNCTION fn);

// Methods: the member-function pointer (or a free function taking the object first)
// lives in a user-data block, the closure's free variable. Reads `this` and that block;
// returns 0, or the script error to return.
SQInteger method_prologue(HSQUIRRELVM vm, SQUserPointer tag, SQUserPointer* self, void* stored,
                          size_t size);

template <typename Self, typename F, typename R, typename... A>
SQInteger method_thunk(HSQUIRRELVM vm) {
    SQUserPointer self = nullptr;
    F fn;
    if (SQInteger err =
            method_prologue(vm, type_tag<std::remove_const_t<Self>>(), &self, &fn, sizeof(F)))
        return err;
    auto args = read_args<std::decay_t<A>...>(vm, std::index_sequence_for<A...>{});
    auto call = [&](auto&&... a) { return std::invoke(fn, static_cast<Self*>(self), a...); };
    if constexpr (std::is_void_v<R>) {
        std::apply(call, args);
        return 0;
    } else {
        return Ret<std::decay_t<R>>::push(vm, std::apply(call, args));
    }
}

// Registers methods of one class while it is being set up.
class ClassBinder {
  public:
    ClassBinder(HSQUIRRELVM vm, const char* name, const char* base, SQUserPointer tag)
        : vm(vm), name(name), base(base), cls(create_class(vm, name, base, tag)) {}

    template <typename C, typename R, typename... A>
    ClassBinder& method(const char* mname, R (C::*fn)(A...)) {
        using F = R (C::*)(A...);
        return addMethod<F>(mname, fn, &method_thunk<C, F, R, A...>);
    }
    template <typename C, typename R, typename... A>
    ClassBinder& method(const char* mname, R (C::*fn)(A...) const) {
        using F = R (C::*)(A...) const;
        return addMethod<F>(mname, fn, &method_thunk<const C, F, R, A...>);
    }
    template <typename C, typename R, typename... A>
    ClassBinder& method(const char* mname, R (*fn)(C*, A...)) {
        using F = R (*)(C*, A...);
        return addMethod<F>(mname, fn, &method_thunk<C, F, R, A...>);
    }
    // A raw native function as a method or class function ("constructor", statics).
    ClassBinder& raw(const char* mname, SQFUNCTION fn, bool is_static = false);

  private:
    template <typename M>
    ClassBinder& addMethod(const char* mname, M fn, SQFUNCTION thunk) {
        cls.push(vm);
        sq_pushstring(vm, mname, -1);
        void* ud = sq_newuserdata(vm, sizeof(M));
        if (!ud) ud_failed();
        memcpy(ud, &fn, sizeof(M));
        sq_newclosure(vm, thunk, 1);
        sq_setnativeclosurename(vm, -1, mname);
        sq_newslot(vm, -3, SQFalse);
        sq_poptop(vm);
        return *this;
    }
    [[noreturn]] static void ud_failed();

    HSQUIRRELVM vm;
    const char* name;
    const char* base;
    SqObject cls;
};

// Pushes a native value as a script argument.
inline void push_arg(HSQUIRRELVM vm, float v) {
    sq_pushfloat(vm, v);
}
inline void push_arg(HSQUIRRELVM vm, int v) {
    sq_pushinteger(vm, v);
}
inline void push_arg(HSQUIRRELVM vm, const vec4f& v) {
    push_copy(vm, v);
}

// A script function bound by name, called from native code.
template <typename Sig>
class SqFunc;

template <typename R, typename... A>
class SqFunc<R(A...)> {
  public:
    // Looks up `name` in the root table; stays null when the script does not define it.
    void bind(HSQUIRRELVM v, const char* name) {
        release();
        vm = v;
        sq_pushroottable(v);
        env.set(v, -1);
        sq_pushstring(v, name, -1);
        if (SQ_SUCCEEDED(sq_get(v, -2))) {
            func.fromStack(v, -1);
            sq_poptop(v);
        }
        sq_poptop(v);
    }
    void release() {
        env.reset();
        func.reset();
        vm = nullptr;
    }
    bool isNull() const {
        if (!vm || func.isEmpty() || env.isEmpty()) return true;
        if (!env.push(vm)) return true;
        sq_poptop(vm);
        return false;
    }
    R operator()(A... args) const {
        SQInteger top = sq_gettop(vm);
        func.push(vm);
        if (!env.push(vm)) {
            sq_settop(vm, top);
            throw SquirrelError("SqFunc: can't deref weakptr to object");
        }
        try {
            (push_arg(vm, args), ...);
        } catch (...) {
            sq_settop(vm, top);
            throw;
        }
        if (SQ_FAILED(sq_call(vm, SQInteger(1 + sizeof...(A)), SQTrue, SQTrue))) {
            sq_settop(vm, top);
            throw SquirrelError("SqFunc<> call failed");
        }
        if constexpr (std::is_void_v<R>) {
            sq_settop(vm, top);
        } else {
            try {
                R r = Arg<R>::get(vm, -1);
                sq_settop(vm, top);
                return r;
            } catch (...) {
                sq_settop(vm, top);
                throw;
            }
        }
    }

    HSQUIRRELVM getVM() const { return vm; }

  private:
    HSQUIRRELVM vm = nullptr;
    SqWeakObject env;
    SqObject func;
};

// Member `name` of a script object (table or instance); throws SquirrelError when missing.
template <typename T>
T get_slot(const SqObject& obj, const char* name);
void push_slot(const SqObject& obj, const char* name); // pushes the member or throws
template <typename T>
T get_slot(const SqObject& obj, const char* name) {
    HSQUIRRELVM vm = obj.getVM();
    SQInteger top = sq_gettop(vm);
    push_slot(obj, name);
    try {
        T r = Arg<T>::get(vm, -1);
        sq_settop(vm, top);
        return r;
    } catch (...) {
        sq_settop(vm, top);
        throw;
    }
}

// VM set-up: print to the debug log, the compile-error reporter and the run-time error handler.
HSQUIRRELVM open_vm(SQInteger initial_stack);
void close_vm(HSQUIRRELVM vm);
void script_print(HSQUIRRELVM vm, const SQChar* fmt, ...);
void compile_error_handler(HSQUIRRELVM vm, const SQChar* desc, const SQChar* source, SQInteger line,
                           SQInteger column);
SQInteger runtime_error_handler(HSQUIRRELVM vm);
bool compile_file(HSQUIRRELVM vm, const char* path); // leaves the closure on the stack
bool run_file(HSQUIRRELVM vm, const char* path);

} // namespace sqbind
