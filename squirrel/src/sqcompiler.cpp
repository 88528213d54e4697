// Lexer and one-pass compiler from source text to stack-machine bytecode.
#include "sqopcodes.h"
#include "sqvm.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

enum Tok {
    T_EOF = 256,
    T_IDENT,
    T_INT,
    T_FLOAT,
    T_STRING,
    T_EQ,
    T_NE,
    T_LE,
    T_GE,
    T_CMP3,
    T_AND,
    T_OR,
    T_INC,
    T_DEC,
    T_PLUSEQ,
    T_MINUSEQ,
    T_MULEQ,
    T_DIVEQ,
    T_MODEQ,
    T_SHL,
    T_SHR,
    T_USHR,
    T_NEWSLOT,
    T_DCOLON,
    T_VARARGS,
    T_ATTR_OPEN,
    T_ATTR_CLOSE,
    // keywords
    K_WHILE,
    K_DO,
    K_IF,
    K_ELSE,
    K_BREAK,
    K_CONTINUE,
    K_RETURN,
    K_NULL,
    K_FUNCTION,
    K_LOCAL,
    K_FOR,
    K_FOREACH,
    K_IN,
    K_TYPEOF,
    K_BASE,
    K_DELETE,
    K_TRY,
    K_CATCH,
    K_THROW,
    K_CLONE,
    K_YIELD,
    K_RESUME,
    K_SWITCH,
    K_CASE,
    K_DEFAULT,
    K_THIS,
    K_CLASS,
    K_EXTENDS,
    K_CONSTRUCTOR,
    K_INSTANCEOF,
    K_TRUE,
    K_FALSE,
    K_STATIC,
    K_ENUM,
    K_CONST,
    K_LINE,
    K_FILE,
    K_RAWCALL
};

struct KW {
    const char* s;
    int t;
};
const KW keywords[] = {{"while", K_WHILE},
                       {"do", K_DO},
                       {"if", K_IF},
                       {"else", K_ELSE},
                       {"break", K_BREAK},
                       {"continue", K_CONTINUE},
                       {"return", K_RETURN},
                       {"null", K_NULL},
                       {"function", K_FUNCTION},
                       {"local", K_LOCAL},
                       {"for", K_FOR},
                       {"foreach", K_FOREACH},
                       {"in", K_IN},
                       {"typeof", K_TYPEOF},
                       {"base", K_BASE},
                       {"delete", K_DELETE},
                       {"try", K_TRY},
                       {"catch", K_CATCH},
                       {"throw", K_THROW},
                       {"clone", K_CLONE},
                       {"yield", K_YIELD},
                       {"resume", K_RESUME},
                       {"switch", K_SWITCH},
                       {"case", K_CASE},
                       {"default", K_DEFAULT},
                       {"this", K_THIS},
                       {"class", K_CLASS},
                       {"extends", K_EXTENDS},
                       {"constructor", K_CONSTRUCTOR},
                       {"instanceof", K_INSTANCEOF},
                       {"true", K_TRUE},
                       {"false", K_FALSE},
                       {"static", K_STATIC},
                       {"enum", K_ENUM},
                       {"const", K_CONST},
                       {"__LINE__", K_LINE},
                       {"rawcall", K_RAWCALL},
                       {"__FILE__", K_FILE}};

struct CompileError {
    std::string msg;
    SQInteger line, col;
};

class Lexer {
  public:
    // the source ends at a NUL byte, as a C string would
    Lexer(const char* src, SQInteger len)
        : s_(src), n_(SQInteger(strnlen(src, size_t(len < 0 ? 0 : len)))) {}
    int tok = 0;
    bool nlBefore = false;
    SQInteger line = 1, col = 1; // of the current token
    SQInteger ival = 0;
    SQFloat fval = 0;
    std::string sval;

    [[noreturn]] void error(const std::string& m) { throw CompileError{m, cline_, ccol_}; }

    void next() {
        nlBefore = false;
        for (;;) {
            skipSpace();
            line = cline_;
            col = ccol_;
            if (p_ >= n_) {
                tok = T_EOF;
                return;
            }
            // only newlines before the token count, not those inside a verbatim string
            bool nl = nlBefore;
            tok = lex();
            nlBefore = nl;
            if (tok >= 0) return;
        }
    }

  private:
    const char* s_;
    SQInteger n_;
    SQInteger p_ = 0;
    SQInteger cline_ = 1, ccol_ = 1;

