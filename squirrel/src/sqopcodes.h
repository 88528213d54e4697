// Bytecode of the stack machine. Stack effects are noted as [before] -> [after].
#pragma once

enum OpCode : unsigned char {
    OP_LOADNULL,  // -> [null]
    OP_LOADTRUE,  // -> [true]
    OP_LOADFALSE, // -> [false]
    OP_LOADINT,   // b -> [int b]
    OP_LOADK,     // b -> [consts[b]]
    OP_GETLOCAL,  // b -> [slot b]
    OP_SETLOCAL,  // b [v] -> [v], slot b = v
    OP_SETLOCALP, // b [v] -> [], slot b = v
    OP_GETOUTER,  // b -> [outer b]
    OP_SETOUTER,  // b [v] -> [v]
    OP_LOADROOT,  // -> [root table]
    OP_GETK,      // b [obj] -> [obj.k]
    OP_GET,       // [obj key] -> [obj[key]]
    OP_GETVAR,    // b -> [this.k, falling back to the root table]
    OP_SETVAR,    // b [v] -> [v]
    OP_SET,       // [obj key v] -> [v]
    OP_NEWSLOT,   // [obj key v] -> [v]
    OP_NEWSLOTT,  // [tbl key v] -> [tbl]
    OP_NEWSLOTC,  // a=static [cls key v] -> [cls]
    OP_DELETE,    // [obj key] -> [v]
    OP_ADD,
    OP_SUB,
    OP_MUL,
    OP_DIV,
    OP_MOD, // [a b] -> [r]
    OP_BAND,
    OP_BOR,
    OP_BXOR,
    OP_SHL,
    OP_SHR,
    OP_USHR,
    OP_EQ,
    OP_NE,
    OP_LT,
    OP_LE,
    OP_GT,
    OP_GE,
    OP_CMP3,
    OP_IN,         // [key obj] -> [bool]
    OP_INSTANCEOF, // [obj cls] -> [bool]
    OP_UNM,
    OP_NOT,
    OP_BNOT,
    OP_TYPEOF,
    OP_CLONE,
    OP_JMP,       // b
    OP_JZ,        // b [v] -> []
    OP_JNZ,       // b [v] -> []
    OP_ANDJ,      // b [v] -> [v] and jump when false, else []
    OP_ORJ,       // b [v] -> [v] and jump when true, else []
    OP_CALL,      // a=nargs [f this args..] -> [r]
    OP_PREPCALLK, // b [obj] -> [f obj]
    OP_PREPCALL,  // [obj key] -> [f obj]
    OP_RETURN,    // a=has value
    OP_NEWTABLE,  // -> [{}]
    OP_NEWARRAY,  // b -> [[]]
    OP_APPEND,    // [arr v] -> [arr]
    OP_CLOSURE,   // b -> [closure of child b]
    OP_CLOSE,     // b: close captured locals from slot b
    OP_POP,       // [v] -> []
    OP_DUP,       // [v] -> [v v]
    OP_DUP2,      // [a b] -> [a b a b]
    OP_SETTOP,    // b: top = base + b
    OP_FOREACH,   // c=container slot, b=exit target
    OP_TRY,       // b=catch target
    OP_POPTRY,    // a=count
    OP_THROW,     // [v] ->
    OP_YIELD,     // a=has value
    OP_RESUME,    // [gen] -> [v]
    OP_NEWCLASS,  // a=has base [base?] -> [cls]
    OP_CLASSDONE, // [cls] -> [cls] (runs _inherited)
    OP_GETBASE,   // -> [base class]
    OP_CALLEE,    // -> [current closure]
    OP_INCL,      // b=slot, a=0:+1 1:-1
    OP_INC,       // a=0:+1 1:-1 [v] -> [v+-1]
    OP_POSTINCF,  // a [obj key] -> [old]
    OP_SWAPUNDER, // [a b c] -> [c a b]
    OP_JCMPF,     // a=compare op, b [x y] -> [], jump when the comparison is false
    OP_JCMPT,     // a=compare op, b [x y] -> [], jump when the comparison is true
    OP_ADDI,      // b [x] -> [x + b]
    // a binary operator fused with the load of its right operand: local slot b (L) or
    // constant b (K)
    OP_ADDL,      // b [x] -> [x + slot b]
    OP_SUBL,      // b [x] -> [x - slot b]
    OP_MULL,      // b [x] -> [x * slot b]
    OP_DIVL,      // b [x] -> [x / slot b]
    OP_ADDK,      // b [x] -> [x + consts[b]]
    OP_SUBK,      // b [x] -> [x - consts[b]]
    OP_MULK,      // b [x] -> [x * consts[b]]
    OP_DIVK,      // b [x] -> [x / consts[b]]
    OP_BITL,      // a=bitwise op, b [x] -> [x op slot b]
    OP_BITK,      // a=bitwise op, b [x] -> [x op consts[b]]
    OP_JCMPFL,    // a=compare op, b, c=slot [x] -> [], jump when x op slot c is false
    OP_JCMPTL,    // a=compare op, b, c=slot [x] -> [], jump when x op slot c is true
    OP_JCMPFK,    // a=compare op, b, c=constant [x] -> [], jump when false
    OP_JCMPTK,    // a=compare op, b, c=constant [x] -> [], jump when true
    OP_GETVART,   // b -> [this.k (or the root's), this]: a function and the this of its call
    OP_GETLOCALT, // b -> [slot b, this]
    OP_LAST
};
