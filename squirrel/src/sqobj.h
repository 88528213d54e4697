// Internal object model: tagged values with reference counting, and the heap objects.
#pragma once
#include "squirrel.h"
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

struct SQSharedState;

// The interpreter loop is too large for the compiler to inline these on its own; called out of
// line, value copies cost more than the work around them.
#define SQ_INLINE inline __attribute__((always_inline))

SQ_INLINE bool sq_rc(SQObjectType t) {
    return (t & SQOBJECT_REF_COUNTED) != 0;
}

// Every heap object; `kind` is its SQObjectType. Objects that can hold references sit on the
// shared state's list so the cycle collector can find them.
struct SQRefCounted {
    SQUnsignedInteger refs = 0;
    SQObjectType kind;
    SQRefCounted* gcprev = nullptr;
    SQRefCounted* gcnext = nullptr;
    SQWeakRef* weak = nullptr;
    SQSharedState* ss = nullptr;
    uint32_t mark = 0;
};

void sq_destroy(SQRefCounted* o);

SQ_INLINE void sq_incref(SQRefCounted* o) {
    ++o->refs;
}
SQ_INLINE void sq_decref(SQRefCounted* o) {
    if (--o->refs == 0) sq_destroy(o);
}

// A value slot that owns one reference to its object.
struct Value : SQObject {
    Value() {
        _type = OT_NULL;
        _unVal.raw = 0;
    }
    SQ_INLINE Value(const SQObject& o) {
        _type = o._type;
        _unVal = o._unVal;
        if (sq_rc(_type)) sq_incref(_unVal.pRefCounted);
    }
    SQ_INLINE Value(const Value& o) : Value(static_cast<const SQObject&>(o)) {}
    SQ_INLINE Value(Value&& o) noexcept {
        _type = o._type;
        _unVal = o._unVal;
        o._type = OT_NULL;
        o._unVal.raw = 0;
    }
    explicit Value(SQInteger i) {
        _type = OT_INTEGER;
        _unVal.raw = 0;
        _unVal.nInteger = i;
    }
    explicit Value(int i) : Value(SQInteger(i)) {}
    explicit Value(SQFloat f) {
        _type = OT_FLOAT;
        _unVal.raw = 0;
        _unVal.fFloat = f;
    }
    explicit Value(bool b) {
        _type = OT_BOOL;
        _unVal.raw = b ? 1 : 0;
    }
    Value(SQObjectType t, SQRefCounted* p) {
        _type = t;
        _unVal.raw = 0;
        _unVal.pRefCounted = p;
        if (p)
            sq_incref(p);
        else
            _type = OT_NULL;
    }
    SQ_INLINE ~Value() {
        if (sq_rc(_type)) sq_decref(_unVal.pRefCounted);
    }
    SQ_INLINE Value& operator=(const SQObject& o) {
        SQObjectType ot = _type;
        SQObjectValue ov = _unVal;
        _type = o._type;
        _unVal = o._unVal;
        if (sq_rc(_type)) sq_incref(_unVal.pRefCounted);
        if (sq_rc(ot)) sq_decref(ov.pRefCounted);
        return *this;
    }
    SQ_INLINE Value& operator=(const Value& o) { return *this = static_cast<const SQObject&>(o); }
    SQ_INLINE Value& operator=(Value&& o) noexcept {
        if (this != &o) {
            SQObjectType ot = _type;
            SQObjectValue ov = _unVal;
            _type = o._type;
            _unVal = o._unVal;
            o._type = OT_NULL;
            o._unVal.raw = 0;
            if (sq_rc(ot)) sq_decref(ov.pRefCounted);
        }
        return *this;
    }
    void setInt(SQInteger i) {
        if (sq_rc(_type)) {
            *this = Value(i);
            return;
        }
        _type = OT_INTEGER;
        _unVal.nInteger = i;
    }
    void setFloat(SQFloat f) {
        if (sq_rc(_type)) {
            *this = Value(f);
            return;
        }
        _type = OT_FLOAT;
        _unVal.raw = 0;
        _unVal.fFloat = f;
    }
    SQ_INLINE void setNull() {
        if (sq_rc(_type)) {
            SQRefCounted* p = _unVal.pRefCounted;
            _type = OT_NULL;
            _unVal.raw = 0;
            sq_decref(p);
            return;
        }
        _type = OT_NULL;
        _unVal.raw = 0;
    }
    SQObjectType type() const { return _type; }
    bool isNull() const { return _type == OT_NULL; }
    SQInteger i() const { return _unVal.nInteger; }
    SQFloat f() const { return _unVal.fFloat; }
    bool b() const { return _unVal.raw != 0; }
    SQRefCounted* p() const { return _unVal.pRefCounted; }
    SQString* str() const { return reinterpret_cast<SQString*>(_unVal.pRefCounted); }
    SQTable* tab() const { return reinterpret_cast<SQTable*>(_unVal.pRefCounted); }
    SQArray* arr() const { return reinterpret_cast<SQArray*>(_unVal.pRefCounted); }
    SQClosure* clo() const { return reinterpret_cast<SQClosure*>(_unVal.pRefCounted); }
    SQNativeClosure* ncl() const { return reinterpret_cast<SQNativeClosure*>(_unVal.pRefCounted); }
    SQClass* cls() const { return reinterpret_cast<SQClass*>(_unVal.pRefCounted); }
    SQInstance* ins() const { return reinterpret_cast<SQInstance*>(_unVal.pRefCounted); }
    SQWeakRef* wr() const { return reinterpret_cast<SQWeakRef*>(_unVal.pRefCounted); }
    SQGenerator* gen() const { return reinterpret_cast<SQGenerator*>(_unVal.pRefCounted); }
    SQUserData* ud() const { return reinterpret_cast<SQUserData*>(_unVal.pRefCounted); }
    SQVM* thr() const { return reinterpret_cast<SQVM*>(_unVal.pRefCounted); }
    bool sameAs(const Value& o) const { return _type == o._type && _unVal.raw == o._unVal.raw; }
};