    int cur() const { return p_ < n_ ? (unsigned char)s_[p_] : -1; }
    int peek(SQInteger k = 1) const { return p_ + k < n_ ? (unsigned char)s_[p_ + k] : -1; }
    void adv() {
        if (p_ < n_) {
            if (s_[p_] == '\n') {
                ++cline_;
                ccol_ = 1;
                nlBefore = true;
            } else {
                ++ccol_;
            }
            ++p_;
        }
    }
    void skipSpace() {
        for (;;) {
            int c = cur();
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                adv();
            else if (c == '#' || (c == '/' && peek() == '/')) {
                while (cur() != -1 && cur() != '\n') adv();
            } else if (c == '/' && peek() == '*') {
                // newlines inside a block comment do not end a statement
                bool nl = nlBefore;
                adv();
                adv();
                for (;;) {
                    if (cur() == -1) error("missing \"*/\" in comment");
                    if (cur() == '*' && peek() == '/') {
                        adv();
                        adv();
                        break;
                    }
                    adv();
                }
                nlBefore = nl;
            } else
                break;
        }
    }
    static int hexv(int c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    int lexNumber() {
        SQUnsignedInteger v = 0;
        if (cur() == '0' && (peek() == 'x' || peek() == 'X')) {
            adv();
            adv();
            int ndigits = 0;
            while (hexv(cur()) >= 0) {
                if (++ndigits > 16) error("too many digits for an Hex number");
                v = v * 16 + SQUnsignedInteger(hexv(cur()));
                adv();
            }
            ival = SQInteger(v);
            return T_INT;
        }
        SQInteger start = p_;
        bool isFloat = false;
        if (cur() == '0' && peek() >= '0' && peek() <= '7') {
            while (cur() >= '0' && cur() <= '7') {
                v = v * 8 + SQUnsignedInteger(cur() - '0');
                adv();
            }
            ival = SQInteger(v);
            return T_INT;
        }
        // digits, dots and exponents form one token that reads as far as it parses
        // ("1.5.5" is 1.5), as in Squirrel
        for (;;) {
            int c = cur();
            if (c >= '0' && c <= '9') {
                adv();
            } else if (c == '.') {
                isFloat = true;
                adv();
            } else if (c == 'e' || c == 'E') {
                isFloat = true;
                adv();
                if (cur() == '+' || cur() == '-') adv();
                if (!(cur() >= '0' && cur() <= '9')) error("exponent expected");
            } else {
                break;
            }
        }
        std::string txt(s_ + start, size_t(p_ - start));
        if (isFloat) {
            fval = SQFloat(strtod(txt.c_str(), nullptr));
            return T_FLOAT;
        }
        for (char c : txt) v = v * 10 + SQUnsignedInteger(c - '0');
        ival = SQInteger(v);
        return T_INT;
    }
    void appendUtf8(uint32_t cp) {
        if (cp < 0x80) {
            sval += char(cp);
        } else if (cp < 0x800) {
            sval += char(0xC0 | (cp >> 6));
            sval += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            sval += char(0xE0 | (cp >> 12));
            sval += char(0x80 | ((cp >> 6) & 0x3F));
            sval += char(0x80 | (cp & 0x3F));
        } else {
            if (cp > 0x10FFFF) error("invalid unicode code point");
            sval += char(0xF0 | (cp >> 18));
            sval += char(0x80 | ((cp >> 12) & 0x3F));
            sval += char(0x80 | ((cp >> 6) & 0x3F));
            sval += char(0x80 | (cp & 0x3F));
        }
    }
    int lexString(int q, bool verbatim) {
        sval.clear();
        adv();
        for (;;) {
            int c = cur();
            if (c == -1) error("unfinished string");
            if (c == '\n' && !verbatim) error("newline in a constant");
            if (c == q) {
                adv();
                if (verbatim && cur() == q) {
                    sval += char(q);
                    adv();
                    continue;
                }
                break;
            }
            if (c == '\\' && !verbatim) {
                adv();
                int e = cur();
                switch (e) {
                case 't':
                    sval += '\t';
                    adv();
                    break;
                case 'a':
                    sval += '\a';
                    adv();
                    break;
                case 'b':
                    sval += '\b';
                    adv();
                    break;
                case 'n':
                    sval += '\n';
                    adv();
                    break;
                case 'r':
                    sval += '\r';
                    adv();
                    break;
                case 'v':
                    sval += '\v';
                    adv();
                    break;
                case 'f':
                    sval += '\f';
                    adv();
                    break;
                case '0':
                    sval += '\0';
                    adv();
                    break;
                case '\\':
                    sval += '\\';
                    adv();
                    break;
                case '"':
                    sval += '"';
                    adv();
                    break;
                case '\'':
                    sval += '\'';
                    adv();
                    break;
                case 'x': {
                    adv();
                    if (hexv(cur()) < 0) error("hexadecimal number expected");
                    int h = 0;
                    for (int k = 0; k < 2 && hexv(cur()) >= 0; ++k) {
                        h = h * 16 + hexv(cur());
                        adv();
                    }
                    sval += char(h);
                    break;
                }
                case 'u':
                case 'U': {
                    // a code point in hex, written as UTF-8
                    int maxDigits = e == 'u' ? 4 : 8;
                    adv();
                    if (hexv(cur()) < 0) error("hexadecimal number expected");
                    uint32_t cp = 0;
                    for (int k = 0; k < maxDigits && hexv(cur()) >= 0; ++k) {
                        cp = cp * 16 + uint32_t(hexv(cur()));
                        adv();
                    }
                    appendUtf8(cp);
                    break;
                }
                default:
                    error("unrecognised escaper char");
                }
                continue;
            }
            sval += char(c);
            adv();
        }
        if (q == '\'') {
            if (sval.empty()) error("empty constant");
            if (sval.size() > 1) error("constant too long");
            ival = (signed char)sval[0];
            return T_INT;
        }
        return T_STRING;
    }
    int lex() {
        int c = cur();
        if (isalpha(c) || c == '_') {
            SQInteger st = p_;
            while (isalnum(cur()) || cur() == '_') adv();
            sval.assign(s_ + st, size_t(p_ - st));
            for (const KW& k : keywords)
                if (sval == k.s) return k.t;
            return T_IDENT;
        }
        if (c >= '0' && c <= '9') return lexNumber();
        if (c == '"') return lexString('"', false);
        if (c == '\'') return lexString('\'', false);
        if (c == '@' && peek() == '"') {
            adv();
            return lexString('"', true);
        }
        if (c < 32 || c == 127) error("unexpected character(control)");
        adv();
        int d = cur();
        switch (c) {
        case '=':
            if (d == '=') {
                adv();
                return T_EQ;
            }
            return '=';
        case '!':
            if (d == '=') {
                adv();
                return T_NE;
            }
            return '!';
        case '<':
            if (d == '/') {
                adv();
                return T_ATTR_OPEN;
            }
            if (d == '=') {
                adv();
                if (cur() == '>') {
                    adv();
                    return T_CMP3;
                }
                return T_LE;
            }
            if (d == '-') {
                adv();
                return T_NEWSLOT;
            }
            if (d == '<') {
                adv();
                return T_SHL;
            }
            return '<';
        case '>':
            if (d == '=') {
                adv();
                return T_GE;
            }
            if (d == '>') {
                adv();
                if (cur() == '>') {
                    adv();
                    return T_USHR;
                }
                return T_SHR;
            }
            return '>';
        case '&':
            if (d == '&') {
                adv();
                return T_AND;
            }
            return '&';
        case '|':
            if (d == '|') {
                adv();
                return T_OR;
            }
            return '|';
        case '+':
            if (d == '+') {
                adv();
                return T_INC;
            }
            if (d == '=') {
                adv();
                return T_PLUSEQ;
            }
            return '+';
        case '-':
            if (d == '-') {
                adv();
                return T_DEC;
            }
            if (d == '=') {
                adv();
                return T_MINUSEQ;
            }
            return '-';
        case '*':
            if (d == '=') {
                adv();
                return T_MULEQ;
            }
            return '*';
        case '/':
            if (d == '>') {
                adv();
                return T_ATTR_CLOSE;
            }
            if (d == '=') {
                adv();
                return T_DIVEQ;
            }
            return '/';
        case '%':
            if (d == '=') {
                adv();
                return T_MODEQ;
            }
            return '%';
        case ':':
            if (d == ':') {
                adv();
                return T_DCOLON;
            }
            return ':';
        case '.':
            if (d == '.' && peek() == '.') {
                adv();
                adv();
                return T_VARARGS;
            }
            if (d == '.') error("invalid token '..'");
            return '.';
        default:
            return c;
        }
    }
};

enum EK { E_VALUE, E_LOCAL, E_OUTER, E_FIELD, E_FIELDK, E_VAR };
struct Exp {
    EK k = E_VALUE;
    SQInteger idx = 0;
    bool isBase = false;
    bool onThis = false; // a field of `this`: a miss falls back to the root table
};

struct LocalVar {
    Value name;
    SQInteger slot;
    bool captured;
    SQInteger startPc;
};

struct Loop {
    std::vector<SQInteger> breaks, continues;
    SQInteger depth;
    SQInteger tryDepth;
    bool isSwitch;
};

// Constants are interned strings or plain numbers, so type and raw bits identify them.
struct ConstKey {
    SQObjectType type;
    uint64_t raw;
    bool operator==(const ConstKey& o) const { return type == o.type && raw == o.raw; }
};
struct ConstKeyHash {
    size_t operator()(const ConstKey& k) const {
        return std::hash<uint64_t>()(k.raw * 0x9E3779B97F4A7C15ull ^ uint64_t(k.type));
    }
};

const SQInteger MAX_FUNC_STACK = 255;

struct FuncState {
    FuncState* parent = nullptr;
    std::unordered_map<ConstKey, SQInteger, ConstKeyHash> constIndex;
    SQFunctionProto* proto;
    Value protoRef;
    std::vector<LocalVar> locals;
    SQInteger depth = 0, maxDepth = 0;
    std::vector<Loop> loops;
    SQInteger tryDepth = 0;
    SQInteger lastTarget = -1;
};

int op_effect(const Instr& i) {
    switch (i.op) {
    case OP_LOADNULL:
    case OP_LOADTRUE:
    case OP_LOADFALSE:
    case OP_LOADINT:
    case OP_LOADK:
    case OP_GETLOCAL:
    case OP_GETOUTER:
    case OP_LOADROOT:
    case OP_GETVAR:
    case OP_NEWTABLE:
    case OP_NEWARRAY:
    case OP_DUP:
    case OP_GETBASE:
    case OP_CALLEE:
    case OP_PREPCALLK:
    case OP_CLOSURE:
        return 1;
    case OP_SETLOCALP:
    case OP_POP:
    case OP_JZ:
    case OP_JNZ:
    case OP_GET:
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
    case OP_MOD:
    case OP_BAND:
    case OP_BOR:
    case OP_BXOR:
    case OP_SHL:
    case OP_SHR:
    case OP_USHR:
    case OP_EQ:
    case OP_NE:
    case OP_LT:
    case OP_LE:
    case OP_GT:
    case OP_GE:
    case OP_CMP3:
    case OP_IN:
    case OP_INSTANCEOF:
    case OP_APPEND:
    case OP_DELETE:
    case OP_THROW:
    case OP_ANDJ:
    case OP_ORJ:
    case OP_POSTINCF:
        return -1;
    case OP_SET:
    case OP_NEWSLOT:
    case OP_NEWSLOTT:
        return -2;
    case OP_NEWSLOTC:
        return -3;
    case OP_DUP2:
    case OP_GETVART:
    case OP_GETLOCALT:
        return 2;
    case OP_CALL:
        return -int(i.a);
    case OP_RETURN:
        return -int(i.a);
    case OP_YIELD:
        return -int(i.a);
    case OP_NEWCLASS:
        return i.a ? -1 : 0;
    default:
        return 0;
    }
}

class Compiler {
  public:
    Compiler(SQVM* v, const char* src, SQInteger len, const char* source)
        : v_(v), ss_(v->shared), lx_(src, len), source_(sq_mkstr(v->shared, source)) {}

    Value compile() {
        FuncState fs;
        openFunc(fs, sq_mkstr(ss_, "main"));
        addLocal(sq_mkstr(ss_, "this"));
        fs.proto->varargs = true;
        fs.proto->nparams = 1;
        addLocal(sq_mkstr(ss_, "vargv"));
        lx_.next();
        while (lx_.tok != T_EOF) statement();
        emit(OP_RETURN, 0, 0);
        closeFunc();
        SQClosure* c = sq_closure_new(ss_, fs.proto);
        Value r(OT_CLOSURE, c);
        c->root = ss_->roottable;
        return r;
    }

  private:
    SQVM* v_;
    SQSharedState* ss_;
    Lexer lx_;
    Value source_;
    FuncState* fs_ = nullptr;
    SQInteger prevLine_ = 1, prevCol_ = 1;
    int prevTok_ = 0;

    [[noreturn]] void error(const std::string& m) { throw CompileError{m, lx_.line, lx_.col}; }

    void next() {
        prevLine_ = lx_.line;
        prevCol_ = lx_.col;
        prevTok_ = lx_.tok;
        lx_.next();
    }
    static std::string tokName(int t) {
        if (t < 256) return std::string(1, char(t));
        if (t == T_IDENT) return "IDENTIFIER";
        for (const KW& k : keywords)
            if (k.t == t) return k.s;
        return "?";
    }
    void expect(int t) {
        if (lx_.tok != t) {
            if (t == T_IDENT) error("expected 'IDENTIFIER'");
            error("expected '" + tokName(t) + "'");
        }
        next();
    }
    Value expectIdent() {
        if (lx_.tok != T_IDENT) error("expected 'IDENTIFIER'");
        Value s = sq_mkstr(ss_, lx_.sval);
        next();
        return s;
    }

    // ------------------------------------------------------------ code emission
    SQInteger pc() const { return SQInteger(fs_->proto->code.size()); }
    SQInteger emit(int op, int a = 0, SQInteger b = 0, int c = 0) {
        Instr in{uint8_t(op), uint8_t(a), uint16_t(c), int32_t(b)};
        auto& code = fs_->proto->code;
        if (op == OP_POP && !code.empty() && fs_->lastTarget != pc()) {
            Instr& last = code.back();
            if (last.op == OP_SETLOCAL) {
                last.op = OP_SETLOCALP;
                adjust(-1);
                return pc() - 1;
            }
            // `x++` as a statement: the old value is never read
            if (last.op == OP_INCL && code.size() >= 2 && fs_->lastTarget != pc() - 1) {
                Instr& get = code[code.size() - 2];
                if (get.op == OP_GETLOCAL && get.b == last.b) {
                    get = last;
                    code.pop_back();
                    fs_->proto->lines.pop_back();
                    adjust(-1);
                    return pc() - 1;
                }
            }
        }
        if (!code.empty() && fs_->lastTarget != pc()) {
            Instr& last = code.back();
            // compare + conditional jump
            if ((op == OP_JZ || op == OP_JNZ) &&
                (last.op == OP_LT || last.op == OP_LE || last.op == OP_GT || last.op == OP_GE ||
                 last.op == OP_EQ || last.op == OP_NE)) {
                // with a local or constant right operand, its load folds in as well
                SQInteger opnd = code.size() >= 2 && fs_->lastTarget != pc() - 1
                                     ? operandOf(code[code.size() - 2], 0x7FFF)
                                     : -1;
                if (opnd >= 0) {
                    bool local = code[code.size() - 2].op == OP_GETLOCAL;
                    Instr& f = code[code.size() - 2];
                    f.a = last.op;
                    f.op = op == OP_JZ ? (local ? OP_JCMPFL : OP_JCMPFK)
                                       : (local ? OP_JCMPTL : OP_JCMPTK);
                    f.b = int32_t(b);
                    f.c = uint16_t(opnd);
                    code.pop_back();
                    auto& lines = fs_->proto->lines;
                    lines[lines.size() - 2] = lines.back();
                    lines.pop_back();
                    adjust(-1);
                    return pc() - 1;
                }
                last.a = last.op;
                last.op = op == OP_JZ ? OP_JCMPF : OP_JCMPT;
                last.b = int32_t(b);
                adjust(-1);
                return pc() - 1;
            }
            // a global function and the this of its call
            if (op == OP_GETLOCAL && b == 0 && (last.op == OP_GETVAR || last.op == OP_GETLOCAL)) {
                last.op = last.op == OP_GETVAR ? OP_GETVART : OP_GETLOCALT;
                adjust(1);
                return pc() - 1;
            }
            // add or subtract a small constant
            if ((op == OP_ADD || op == OP_SUB) && last.op == OP_LOADINT && last.b > -1000000 &&
                last.b < 1000000) {
                last.op = OP_ADDI;
                last.a = uint8_t(op);
                adjust(-1);
                return pc() - 1;
            }
            // arithmetic and bitwise operators on a local or constant right operand
            bool arith = op == OP_ADD || op == OP_SUB || op == OP_MUL || op == OP_DIV;
            bool bits = op == OP_BAND || op == OP_BOR || op == OP_BXOR || op == OP_SHL ||
                        op == OP_SHR || op == OP_USHR;
            SQInteger opnd = arith || bits ? operandOf(last, INT32_MAX) : -1;
            if (opnd >= 0) {
                bool local = last.op == OP_GETLOCAL;
                if (bits) {
                    last.op = local ? OP_BITL : OP_BITK;
                    last.a = uint8_t(op);
                } else {
                    last.op = uint8_t((local ? OP_ADDL : OP_ADDK) + (op - OP_ADD));
                    last.a = 0;
                }
                last.b = int32_t(opnd);
                fs_->proto->lines.back() = int32_t(prevLine_);
                adjust(-1);
                return pc() - 1;
            }
        }
        code.push_back(in);
        fs_->proto->lines.push_back(int32_t(prevLine_));
        if (op == OP_SETTOP) {
            fs_->depth = b;
        } else {
            adjust(op_effect(in));
        }
        return pc() - 1;
    }
    // the local slot or constant index a load instruction reads, or -1 when it is another
    // instruction or the index does not fit in limit
    SQInteger operandOf(const Instr& in, SQInteger limit) {
        SQInteger k;
        if (in.op == OP_GETLOCAL)
            k = in.b;
        else if (in.op == OP_LOADK)
            k = in.b;
        else if (in.op == OP_LOADINT)
            k = addConst(Value(SQInteger(in.b)));
        else
            return -1;
        return k >= 0 && k <= limit ? k : -1;
    }
    void adjust(SQInteger d) {
        fs_->depth += d;
        if (fs_->depth > fs_->maxDepth) {
            // call argument counts and stack slots are encoded in 8 bits
            if (fs_->depth > MAX_FUNC_STACK) error("internal compiler error: too many locals");
            fs_->maxDepth = fs_->depth;
        }
    }
    void patch(SQInteger at, SQInteger target) { fs_->proto->code[size_t(at)].b = int32_t(target); }
    SQInteger label() {
        fs_->lastTarget = pc();
        return pc();
    }
    SQInteger addConst(const Value& k) {
        auto& cs = fs_->proto->consts;
        ConstKey key{k.type(), k._unVal.raw};
        auto [it, added] = fs_->constIndex.try_emplace(key, SQInteger(cs.size()));
        if (added) cs.push_back(k);
        return it->second;
    }
    void emitConst(const Value& k) {
        if (k.type() == OT_INTEGER && k.i() >= INT32_MIN && k.i() <= INT32_MAX)
            emit(OP_LOADINT, 0, k.i());
        else if (k.type() == OT_NULL)
            emit(OP_LOADNULL);
        else if (k.type() == OT_BOOL)
            emit(k.b() ? OP_LOADTRUE : OP_LOADFALSE);
        else
            emit(OP_LOADK, 0, addConst(k));
    }