// float to integer as x86 converts, without undefined behaviour for out-of-range values
inline SQInteger sq_f2i(SQFloat f) {
    if (!(f > -9.2233720e18f && f < 9.2233720e18f)) return INT64_MIN;
    return SQInteger(f);
}
inline SQFloat num_f(const SQObject& v) {
    return v._type == OT_INTEGER ? SQFloat(v._unVal.nInteger) : v._unVal.fFloat;
}
inline bool sq_iscallable(const SQObject& v) {
    return v._type == OT_CLOSURE || v._type == OT_NATIVECLOSURE;
}
inline SQInteger num_i(const SQObject& v) {
    return v._type == OT_INTEGER ? v._unVal.nInteger : sq_f2i(v._unVal.fFloat);
}
inline bool is_false(const SQObject& v) {
    switch (v._type) {
    case OT_NULL:
        return true;
    case OT_INTEGER:
        return v._unVal.nInteger == 0;
    case OT_FLOAT:
        return v._unVal.fFloat == 0.0f;
    case OT_BOOL:
        return v._unVal.raw == 0;
    default:
        return false;
    }
}

struct SQString : SQRefCounted {
    SQHash hash;
    SQInteger len;
    SQString* chain; // next in the intern bucket
    char data[1];
    const char* c_str() const { return data; }
};

struct TableNode {
    Value key;
    Value val;
};

struct SQTable : SQRefCounted {
    TableNode* nodes = nullptr;
    SQInteger cap = 0; // power of two or 0
    SQInteger count = 0;
    SQInteger used = 0; // live + tombstones
    SQTable* delegate = nullptr;
};

inline SQHash key_hash(const SQObject& k) {
    if (k._type == OT_STRING) return reinterpret_cast<SQString*>(k._unVal.pRefCounted)->hash;
    SQHash x = k._unVal.raw ^ (SQHash(k._type) << 32);
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    return x;
}
inline bool key_eq(const SQObject& a, const SQObject& b) {
    return a._type == b._type && a._unVal.raw == b._unVal.raw;
}
inline bool node_tomb(const TableNode& n) {
    return n.key._type == OT_NULL && n.val._type == OT_BOOL;
}
struct SQArray : SQRefCounted {
    std::vector<Value> vals;
};