    // moves code [from, pc) out for re-emission later (loop conditions and increments)
    struct CodeBlock {
        std::vector<Instr> code;
        std::vector<int32_t> lines;
        SQInteger from;
    };
    // where a block that will be cut starts: its first instruction must not fuse with the one
    // before it, which stays behind
    SQInteger blockStart() {
        fs_->lastTarget = pc();
        return pc();
    }
    CodeBlock cut(SQInteger from) {
        CodeBlock b;
        auto& code = fs_->proto->code;
        auto& lines = fs_->proto->lines;
        b.code.assign(code.begin() + long(from), code.end());
        b.lines.assign(lines.begin() + long(from), lines.end());
        b.from = from;
        code.resize(size_t(from));
        lines.resize(size_t(from));
        return b;
    }
    void paste(const CodeBlock& b) {
        SQInteger delta = pc() - b.from;
        SQInteger end = b.from + SQInteger(b.code.size());
        bool endIsTarget = false;
        for (size_t i = 0; i < b.code.size(); ++i) {
            Instr in = b.code[i];
            switch (in.op) {
            case OP_JMP:
            case OP_JZ:
            case OP_JNZ:
            case OP_ANDJ:
            case OP_ORJ:
            case OP_TRY:
            case OP_FOREACH:
            case OP_JCMPF:
            case OP_JCMPT:
            case OP_JCMPFL:
            case OP_JCMPTL:
            case OP_JCMPFK:
            case OP_JCMPTK:
                if (in.b >= b.from && in.b <= end) in.b += int32_t(delta);
                if (in.b == end + delta) endIsTarget = true;
                break;
            default:
                break;
            }
            fs_->proto->code.push_back(in);
            fs_->proto->lines.push_back(b.lines[i]);
        }
        // what follows may fuse with the block's last instruction unless a jump lands between
        if (endIsTarget || b.code.empty()) fs_->lastTarget = pc();
    }

    // ------------------------------------------------------------ functions and scopes
    void openFunc(FuncState& fs, const Value& name) {
        fs.parent = fs_;
        fs.proto = sq_proto_new(ss_);
        fs.protoRef = Value(OT_FUNCPROTO, fs.proto);
        fs.proto->name = name;
        fs.proto->source = source_;
        fs.proto->line = lx_.line;
        fs_ = &fs;
    }
    void closeFunc() {
        SQFunctionProto* p = fs_->proto;
        for (auto& l : fs_->locals) {
            LocalInfo li{l.name, l.startPc, pc(), l.slot};
            p->locals.push_back(li);
        }
        p->stacksize = fs_->maxDepth + 4;
        fs_ = fs_->parent;
    }
    SQInteger addLocal(const Value& name) {
        adjust(1);
        return declareTop(name);
    }
    // declares a local for the value on top of the stack
    SQInteger declareTop(const Value& name) {
        LocalVar l{name, fs_->depth - 1, false, pc()};
        fs_->locals.push_back(l);
        return l.slot;
    }
    SQInteger scopeStart() const { return SQInteger(fs_->locals.size()); }
    void scopeEnd(SQInteger nlocals) {
        if (SQInteger(fs_->locals.size()) <= nlocals) return;
        bool captured = false;
        SQInteger firstSlot = fs_->locals[size_t(nlocals)].slot;
        for (size_t i = size_t(nlocals); i < fs_->locals.size(); ++i)
            captured |= fs_->locals[i].captured;
        if (captured) emit(OP_CLOSE, 0, firstSlot);
        for (size_t i = size_t(nlocals); i < fs_->locals.size(); ++i) {
            auto& l = fs_->locals[i];
            fs_->proto->locals.push_back(LocalInfo{l.name, l.startPc, pc(), l.slot});
        }
        fs_->locals.resize(size_t(nlocals));
        emit(OP_SETTOP, 0, firstSlot);
    }

    SQInteger findLocal(FuncState* fs, const Value& name) {
        for (SQInteger i = SQInteger(fs->locals.size()) - 1; i >= 0; --i)
            if (fs->locals[size_t(i)].name.sameAs(name)) return i;
        return -1;
    }
    SQInteger findOuter(FuncState* fs, const Value& name) {
        if (!fs->parent) return -1;
        auto& outs = fs->proto->outers;
        for (size_t i = 0; i < outs.size(); ++i)
            if (outs[i].name.sameAs(name)) return SQInteger(i);
        SQInteger li = findLocal(fs->parent, name);
        if (li >= 0) {
            fs->parent->locals[size_t(li)].captured = true;
            outs.push_back(OuterInfo{true, fs->parent->locals[size_t(li)].slot, name});
            return SQInteger(outs.size() - 1);
        }
        SQInteger oi = findOuter(fs->parent, name);
        if (oi < 0) return -1;
        outs.push_back(OuterInfo{false, oi, name});
        return SQInteger(outs.size() - 1);
    }
    bool findConst(const Value& name, Value& out) {
        if (ss_->consttable.type() != OT_TABLE) return false;
        if (Value* p = sq_table_find(ss_->consttable.tab(), name)) {
            out = *p;
            return true;
        }
        return false;
    }

    // ------------------------------------------------------------ statements
    bool endOfStatement() const {
        return lx_.nlBefore || lx_.tok == T_EOF || lx_.tok == '}' || lx_.tok == ';';
    }
    void optSemicolon() {
        if (lx_.tok == ';' && nesting_ != keepSemicolonAt_) {
            next();
            return;
        }
        // a statement may follow a closing brace (of a function literal, say) directly
        if (!endOfStatement() && prevTok_ != '}') error("end of statement expected (; or lf)");
    }

    void statement() {
        DepthGuard g(nesting_);
        checkNesting();
        switch (lx_.tok) {
        case ';':
            next();
            return;
        case K_IF:
            ifStatement();
            return;
        case K_WHILE:
            whileStatement();
            return;
        case K_DO:
            doStatement();
            return;
        case K_FOR:
            forStatement();
            return;
        case K_FOREACH:
            foreachStatement();
            return;
        case K_SWITCH:
            switchStatement();
            return;
        case K_LOCAL:
            localStatement();
            return;
        case K_RETURN:
        case K_YIELD: {
            bool isYield = lx_.tok == K_YIELD;
            next();
            if (isYield) fs_->proto->generator = true;
            if (!endOfStatement()) {
                commaExpr();
                // a returned call outside try is a tail call: its caller's frame is gone for
                // stack inspection, which is what getstackinfos reports
                auto& code = fs_->proto->code;
                if (!isYield && fs_->tryDepth == 0 && !fs_->proto->generator && !code.empty() &&
                    code.back().op == OP_CALL && fs_->lastTarget != pc())
                    code.back().c = 1;
                emit(isYield ? OP_YIELD : OP_RETURN, 1);
            } else {
                emit(isYield ? OP_YIELD : OP_RETURN, 0);
            }
            optSemicolon();
            return;
        }
        case K_BREAK:
        case K_CONTINUE: {
            bool brk = lx_.tok == K_BREAK;
            Loop* loop = nullptr;
            for (SQInteger i = SQInteger(fs_->loops.size()) - 1; i >= 0; --i) {
                Loop& l = fs_->loops[size_t(i)];
                if (brk || !l.isSwitch) {
                    loop = &l;
                    break;
                }
            }
            if (!loop)
                error(brk ? "'break' has to be in a loop block"
                          : "'continue' has to be in a loop block");
            next();
            if (fs_->tryDepth > loop->tryDepth)
                emit(OP_POPTRY, int(fs_->tryDepth - loop->tryDepth));
            SQInteger saved = fs_->depth;
            if (fs_->depth > loop->depth) {
                emit(OP_CLOSE, 0, loop->depth);
                emit(OP_SETTOP, 0, loop->depth);
            }
            SQInteger j = emit(OP_JMP, 0, 0);
            fs_->depth = saved;
            (brk ? loop->breaks : loop->continues).push_back(j);
            optSemicolon();
            return;
        }
        case K_FUNCTION:
            functionStatement();
            return;
        case K_CLASS:
            classStatement();
            return;
        case K_ENUM:
            enumStatement();
            return;
        case K_CONST:
            constStatement();
            return;
        case '{': {
            next();
            SQInteger sc = scopeStart();
            while (lx_.tok != '}') statement(); // at the end of input: "expression expected"
            next();
            scopeEnd(sc);
            return;
        }
        case K_TRY:
            tryStatement();
            return;
        case K_THROW:
            next();
            commaExpr();
            emit(OP_THROW);
            optSemicolon();
            return;
        default:
            commaExpr();
            emit(OP_POP);
            optSemicolon();
            return;
        }
    }

    void blockOrStatement() {
        SQInteger sc = scopeStart();
        statement();
        scopeEnd(sc);
    }

    void ifStatement() {
        next();
        expect('(');
        commaExpr();
        expect(')');
        SQInteger jz = emit(OP_JZ);
        blockOrStatement();
        if (lx_.tok == K_ELSE) {
            SQInteger jmp = emit(OP_JMP);
            patch(jz, label());
            next();
            blockOrStatement();
            patch(jmp, label());
        } else {
            patch(jz, label());
        }
    }