struct LocalInfo {
    Value name;
    SQInteger start_pc;
    SQInteger end_pc;
    SQInteger slot;
};

struct OuterInfo {
    bool fromLocal; // true: parent's stack slot; false: parent's outer
    SQInteger index;
    Value name;
};

struct Instr {
    uint8_t op;
    uint8_t a;
    uint16_t c;
    int32_t b;
};

struct SQFunctionProto : SQRefCounted {
    std::vector<Instr> code;
    std::vector<int32_t> lines; // per instruction
    std::vector<int32_t> cols;
    std::vector<Value> consts;
    std::vector<SQFunctionProto*> children; // owned references
    std::vector<OuterInfo> outers;
    std::vector<LocalInfo> locals;
    std::vector<Value> paramNames;
    SQInteger nparams = 1; // including this
    SQInteger ndefaults = 0;
    SQInteger stacksize = 0;
    bool varargs = false;
    bool generator = false;
    Value name;
    Value source;
    SQInteger line = 0;
};

struct SQOuter : SQRefCounted {
    SQInteger index;         // stack index while open
    struct ExecState* owner; // null once closed
    SQOuter* nextOpen;
    Value closed;
    Value* ptr; // the stack slot while open (moved with the stack), then closed
};

struct SQClosure : SQRefCounted {
    SQFunctionProto* proto;
    std::vector<SQOuter*> outers;
    std::vector<Value> defaults;
    SQWeakRef* env = nullptr; // bound environment
    SQClass* base = nullptr;  // class the function was declared in (its base class)
    Value root;
};

// A native's shortcut for calls it can finish alone: reads this and the arguments in place and
// gives the result without a call frame; false sends the call down the full path (errors,
// unusual arguments). Only for natives that cannot fail otherwise nor call back into scripts.
typedef bool (*SQLEAFFN)(const Value* args, SQInteger nargs, Value& out);

struct SQNativeClosure : SQRefCounted {
    SQFUNCTION func;
    SQLEAFFN leaf = nullptr;
    std::vector<Value> outers;
    std::vector<uint32_t> typecheck;
    SQInteger nparamscheck = 0;
    SQWeakRef* env = nullptr;
    Value name;
};

struct SQUserData : SQRefCounted {
    SQTable* delegate = nullptr;
    SQUserPointer typetag = nullptr;
    SQRELEASEHOOK hook = nullptr;
    SQInteger size = 0;
    alignas(16) unsigned char data[16];
};

enum MetaMethod {
    MT_ADD,
    MT_SUB,
    MT_MUL,
    MT_DIV,
    MT_UNM,
    MT_MODULO,
    MT_SET,
    MT_GET,
    MT_TYPEOF,
    MT_NEXTI,
    MT_CMP,
    MT_CALL,
    MT_CLONED,
    MT_NEWSLOT,
    MT_DELSLOT,
    MT_TOSTRING,
    MT_NEWMEMBER,
    MT_INHERITED,
    MT_LAST
};

struct SQClass : SQRefCounted {
    SQClass* base = nullptr;
    SQTable* members = nullptr; // name -> value, or field marker
    std::vector<Value> defaults;
    Value memberAttrs; // table: member name -> its attributes, null until one has some
    Value meta[MT_LAST];
    Value ctor;
    Value attributes;
    SQUserPointer typetag = nullptr;
    SQRELEASEHOOK hook = nullptr;
    SQInteger udsize = 0;
    bool locked = false;
};

struct SQInstance : SQRefCounted {
    SQClass* cls;
    std::vector<Value> vals;
    SQUserPointer up = nullptr;
    SQRELEASEHOOK hook = nullptr;
};

struct SQWeakRef : SQRefCounted {
    SQObject obj; // not owned
};

// FRAME_META: an arithmetic metamethod run by the interpreter loop of its caller; it counts as
// a nested interpreter entry (depth limit, suspend) as if called through the API
enum { FRAME_NATIVE = 1, FRAME_CTOR = 2, FRAME_META = 4 };

struct Frame {
    SQRefCounted* callee; // closure or native closure (kept alive by its stack slot)
    const Instr* ip;      // script frames only
    SQInteger base;       // stack index of `this`
    SQInteger top;        // stack top for native frames
    int32_t flags;        // FRAME_NATIVE, FRAME_CTOR, FRAME_META
    int32_t ntries;       // try handlers opened by this frame
    SQInteger target;     // stack index that receives the result
};

// The call stack: a growable array whose push stays inline in the interpreter's call path.
class FrameStack {
  public:
    FrameStack() = default;
    FrameStack(const FrameStack&) = delete;
    FrameStack& operator=(const FrameStack&) = delete;
    ~FrameStack() { free(data_); }
    size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    Frame& back() { return data_[n_ - 1]; }
    Frame& operator[](size_t i) { return data_[i]; }
    const Frame& operator[](size_t i) const { return data_[i]; }
    Frame* begin() { return data_; }
    Frame* end() { return data_ + n_; }
    void clear() { n_ = 0; }
    void pop_back() { --n_; }
    SQ_INLINE Frame& emplace_back() {
        if (n_ == cap_) grow();
        return data_[n_++];
    }
    void push_back(const Frame& f) { emplace_back() = f; }

  private:
    void grow() {
        size_t ncap = cap_ ? cap_ * 2 : 16;
        void* p = realloc(data_, ncap * sizeof(Frame));
        if (!p) throw std::bad_alloc();
        data_ = static_cast<Frame*>(p);
        cap_ = ncap;
    }
    Frame* data_ = nullptr;
    size_t n_ = 0, cap_ = 0;
};

struct TryHandler {
    SQInteger frame;
    SQInteger stackTop;
    const Instr* catchIp;
};

struct ExecState {
    std::vector<Value> stack;
    SQInteger top = 0;
    FrameStack frames;
    std::vector<TryHandler> tries;
    SQOuter* openOuters = nullptr;
    Value yielded;
};

enum GenState { GEN_SUSPENDED, GEN_RUNNING, GEN_DEAD };

struct SQGenerator : SQRefCounted {
    Value closure;
    ExecState es;
    GenState state = GEN_SUSPENDED;
    bool started = false;
    SQVM* heldBy = nullptr; // the thread that suspended while this generator ran
};

struct SQSharedState {
    SQString** strtab = nullptr;
    SQInteger strcap = 0;
    SQInteger strcount = 0;
    SQRefCounted gchead; // sentinel of the collectable object list
    Value roottable;
    Value registry;
    Value consttable;
    Value metanames[MT_LAST];
    Value ctorName;
    Value delegates[8]; // table, array, string, number, closure, generator, class, instance
    Value weakrefDelegate;
    Value threadDelegate;
    SQPRINTFUNCTION printfn = nullptr;
    SQPRINTFUNCTION errfn = nullptr;
    SQCOMPILERERROR compilererr = nullptr;
    std::vector<SQVM*> vms; // every VM/thread, for the collector's roots
    std::unordered_map<SQRefCounted*, SQUnsignedInteger> extrefs; // held by sq_addref
    SQInteger nativeDepth = 0; // nested interpreter entries over all threads
    bool debuginfo = true;
    bool closing = false;
};

enum VMState { VM_IDLE, VM_RUNNING, VM_SUSPENDED };

struct SQVM : SQRefCounted {
    ExecState es;
    ExecState* cur = &es; // the stack natives and the API work on (a generator's while it runs)
    SQSharedState* shared;
    Value lasterror;
    Value errorhandler;
    SQUserPointer foreign = nullptr;
    VMState state = VM_IDLE;
    SQInteger execDepth = 0;          // nested interpreter entries on this thread
    SQInteger genResumes = 0;         // of those, generators resumed straight from script
    ExecState* suspendedIn = nullptr; // the stack whose suspend call waits for the wakeup
    ExecState* raiseIn = nullptr;     // a generator stack the wakeup error is raised in
    Value wakeupError;
    bool suspendRequested = false;
    bool raiseerror = true;
    SQInteger budget = INT64_MAX; // loop iterations and calls left before the limit error
    SQInteger catchers = 0;       // active script try blocks and native catch sites
    bool ownsShared = false;
    std::string scratch;
    Value threadClosure;
};