    void beginLoop(bool isSwitch = false) {
        fs_->loops.push_back(Loop{{}, {}, fs_->depth, fs_->tryDepth, isSwitch});
    }
    void endLoop(SQInteger breakTarget, SQInteger contTarget) {
        Loop l = fs_->loops.back();
        fs_->loops.pop_back();
        for (SQInteger j : l.breaks) patch(j, breakTarget);
        for (SQInteger j : l.continues) {
            if (contTarget < 0)
                fs_->loops.back().continues.push_back(j);
            else
                patch(j, contTarget);
        }
    }

    void whileStatement() {
        next();
        expect('(');
        SQInteger condStart = blockStart();
        commaExpr();
        expect(')');
        CodeBlock cond = cut(condStart);
        adjust(-1);
        SQInteger jmp = emit(OP_JMP);
        SQInteger body = label();
        beginLoop();
        blockOrStatement();
        SQInteger condAt = label();
        patch(jmp, condAt);
        paste(cond);
        adjust(1);
        emit(OP_JNZ, 0, body);
        endLoop(label(), condAt);
    }

    // a single-statement body of do or try leaves its ';' in front of 'while' or 'catch'
    void bodyBeforeKeyword() {
        int saved = keepSemicolonAt_;
        keepSemicolonAt_ = nesting_ + 1;
        blockOrStatement();
        keepSemicolonAt_ = saved;
    }
    void doStatement() {
        next();
        SQInteger body = label();
        beginLoop();
        bodyBeforeKeyword();
        expect(K_WHILE);
        expect('(');
        SQInteger condAt = label();
        commaExpr();
        expect(')');
        emit(OP_JNZ, 0, body);
        endLoop(label(), condAt);
    }

    void forStatement() {
        next();
        expect('(');
        SQInteger sc = scopeStart();
        if (lx_.tok == K_LOCAL)
            localStatementNoEnd();
        else if (lx_.tok != ';') {
            commaExpr();
            emit(OP_POP);
        }
        expect(';');
        SQInteger condStart = blockStart();
        bool hasCond = lx_.tok != ';';
        if (hasCond) commaExpr();
        expect(';');
        CodeBlock cond = cut(condStart);
        if (hasCond) adjust(-1);
        SQInteger incStart = blockStart();
        bool hasInc = lx_.tok != ')';
        if (hasInc) {
            commaExpr();
            emit(OP_POP);
        }
        expect(')');
        CodeBlock inc = cut(incStart);
        SQInteger jmp = emit(OP_JMP);
        SQInteger body = label();
        beginLoop();
        blockOrStatement();
        SQInteger contAt = label();
        paste(inc);
        SQInteger condAt = label();
        patch(jmp, condAt);
        if (hasCond) {
            paste(cond);
            adjust(1);
            emit(OP_JNZ, 0, body);
        } else {
            emit(OP_JMP, 0, body);
        }
        endLoop(label(), contAt);
        scopeEnd(sc);
    }

    void foreachStatement() {
        next();
        expect('(');
        Value k = expectIdent(), val;
        bool two = false;
        if (lx_.tok == ',') {
            next();
            val = expectIdent();
            two = true;
        }
        expect(K_IN);
        SQInteger sc = scopeStart();
        commaExpr();
        expect(')');
        SQInteger cslot = fs_->depth - 1;
        declareTop(sq_mkstr(ss_, "@container"));
        emit(OP_LOADNULL);
        declareTop(sq_mkstr(ss_, "@iterator"));
        emit(OP_LOADNULL);
        declareTop(two ? k : sq_mkstr(ss_, "@index"));
        emit(OP_LOADNULL);
        declareTop(two ? val : k);
        SQInteger top = label();
        SQInteger fe = emit(OP_FOREACH, 0, 0, int(cslot));
        beginLoop();
        blockOrStatement();
        emit(OP_JMP, 0, top);
        SQInteger exitAt = label();
        patch(fe, exitAt);
        endLoop(exitAt, top);
        scopeEnd(sc);
    }

    void switchStatement() {
        next();
        expect('(');
        SQInteger sc = scopeStart();
        commaExpr();
        expect(')');
        SQInteger tmp = declareTop(sq_mkstr(ss_, "@switch"));
        expect('{');
        beginLoop(true);
        SQInteger pendingTest = -1, pendingFall = -1;
        SQInteger baseDepth = fs_->depth;
        while (lx_.tok == K_CASE) {
            next();
            if (pendingTest >= 0) patch(pendingTest, label());
            emit(OP_GETLOCAL, 0, tmp);
            Exp ce = expression();
            discharge(ce);
            expect(':');
            emit(OP_EQ);
            pendingTest = emit(OP_JZ);
            if (pendingFall >= 0) patch(pendingFall, label());
            SQInteger bsc = scopeStart();
            while (lx_.tok != K_CASE && lx_.tok != K_DEFAULT && lx_.tok != '}') {
                if (lx_.tok == T_EOF) error("expected '}'");
                statement();
            }
            scopeEnd(bsc);
            fs_->depth = baseDepth;
            pendingFall = emit(OP_JMP);
        }
        if (pendingTest >= 0) patch(pendingTest, label());
        if (pendingFall >= 0) patch(pendingFall, label());
        if (lx_.tok == K_DEFAULT) {
            next();
            expect(':');
            SQInteger bsc = scopeStart();
            while (lx_.tok != '}' && lx_.tok != K_CASE && lx_.tok != K_DEFAULT) {
                if (lx_.tok == T_EOF) error("expected '}'");
                statement();
            }
            scopeEnd(bsc);
        }
        expect('}');
        SQInteger endAt = label();
        endLoop(endAt, -1);
        scopeEnd(sc);
    }

    void localStatementNoEnd() {
        next();
        if (lx_.tok == K_FUNCTION) {
            next();
            // the name is declared after the body: inside it, the name means an outer one
            Value name = expectIdent();
            functionBody(name, false);
            declareTop(name);
            return;
        }
        for (;;) {
            Value name = expectIdent();
            if (lx_.tok == '=') {
                next();
                Exp e = expression();
                discharge(e);
            } else {
                emit(OP_LOADNULL);
            }
            declareTop(name);
            if (lx_.tok != ',') break;
            next();
        }
    }
    void localStatement() {
        localStatementNoEnd();
        optSemicolon();
    }

    void functionStatement() {
        next();
        Value name = expectIdent();
        Exp e;
        // function a::b::c(): the last name is the slot
        emit(OP_GETLOCAL, 0, 0);
        bool first = true;
        while (lx_.tok == T_DCOLON) {
            if (first) {
                fs_->depth--;
                fs_->proto->code.pop_back();
                fs_->proto->lines.pop_back();
                Exp b = resolveName(name);
                discharge(b);
                first = false;
            } else {
                emit(OP_GETK, 0, addConst(name));
            }
            next();
            name = expectIdent();
        }
        emit(OP_LOADK, 0, addConst(name));
        functionBody(name, false);
        emit(OP_NEWSLOT);
        emit(OP_POP);
    }

    void classStatement() {
        next();
        if (lx_.tok == T_EOF) error("expression expected");
        if (lx_.tok != T_IDENT) error("invalid class name");
        Value name = expectIdent();
        Exp target = resolveName(name);
        if (target.k == E_LOCAL || target.k == E_OUTER)
            error("cannot create a class in a local with the syntax(class <local>)");
        if (lx_.tok == '.') {
            discharge(target);
            while (lx_.tok == '.') {
                next();
                name = expectIdent();
                if (lx_.tok == '.') emit(OP_GETK, 0, addConst(name));
            }
        } else {
            emit(OP_GETLOCAL, 0, 0);
        }
        emit(OP_LOADK, 0, addConst(name));
        classBody();
        emit(OP_NEWSLOT);
        emit(OP_POP);
    }

    // class and member attributes (</ name = value, ... />): a table, or null without any
    void attributes() {
        if (lx_.tok != T_ATTR_OPEN) {
            emit(OP_LOADNULL);
            return;
        }
        next();
        emit(OP_NEWTABLE);
        while (lx_.tok != T_ATTR_CLOSE) {
            if (lx_.tok == T_EOF) error("expected '/>'");
            Value key;
            if (lx_.tok == T_STRING) {
                key = sq_mkstr(ss_, lx_.sval);
                next();
            } else {
                key = expectIdent();
            }
            emit(OP_LOADK, 0, addConst(key));
            expect('=');
            Exp e = expression();
            discharge(e);
            emit(OP_NEWSLOTT);
            if (lx_.tok == ',') next();
        }
        next();
    }

    void classBody() {
        bool hasBase = false;
        if (lx_.tok == K_EXTENDS) {
            next();
            Exp b = expression();
            discharge(b);
            hasBase = true;
        }
        attributes();
        emit(OP_NEWCLASS, hasBase ? 1 : 0);
        expect('{');
        while (lx_.tok != '}') {
            attributes();
            bool isStatic = false;
            if (lx_.tok == K_STATIC) {
                isStatic = true;
                next();
            }
            if (lx_.tok == K_FUNCTION) {
                next();
                Value name = expectIdent();
                emit(OP_LOADK, 0, addConst(name));
                functionBody(name, false);
            } else if (lx_.tok == K_CONSTRUCTOR) {
                next();
                Value name = sq_mkstr(ss_, "constructor");
                emit(OP_LOADK, 0, addConst(name));
                functionBody(name, false);
            } else if (lx_.tok == '[') {
                next();
                Exp k = expression();
                discharge(k);
                expect(']');
                expect('=');
                Exp e = expression();
                discharge(e);
            } else {
                Value name = expectIdent();
                emit(OP_LOADK, 0, addConst(name));
                expect('=');
                Exp e = expression();
                discharge(e);
            }
            emit(OP_NEWSLOTC, isStatic ? 1 : 0);
            if (lx_.tok == ';') next();
        }
        next();
        emit(OP_CLASSDONE);
    }

    Value scalarConst() {
        bool neg = false;
        if (lx_.tok == '-') {
            neg = true;
            next();
        }
        Value r;
        switch (lx_.tok) {
        case T_INT:
            r = Value(neg ? SQInteger(0 - SQUnsignedInteger(lx_.ival)) : lx_.ival);
            break;
        case T_FLOAT:
            r = Value(neg ? -lx_.fval : lx_.fval);
            break;
        case T_STRING:
            if (neg) error("scalar expected : integer, float");
            r = sq_mkstr(ss_, lx_.sval);
            break;
        case K_TRUE:
            r = Value(true);
            break;
        case K_FALSE:
            r = Value(false);
            break;
        default:
            error("scalar expected : integer, float, or string");
        }
        next();
        return r;
    }

    void constStatement() {
        next();
        Value name = expectIdent();
        expect('=');
        Value val = scalarConst();
        sq_table_set(ss_->consttable.tab(), name, val);
        optSemicolon();
    }

    void enumStatement() {
        next();
        Value name = expectIdent();
        SQTable* t = sq_table_new(ss_);
        Value tv(OT_TABLE, t);
        expect('{');
        SQInteger n = 0;
        while (lx_.tok != '}') {
            Value k = expectIdent();
            Value val;
            if (lx_.tok == '=') {
                next();
                val = scalarConst();
            } else {
                val = Value(n++);
            }
            sq_table_set(t, k, val);
            if (lx_.tok == ',') next();
        }
        next();
        sq_table_set(ss_->consttable.tab(), name, tv);
    }

    void tryStatement() {
        next();
        SQInteger tr = emit(OP_TRY);
        fs_->tryDepth++;
        bodyBeforeKeyword();
        fs_->tryDepth--;
        emit(OP_POPTRY, 1);
        SQInteger jmp = emit(OP_JMP);
        expect(K_CATCH);
        expect('(');
        Value name = expectIdent();
        expect(')');
        patch(tr, label());
        SQInteger sc = scopeStart();
        adjust(1);
        declareTop(name);
        blockOrStatement();
        scopeEnd(sc);
        patch(jmp, label());
    }

    // parses parameters and body; emits the closure into the current (parent) function
    void functionBody(const Value& name, bool lambda) {
        // function name[env](...): the closure is bound to env once created; env is written
        // before the parameters but evaluated after the closure exists
        bool hasEnv = false;
        CodeBlock envCode;
        if (!lambda && lx_.tok == '[') {
            next();
            SQInteger from = blockStart();
            Exp en = expression();
            discharge(en);
            expect(']');
            envCode = cut(from);
            adjust(-1);
            hasEnv = true;
        }
        FuncState fs;
        FuncState* parent = fs_;
        openFunc(fs, name);
        addLocal(sq_mkstr(ss_, "this"));
        expect('(');
        SQInteger ndef = 0;
        while (lx_.tok != ')') {
            if (lx_.tok == T_VARARGS) {
                if (ndef > 0)
                    error("function with default parameters cannot have variable number of "
                          "parameters");
                next();
                fs.proto->varargs = true;
                adjust(1);
                declareTop(sq_mkstr(ss_, "vargv"));
                if (lx_.tok != ')') error("expected ')'");
                break;
            }
            Value pname = expectIdent();
            adjust(1);
            declareTop(pname);
            fs.proto->nparams++;
            fs.proto->paramNames.push_back(pname);
            if (lx_.tok == '=') {
                next();
                fs_ = parent;
                Exp d = expression();
                discharge(d);
                fs_ = &fs;
                ndef++;
            } else if (ndef > 0) {
                error("expected '='");
            }
            if (lx_.tok == ',')
                next();
            else if (lx_.tok != ')')
                error("expected ')' or ','");
        }
        next();
        fs.proto->ndefaults = ndef;
        if (lambda) {
            Exp e = expression();
            discharge(e);
            emit(OP_RETURN, 1);
        } else {
            // the body is one statement, usually a block
            statement();
            emit(OP_RETURN, 0);
        }
        closeFunc();
        parent->proto->children.push_back(fs.proto);
        sq_incref(fs.proto);
        emit(OP_CLOSURE, 0, SQInteger(parent->proto->children.size() - 1));
        adjust(-ndef);
        if (hasEnv) {
            emit(OP_PREPCALLK, 0, addConst(sq_mkstr(ss_, "bindenv")));
            paste(envCode);
            adjust(1);
            emit(OP_CALL, 2);
        }
    }

    // ------------------------------------------------------------ expressions
    void discharge(Exp& e) {
        switch (e.k) {
        case E_VALUE:
            break;
        case E_LOCAL:
            emit(OP_GETLOCAL, 0, e.idx);
            break;
        case E_OUTER:
            emit(OP_GETOUTER, 0, e.idx);
            break;
        case E_FIELD:
            emit(OP_GET, e.onThis);
            break;
        case E_FIELDK:
            emit(OP_GETK, e.onThis, e.idx);
            break;
        case E_VAR:
            emit(OP_GETVAR, 0, e.idx);
            break;
        }
        e.k = E_VALUE;
    }

    void commaExpr() {
        Exp e = expression();
        discharge(e);
        while (lx_.tok == ',') {
            next();
            emit(OP_POP);
            Exp f = expression();
            discharge(f);
        }
    }

    static int compoundOp(int t) {
        switch (t) {
        case T_PLUSEQ:
            return OP_ADD;
        case T_MINUSEQ:
            return OP_SUB;
        case T_MULEQ:
            return OP_MUL;
        case T_DIVEQ:
            return OP_DIV;
        case T_MODEQ:
            return OP_MOD;
        default:
            return -1;
        }
    }

    struct DepthGuard {
        int& d;
        explicit DepthGuard(int& x) : d(x) { ++d; }
        ~DepthGuard() { --d; }
    };
    int nesting_ = 0;
    int keepSemicolonAt_ = -1;
    void checkNesting() {
        if (nesting_ > 700) error("expression or block nested too deeply");
    }

    Exp expression() {
        DepthGuard g(nesting_);
        checkNesting();
        Exp e = ternary();
        int t = lx_.tok;
        if (t == '=' || t == T_NEWSLOT || compoundOp(t) >= 0) {
            if (e.isBase && e.k == E_VALUE) error("'base' cannot be modified");
            if (e.k == E_VALUE || e.isBase) error("can't assign expression");
            next();
            if (t == T_NEWSLOT && (e.k == E_LOCAL || e.k == E_OUTER)) {
                expression();
                error("can't 'create' a local slot");
            }
            if (t == T_NEWSLOT) {
                if (e.k == E_VAR) {
                    emit(OP_GETLOCAL, 0, 0);
                    emit(OP_LOADK, 0, e.idx);
                } else if (e.k == E_FIELDK) {
                    emit(OP_LOADK, 0, e.idx);
                } else if (e.k != E_FIELD) {
                    error("can't assign expression");
                }
                Exp r = expression();
                discharge(r);
                emit(OP_NEWSLOT);
                return Exp{};
            }
            int op = compoundOp(t);
            switch (e.k) {
            case E_LOCAL:
            case E_OUTER: {
                if (op >= 0) emit(e.k == E_LOCAL ? OP_GETLOCAL : OP_GETOUTER, 0, e.idx);
                Exp r = expression();
                discharge(r);
                if (op >= 0) emit(op);
                emit(e.k == E_LOCAL ? OP_SETLOCAL : OP_SETOUTER, 0, e.idx);
                break;
            }
            case E_VAR: {
                if (op >= 0) emit(OP_GETVAR, 0, e.idx);
                Exp r = expression();
                discharge(r);
                if (op >= 0) emit(op);
                emit(OP_SETVAR, 0, e.idx);
                break;
            }
            case E_FIELDK:
            case E_FIELD: {
                if (e.k == E_FIELDK) emit(OP_LOADK, 0, e.idx);
                if (op >= 0) {
                    emit(OP_DUP2);
                    emit(OP_GET);
                }
                Exp r = expression();
                discharge(r);
                if (op >= 0) emit(op);
                emit(OP_SET);
                break;
            }
            default:
                break;
            }
            return Exp{};
        }
        return e;
    }

    Exp ternary() {
        Exp e = logicalOr();
        if (lx_.tok != '?') return e;
        discharge(e);
        next();
        SQInteger jz = emit(OP_JZ);
        SQInteger d = fs_->depth;
        Exp a = expression();
        discharge(a);
        SQInteger jmp = emit(OP_JMP);
        expect(':');
        patch(jz, label());
        fs_->depth = d;
        Exp b = expression();
        discharge(b);
        patch(jmp, label());
        return Exp{};
    }

    Exp logicalOr() {
        Exp e = logicalAnd();
        while (lx_.tok == T_OR) {
            discharge(e);
            next();
            SQInteger j = emit(OP_ORJ);
            Exp r = logicalAnd();
            discharge(r);
            patch(j, label());
        }
        return e;
    }
    Exp logicalAnd() {
        Exp e = bitOr();
        while (lx_.tok == T_AND) {
            discharge(e);
            next();
            SQInteger j = emit(OP_ANDJ);
            Exp r = bitOr();
            discharge(r);
            patch(j, label());
        }
        return e;
    }
    template <typename F>
    Exp binary(F sub, std::initializer_list<std::pair<int, int>> ops) {
        Exp e = (this->*sub)();
        for (;;) {
            int op = -1;
            for (auto& p : ops)
                if (lx_.tok == p.first) op = p.second;
            if (op < 0) return e;
            discharge(e);
            next();
            Exp r = (this->*sub)();
            discharge(r);
            emit(op);
        }
    }
    Exp bitOr() { return binary(&Compiler::bitXor, {{'|', OP_BOR}}); }
    Exp bitXor() { return binary(&Compiler::bitAnd, {{'^', OP_BXOR}}); }
    Exp bitAnd() { return binary(&Compiler::equality, {{'&', OP_BAND}}); }
    Exp equality() {
        return binary(&Compiler::comparison, {{T_EQ, OP_EQ}, {T_NE, OP_NE}, {T_CMP3, OP_CMP3}});
    }
    Exp comparison() {
        return binary(&Compiler::shift, {{'<', OP_LT},
                                         {'>', OP_GT},
                                         {T_LE, OP_LE},
                                         {T_GE, OP_GE},
                                         {K_IN, OP_IN},
                                         {K_INSTANCEOF, OP_INSTANCEOF}});
    }
    Exp shift() {
        return binary(&Compiler::additive, {{T_SHL, OP_SHL}, {T_SHR, OP_SHR}, {T_USHR, OP_USHR}});
    }
    Exp additive() { return binary(&Compiler::multiplicative, {{'+', OP_ADD}, {'-', OP_SUB}}); }
    Exp multiplicative() {
        return binary(&Compiler::unary, {{'*', OP_MUL}, {'/', OP_DIV}, {'%', OP_MOD}});
    }

    void incTarget(Exp& e, bool dec, bool postfix) {
        int a = dec ? 1 : 0;
        switch (e.k) {
        case E_LOCAL:
            if (postfix) {
                emit(OP_GETLOCAL, 0, e.idx);
                emit(OP_INCL, a, e.idx);
            } else {
                emit(OP_INCL, a, e.idx);
                emit(OP_GETLOCAL, 0, e.idx);
            }
            break;
        case E_OUTER:
        case E_VAR: {
            int get = e.k == E_OUTER ? OP_GETOUTER : OP_GETVAR;
            int set = e.k == E_OUTER ? OP_SETOUTER : OP_SETVAR;
            emit(get, 0, e.idx);
            if (postfix) emit(OP_DUP);
            emit(OP_INC, a);
            emit(set, 0, e.idx);
            if (postfix) emit(OP_POP);
            break;
        }
        case E_FIELDK:
        case E_FIELD:
            if (e.k == E_FIELDK) emit(OP_LOADK, 0, e.idx);
            if (postfix) {
                emit(OP_POSTINCF, a);
            } else {
                emit(OP_DUP2);
                emit(OP_GET);
                emit(OP_INC, a);
                emit(OP_SET);
            }
            break;
        default:
            error("can't '++' or '--' an expression");
        }
        e = Exp{};
    }

    Exp unary() {
        // prefix chains recurse here without passing through expression()
        DepthGuard g(nesting_);
        checkNesting();
        switch (lx_.tok) {
        case '-': {
            next();
            Exp e = unary();
            discharge(e);
            auto& code = fs_->proto->code;
            Instr& last = code.back();
            if (fs_->lastTarget != pc() && last.op == OP_LOADINT && last.b != INT32_MIN) {
                last.b = -last.b;
            } else if (fs_->lastTarget != pc() && last.op == OP_LOADK &&
                       sq_isnumeric(fs_->proto->consts[size_t(last.b)])) {
                Value k = fs_->proto->consts[size_t(last.b)];
                Value n = k.type() == OT_INTEGER ? Value(SQInteger(0 - SQUnsignedInteger(k.i())))
                                                 : Value(-k.f());
                last.b = int32_t(addConst(n));
            } else {
                emit(OP_UNM);
            }
            return Exp{};
        }
        case '!':
            next();
            {
                Exp e = unary();
                discharge(e);
                emit(OP_NOT);
            }
            return Exp{};
        case '~':
            next();
            {
                Exp e = unary();
                discharge(e);
                emit(OP_BNOT);
            }
            return Exp{};
        case K_TYPEOF:
            next();
            {
                Exp e = unary();
                discharge(e);
                emit(OP_TYPEOF);
            }
            return Exp{};
        case K_CLONE:
            next();
            {
                Exp e = unary();
                discharge(e);
                emit(OP_CLONE);
            }
            return Exp{};
        case K_RESUME:
            next();
            {
                Exp e = unary();
                discharge(e);
                emit(OP_RESUME);
            }
            return Exp{};
        case T_INC:
        case T_DEC: {
            bool dec = lx_.tok == T_DEC;
            next();
            Exp e = unary();
            incTarget(e, dec, false);
            return e;
        }
        case K_DELETE: {
            next();
            Exp e = unary();
            switch (e.k) {
            case E_FIELDK:
                emit(OP_LOADK, 0, e.idx);
                break;
            case E_FIELD:
                break;
            case E_VAR:
                emit(OP_GETLOCAL, 0, 0);
                emit(OP_LOADK, 0, e.idx);
                break;
            case E_LOCAL:
            case E_OUTER:
                error("cannot delete an (outer) local");
            default:
                error("can't delete an expression");
            }
            emit(OP_DELETE);
            return Exp{};
        }
        default:
            return postfix();
        }
    }

    Exp resolveName(const Value& name) {
        Exp e;
        SQInteger li = findLocal(fs_, name);
        if (li >= 0) {
            e.k = E_LOCAL;
            e.idx = fs_->locals[size_t(li)].slot;
            return e;
        }
        SQInteger oi = findOuter(fs_, name);
        if (oi >= 0) {
            e.k = E_OUTER;
            e.idx = oi;
            return e;
        }
        Value c;
        if (findConst(name, c)) {
            // enums are tables of constants resolved here: only Enum.Member is an expression
            if (c.type() == OT_TABLE) {
                if (lx_.tok != '.') error("expected '.'");
                next();
                Value member = expectIdent();
                Value* p = sq_table_find(c.tab(), member);
                if (!p)
                    error("invalid constant [" + sq_raw_str(name) + "." + sq_raw_str(member) + "]");
                c = *p;
            }
            emitConst(c);
            return e;
        }
        e.k = E_VAR;
        e.idx = addConst(name);
        return e;
    }

    // arguments up to close; the commas between them are optional
    SQInteger callArgs(int close) {
        SQInteger n = 0;
        while (lx_.tok != close) {
            Exp a = expression();
            discharge(a);
            ++n;
            if (lx_.tok == ',') {
                next();
                if (lx_.tok == close) error("expression expected, found ')'");
            }
        }
        next();
        return n;
    }

    // f() { a = 1, [k] = 2 }: assigns existing slots of the call's result
    void callInitializer() {
        next();
        while (lx_.tok != '}') {
            emit(OP_DUP);
            if (lx_.tok == '[') {
                next();
                commaExpr();
                expect(']');
            } else {
                emit(OP_LOADK, 0, addConst(expectIdent()));
            }
            expect('=');
            Exp x = expression();
            discharge(x);
            emit(OP_SET);
            emit(OP_POP);
            if (lx_.tok == ',') next();
        }
        next();
    }

    Exp postfix() {
        Exp e = primary();
        for (;;) {
            switch (lx_.tok) {
            case '.': {
                next();
                bool onThis = e.k == E_LOCAL && e.idx == 0;
                discharge(e);
                Value name;
                if (lx_.tok == K_CONSTRUCTOR) {
                    name = sq_mkstr(ss_, "constructor");
                    next();
                } else {
                    name = expectIdent();
                }
                bool isBase = e.isBase;
                e = Exp{E_FIELDK, addConst(name), false};
                e.isBase = isBase;
                e.onThis = onThis;
                break;
            }
            case '[': {
                if (lx_.nlBefore)
                    error("cannot break deref/or comma needed after [exp]=exp slot declaration");
                next();
                bool onThis = e.k == E_LOCAL && e.idx == 0;
                discharge(e);
                commaExpr();
                expect(']');
                e = Exp{E_FIELD, 0, false};
                e.onThis = onThis;
                break;
            }
            case '(': {
                next();
                if (e.k == E_FIELDK && !e.isBase)
                    emit(OP_PREPCALLK, e.onThis, e.idx);
                else if (e.k == E_FIELD)
                    emit(OP_PREPCALL, e.onThis);
                else {
                    discharge(e);
                    emit(OP_GETLOCAL, 0, 0);
                }
                SQInteger n = callArgs(')');
                emit(OP_CALL, int(n + 1));
                e = Exp{};
                if (lx_.tok == '{' && !lx_.nlBefore) callInitializer();
                break;
            }
            case T_INC:
            case T_DEC: {
                if (lx_.nlBefore) return e;
                bool dec = lx_.tok == T_DEC;
                next();
                incTarget(e, dec, true);
                return e;
            }
            default:
                return e;
            }
        }
    }

    Exp primary() {
        Exp e;
        switch (lx_.tok) {
        case T_INT:
            emitConst(Value(lx_.ival));
            next();
            return e;
        case T_FLOAT:
            emit(OP_LOADK, 0, addConst(Value(lx_.fval)));
            next();
            return e;
        case T_STRING:
            emit(OP_LOADK, 0, addConst(sq_mkstr(ss_, lx_.sval)));
            next();
            return e;
        case K_NULL:
            emit(OP_LOADNULL);
            next();
            return e;
        case K_TRUE:
            emit(OP_LOADTRUE);
            next();
            return e;
        case K_FALSE:
            emit(OP_LOADFALSE);
            next();
            return e;
        case K_LINE:
            emitConst(Value(SQInteger(lx_.line)));
            next();
            return e;
        case K_FILE:
            emit(OP_LOADK, 0, addConst(source_));
            next();
            return e;
        case K_THIS:
            next();
            return Exp{E_LOCAL, 0, false};
        case K_BASE:
            next();
            emit(OP_GETBASE);
            e.isBase = true;
            return e;
        case T_IDENT: {
            Value name = sq_mkstr(ss_, lx_.sval);
            next();
            return resolveName(name);
        }
        case K_RAWCALL: {
            // rawcall(f, this, args...): a plain call with an explicit this
            next();
            expect('(');
            SQInteger n = callArgs(')');
            if (n < 2) error("rawcall requires at least 2 parameters (callee and this)");
            emit(OP_CALL, int(n - 1));
            return e;
        }
        case T_DCOLON: {
            next();
            emit(OP_LOADROOT);
            Value name = expectIdent();
            return Exp{E_FIELDK, addConst(name), false};
        }
        case '(': {
            next();
            commaExpr();
            expect(')');
            return e;
        }
        case '[': {
            next();
            SQInteger at = emit(OP_NEWARRAY, 0, 0);
            SQInteger n = 0;
            while (lx_.tok != ']') {
                if (lx_.tok == T_EOF) error("expression expected");
                Exp x = expression();
                discharge(x);
                emit(OP_APPEND);
                ++n;
                if (lx_.tok == ',') next();
            }
            next();
            patch(at, n);
            return e;
        }
        case '{': {
            next();
            emit(OP_NEWTABLE);
            while (lx_.tok != '}') {
                if (lx_.tok == K_FUNCTION || lx_.tok == K_CONSTRUCTOR) {
                    bool ctor = lx_.tok == K_CONSTRUCTOR;
                    next();
                    Value name = ctor ? sq_mkstr(ss_, "constructor") : expectIdent();
                    emit(OP_LOADK, 0, addConst(name));
                    functionBody(name, false);
                } else if (lx_.tok == '[') {
                    next();
                    commaExpr();
                    expect(']');
                    expect('=');
                    Exp x = expression();
                    discharge(x);
                } else if (lx_.tok == T_STRING) {
                    emit(OP_LOADK, 0, addConst(sq_mkstr(ss_, lx_.sval)));
                    next();
                    expect(':');
                    Exp x = expression();
                    discharge(x);
                } else {
                    Value name = expectIdent();
                    emit(OP_LOADK, 0, addConst(name));
                    expect('=');
                    Exp x = expression();
                    discharge(x);
                }
                emit(OP_NEWSLOTT);
                if (lx_.tok == ',') next();
            }
            next();
            return e;
        }
        case K_FUNCTION: {
            next();
            functionBody(Value(), false); // function literals have no name
            return e;
        }
        case '@': {
            next();
            functionBody(Value(), true);
            return e;
        }
        case K_CLASS: {
            next();
            classBody();
            return e;
        }
        default:
            error("expression expected");
        }
    }
};

} // namespace

void sq_dump_proto(SQFunctionProto* p, int depth);

Value sq_compile(SQVM* v, const char* src, SQInteger len, const char* sourcename, bool raiseerror) {
    Compiler c(v, src, len, sourcename ? sourcename : "unknown");
    try {
        Value r = c.compile();
        if (getenv("SQ_DUMP")) sq_dump_proto(r.clo()->proto, 0);
        return r;
    } catch (CompileError& e) {
        if (raiseerror && v->shared->compilererr)
            v->shared->compilererr(v, e.msg.c_str(), sourcename ? sourcename : "unknown", e.line,
                                   e.col);
        throw SQException{sq_mkstr(v->shared, e.msg), true};
    }
}

// Debug listing of compiled code (used by the runner with SQ_DUMP set).
void sq_dump_proto(SQFunctionProto* p, int depth) {
    fprintf(stderr, "%*sfunction %s params %lld stack %lld\n", depth * 2, "",
            p->name.type() == OT_STRING ? p->name.str()->data : "?", p->nparams, p->stacksize);
    for (size_t i = 0; i < p->code.size(); ++i) {
        const Instr& in = p->code[i];
        fprintf(stderr, "%*s%4zu op %2d a %d b %d c %d  (line %d)\n", depth * 2, "", i, in.op, in.a,
                in.b, in.c, p->lines[i]);
    }
    for (auto* c : p->children) sq_dump_proto(c, depth + 1);
}
