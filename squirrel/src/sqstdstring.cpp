// String library: format/printf, split, strip, startswith/endswith, escape and the regexp class.
#include "sqstdstring.h"
#include "sqvm.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cstdio>
#include <memory>

namespace {

SQInteger fail(SQVM* v, const char* msg) {
    return sq_throwerror(v, msg);
}

bool format_impl(SQVM* v, SQInteger fmtidx, std::string& out, std::string& err) {
    const Value& fv = sq_stk(v, fmtidx);
    const char* f = fv.str()->data;
    SQInteger flen = fv.str()->len;
    SQInteger argi = fmtidx + 1;
    SQInteger top = sq_gettop(v);
    char buf[512];
    for (SQInteger i = 0; i < flen;) {
        if (f[i] != '%') {
            out += f[i++];
            continue;
        }
        if (i + 1 < flen && f[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        std::string directive = "%";
        ++i;
        while (i < flen && strchr("-+ #0", f[i])) directive += f[i++];
        int wd = 0;
        while (i < flen && isdigit((unsigned char)f[i])) {
            directive += f[i++];
            if (++wd > 2) {
                err = "width format too long";
                return false;
            }
        }
        if (i < flen && f[i] == '.') {
            directive += f[i++];
            int pd = 0;
            while (i < flen && isdigit((unsigned char)f[i])) {
                directive += f[i++];
                if (++pd > 2) {
                    err = "precision format too long";
                    return false;
                }
            }
        }
        if (argi > top) {
            err = "not enough parameters for the given format string";
            return false;
        }
        if (i >= flen) {
            err = "invalid format";
            return false;
        }
        char conv = f[i++];
        if (!strchr("diouxXcsfFeEgG", conv)) {
            err = "invalid format";
            return false;
        }
        const Value& a = sq_stk(v, argi++);
        switch (conv) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
        case 'c': {
            if (!sq_isnumeric(a) && a.type() != OT_BOOL) {
                err = "integer expected for the specified format";
                return false;
            }
            SQInteger iv = a.type() == OT_BOOL ? SQInteger(a.b()) : num_i(a);
            int n;
            if (conv == 'c') {
                directive += 'c';
                n = snprintf(buf, sizeof buf, directive.c_str(), int(iv));
            } else {
                directive += "ll";
                directive += conv == 'i' ? 'd' : conv;
                n = snprintf(buf, sizeof buf, directive.c_str(), (long long)iv);
            }
            // %c of 0 writes a NUL byte that belongs in the result
            out.append(buf, size_t(std::clamp(n, 0, int(sizeof buf) - 1)));
            break;
        }
        case 's': {
            if (a.type() != OT_STRING) {
                err = "string expected for the specified format";
                return false;
            }
            directive += 's';
            int n = snprintf(nullptr, 0, directive.c_str(), a.str()->data);
            std::string tmp(size_t(n) + 1, '\0');
            snprintf(tmp.data(), tmp.size(), directive.c_str(), a.str()->data);
            tmp.resize(size_t(n));
            out += tmp;
            break;
        }
        default: {
            if (!sq_isnumeric(a)) {
                err = "float expected for the specified format";
                return false;
            }
            directive += conv;
            snprintf(buf, sizeof buf, directive.c_str(), double(num_f(a)));
            out += buf;
            break;
        }
        }
    }
    return true;
}

SQInteger s_format(SQVM* v) {
    std::string out, err;
    if (!format_impl(v, 2, out, err)) return fail(v, err.c_str());
    sq_pushstring(v, out.data(), SQInteger(out.size()));
    return 1;
}
SQInteger s_printf(SQVM* v) {
    std::string out, err;
    if (!format_impl(v, 2, out, err)) return fail(v, err.c_str());
    if (v->shared->printfn) v->shared->printfn(v, "%s", out.c_str());
    return 0;
}

const Value& S(SQVM* v, SQInteger i) {
    return sq_stk(v, i);
}

SQInteger s_split(SQVM* v) {
    SQString* s = S(v, 2).str();
    SQString* seps = S(v, 3).str();
    bool skip = sq_gettop(v) > 3 && !is_false(S(v, 4));
    if (seps->len == 0) return fail(v, "empty separators string");
    sq_newarray(v, 0);
    std::string tok;
    auto push = [&] {
        sq_pushstring(v, tok.data(), SQInteger(tok.size()));
        sq_arrayappend(v, -2);
    };
    for (SQInteger i = 0; i < s->len; ++i) {
        char c = s->data[i];
        if (memchr(seps->data, c, size_t(seps->len))) {
            if (!skip || !tok.empty()) push();
            tok.clear();
        } else {
            tok += c;
        }
    }
    if (!tok.empty()) push();
    return 1;
}

SQInteger strip_impl(SQVM* v, bool left, bool right) {
    SQString* s = S(v, 2).str();
    SQInteger b = 0, e = s->len;
    if (left)
        while (b < e && isspace((unsigned char)s->data[b])) ++b;
    if (right)
        while (e > b && isspace((unsigned char)s->data[e - 1])) --e;
    sq_pushstring(v, s->data + b, e - b);
    return 1;
}
SQInteger s_strip(SQVM* v) {
    return strip_impl(v, true, true);
}
SQInteger s_lstrip(SQVM* v) {
    return strip_impl(v, true, false);
}
SQInteger s_rstrip(SQVM* v) {
    return strip_impl(v, false, true);
}
SQInteger s_startswith(SQVM* v) {
    SQString* s = S(v, 2).str();
    SQString* p = S(v, 3).str();
    sq_pushbool(v, p->len <= s->len && memcmp(s->data, p->data, size_t(p->len)) == 0);
    return 1;
}
SQInteger s_endswith(SQVM* v) {
    SQString* s = S(v, 2).str();
    SQString* p = S(v, 3).str();
    sq_pushbool(v, p->len <= s->len &&
                       memcmp(s->data + s->len - p->len, p->data, size_t(p->len)) == 0);
    return 1;
}
SQInteger s_escape(SQVM* v) {
    SQString* s = S(v, 2).str();
    std::string out;
    char buf[8];
    for (SQInteger i = 0; i < s->len; ++i) {
        unsigned char c = (unsigned char)s->data[i];
        if (c == '"' || c == '\'' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == 0) {
            out += "\\0";
        } else if (c < 32 || c >= 127) {
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    sq_pushstring(v, out.data(), SQInteger(out.size()));
    return 1;
}

// ---------------------------------------------------------------- regular expressions

struct RNode {
    enum Kind { CHAR, ANY, SET, BOL, EOL, GROUP, QUANT } kind;
    int ch = 0;
    std::bitset<256> set;
    int group = -1; // capture index for GROUP, -1 for non-capturing
    std::vector<std::vector<RNode*>> alts;
    RNode* sub = nullptr;
    int min = 0, max = 0;
};

const int MAX_GROUP_NESTING = 100;
const size_t MAX_PROGRAM = 200000;
const size_t MAX_BACKTRACK = size_t(1) << 22;

struct Regex {
    std::vector<std::unique_ptr<RNode>> pool;
    std::vector<std::vector<RNode*>> root;
    int ngroups = 1;
    int nesting = 0;
    const char* p = nullptr;
    const char* end = nullptr;

    RNode* node(RNode::Kind k) {
        pool.push_back(std::make_unique<RNode>());
        pool.back()->kind = k;
        return pool.back().get();
    }
    [[noreturn]] static void err(const char* m) { throw std::string(m); }

    static void addClass(std::bitset<256>& set, char c) {
        for (int i = 0; i < 256; ++i) {
            bool in = false;
            switch (c) {
            case 'd':
                in = isdigit(i);
                break;
            case 'D':
                in = !isdigit(i);
                break;
            case 'w':
                in = isalnum(i) || i == '_';
                break;
            case 'W':
                in = !(isalnum(i) || i == '_');
                break;
            case 's':
                in = isspace(i);
                break;
            case 'S':
                in = !isspace(i);
                break;
            case 'a':
                in = isalpha(i);
                break;
            case 'A':
                in = !isalpha(i);
                break;
            case 'l':
                in = islower(i);
                break;
            case 'u':
                in = isupper(i);
                break;
            case 'p':
                in = ispunct(i);
                break;
            case 'x':
                in = isxdigit(i);
                break;
            default:
                break;
            }
            if (in) set.set(size_t(i));
        }
    }
    static int escChar(char c) {
        switch (c) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        case 'f':
            return '\f';
        case 'v':
            return '\v';
        default:
            return (unsigned char)c;
        }
    }

    std::vector<std::vector<RNode*>> parseAlts() {
        std::vector<std::vector<RNode*>> alts(1);
        while (p < end && *p != ')') {
            if (*p == '|') {
                ++p;
                alts.emplace_back();
                continue;
            }
            RNode* atom = parseAtom();
            alts.back().push_back(parseQuant(atom));
        }
        return alts;
    }
    RNode* parseQuant(RNode* atom) {
        if (p >= end) return atom;
        int mn, mx;
        char c = *p;
        if (c == '*')
            mn = 0, mx = -1;
        else if (c == '+')
            mn = 1, mx = -1;
        else if (c == '?')
            mn = 0, mx = 1;
        else if (c == '{') {
            ++p;
            if (p >= end || !isdigit((unsigned char)*p)) err("number expected");
            mn = 0;
            while (p < end && isdigit((unsigned char)*p)) {
                mn = mn * 10 + (*p++ - '0');
                if (mn > 65535) err("repetition count too large");
            }
            mx = mn;
            if (p < end && *p == ',') {
                ++p;
                mx = -1;
                if (p < end && isdigit((unsigned char)*p)) {
                    mx = 0;
                    while (p < end && isdigit((unsigned char)*p)) {
                        mx = mx * 10 + (*p++ - '0');
                        if (mx > 65535) err("repetition count too large");
                    }
                }
            }
            if (p >= end || *p != '}') err(", or } expected");
        } else
            return atom;
        ++p;
        RNode* q = node(RNode::QUANT);
        q->sub = atom;
        q->min = mn;
        q->max = mx;
        return q;
    }
    RNode* parseAtom() {
        char c = *p++;
        switch (c) {
        case '.':
            return node(RNode::ANY);
        case '^':
            return node(RNode::BOL);
        case '$':
            return node(RNode::EOL);
        case '(': {
            // groups recurse in the parser and the matcher: bound the nesting
            if (++nesting > MAX_GROUP_NESTING) err("too many nested groups");
            RNode* g = node(RNode::GROUP);
            if (p + 1 < end && p[0] == '?' && p[1] == ':') {
                p += 2;
            } else {
                g->group = ngroups++;
            }
            g->alts = parseAlts();
            if (p >= end || *p != ')') err("expected paren");
            ++p;
            --nesting;
            return g;
        }
        case '[': {
            RNode* s = node(RNode::SET);
            bool neg = false;
            if (p < end && *p == '^') {
                neg = true;
                ++p;
            }
            bool first = true;
            for (;;) {
                if (p >= end) err("letter expected");
                if (*p == ']' && !first) {
                    ++p;
                    break;
                }
                first = false;
                int lo;
                if (*p == '\\') {
                    ++p;
                    if (p >= end) err("letter expected");
                    char e = *p++;
                    if (strchr("dDwWsSaAlupx", e)) {
                        addClass(s->set, e);
                        continue;
                    }
                    lo = escChar(e);
                } else {
                    lo = (unsigned char)*p++;
                }
                if (p + 1 < end && *p == '-' && p[1] != ']') {
                    ++p;
                    int hi = (unsigned char)*p++;
                    if (hi < lo) err("invalid range");
                    for (int k = lo; k <= hi; ++k) s->set.set(size_t(k));
                } else {
                    s->set.set(size_t(lo));
                }
            }
            if (neg) s->set.flip();
            return s;
        }
        case '\\': {
            if (p >= end) err("letter expected");
            char e = *p++;
            if (strchr("dDwWsSaAlupx", e)) {
                RNode* s = node(RNode::SET);
                addClass(s->set, e);
                return s;
            }
            RNode* n = node(RNode::CHAR);
            n->ch = escChar(e);
            return n;
        }
        default: {
            RNode* n = node(RNode::CHAR);
            n->ch = (unsigned char)c;
            return n;
        }
        }
    }

    void compile(const char* pat, SQInteger len) {
        p = pat;
        end = pat + len;
        root = parseAlts();
        if (p < end) err("unexpected paren");
        generate();
    }

    // Matching runs a small backtracking machine with its own stack, so neither the subject
    // length nor the pattern's shape can exhaust the C stack.
    enum Op : uint8_t {
        I_CHAR,
        I_ANY,
        I_SET,
        I_BOL,
        I_EOL,
        I_SPLIT,
        I_JMP,
        I_SAVE,
        I_MARK,
        I_PROGRESS,
        I_RUN,
        I_MATCH
    };
    struct Inst {
        Op op;
        int x = 0, y = 0, z = 0;
    };
    std::vector<Inst> prog;
    std::vector<std::bitset<256>> sets;
    int nregs = 0;

    int emit(Op op, int x = 0, int y = 0, int z = 0) {
        if (prog.size() >= MAX_PROGRAM) err("regexp too big");
        prog.push_back(Inst{op, x, y, z});
        return int(prog.size()) - 1;
    }
    int addSet(const std::bitset<256>& b) {
        sets.push_back(b);
        return int(sets.size()) - 1;
    }
    void genAlts(const std::vector<std::vector<RNode*>>& alts) {
        std::vector<int> exits;
        for (size_t i = 0; i < alts.size(); ++i) {
            int split = -1;
            if (i + 1 < alts.size()) split = emit(I_SPLIT, int(prog.size()) + 1);
            for (RNode* n : alts[i]) gen(n);
            if (split >= 0) {
                exits.push_back(emit(I_JMP));
                prog[size_t(split)].y = int(prog.size());
            }
        }
        for (int j : exits) prog[size_t(j)].x = int(prog.size());
    }
    // one optional iteration that must consume something
    void genIteration(RNode* sub, int reg) {
        emit(I_MARK, reg);
        gen(sub);
        emit(I_PROGRESS, reg);
    }
    void gen(RNode* n) {
        switch (n->kind) {
        case RNode::CHAR:
            emit(I_CHAR, n->ch);
            break;
        case RNode::ANY:
            emit(I_ANY);
            break;
        case RNode::SET:
            emit(I_SET, addSet(n->set));
            break;
        case RNode::BOL:
            emit(I_BOL);
            break;
        case RNode::EOL:
            emit(I_EOL);
            break;
        case RNode::GROUP:
            if (n->group >= 0) emit(I_SAVE, 2 * n->group);
            genAlts(n->alts);
            if (n->group >= 0) emit(I_SAVE, 2 * n->group + 1);
            break;
        case RNode::QUANT: {
            RNode* sub = n->sub;
            if (sub->kind == RNode::CHAR || sub->kind == RNode::ANY || sub->kind == RNode::SET) {
                std::bitset<256> b;
                if (sub->kind == RNode::CHAR)
                    b.set(size_t(sub->ch));
                else if (sub->kind == RNode::ANY)
                    b.set();
                else
                    b = sub->set;
                emit(I_RUN, addSet(b), n->min, n->max);
                break;
            }
            for (int i = 0; i < n->min; ++i) gen(sub);
            int reg = nregs++;
            if (n->max < 0) {
                int loop = emit(I_SPLIT, int(prog.size()) + 1);
                genIteration(sub, reg);
                emit(I_JMP, loop);
                prog[size_t(loop)].y = int(prog.size());
            } else {
                std::vector<int> splits;
                for (int i = n->min; i < n->max; ++i) {
                    splits.push_back(emit(I_SPLIT, int(prog.size()) + 1));
                    genIteration(sub, reg);
                }
                for (int j : splits) prog[size_t(j)].y = int(prog.size());
            }
            break;
        }
        }
    }
    void generate() {
        prog.clear();
        genAlts(root);
        emit(I_MATCH);
    }

    const char* str = nullptr;
    int slen = 0;
    std::vector<std::pair<int, int>> caps;
    std::vector<int> slots, regs;
    enum Kind : uint8_t { B_BRANCH, B_GIVEBACK, B_SLOT, B_REG };
    struct Back {
        Kind kind;
        int a, b, c; // branch: pc, pos; giveback: pc, pos, lowest pos; slot/reg: index, old value
    };
    std::vector<Back> stack;
    // Backtracking work allowed for one call, proportional to the subject so that ordinary
    // patterns over long strings pass while catastrophic ones still end.
    int64_t budget = 0;

    void startCall(const char* s, int len) {
        str = s;
        slen = len;
        budget = 1000000 + int64_t(len) * 2000;
    }
    void push(Kind k, int a, int b, int c = 0) {
        if (stack.size() >= MAX_BACKTRACK) err("regexp too complex");
        stack.push_back(Back{k, a, b, c});
    }

    bool matchAt(int start, int& endPos, bool whole) {
        slots.assign(size_t(ngroups) * 2, 0);
        regs.assign(size_t(nregs), -1);
        stack.clear();
        int pc = 0, pos = start;
        for (;;) {
            if (--budget < 0) err("regexp too complex");
            const Inst& in = prog[size_t(pc)];
            bool ok = true;
            switch (in.op) {
            case I_CHAR:
                ok = pos < slen && (unsigned char)str[pos] == in.x;
                ++pos, ++pc;
                break;
            case I_ANY:
                ok = pos < slen;
                ++pos, ++pc;
                break;
            case I_SET:
                ok = pos < slen && sets[size_t(in.x)].test((unsigned char)str[pos]);
                ++pos, ++pc;
                break;
            case I_BOL:
                ok = pos == 0;
                ++pc;
                break;
            case I_EOL:
                ok = pos == slen;
                ++pc;
                break;
            case I_SPLIT:
                push(B_BRANCH, in.y, pos);
                pc = in.x;
                break;
            case I_JMP:
                pc = in.x;
                break;
            case I_SAVE:
                push(B_SLOT, in.x, slots[size_t(in.x)]);
                slots[size_t(in.x)] = pos;
                ++pc;
                break;
            case I_MARK:
                push(B_REG, in.x, regs[size_t(in.x)]);
                regs[size_t(in.x)] = pos;
                ++pc;
                break;
            case I_PROGRESS:
                ok = regs[size_t(in.x)] != pos;
                ++pc;
                break;
            case I_RUN: {
                const std::bitset<256>& set = sets[size_t(in.x)];
                int run = 0;
                while (pos + run < slen && (in.z < 0 || run < in.z) &&
                       set.test((unsigned char)str[pos + run]))
                    ++run;
                budget -= run / 8;
                ok = run >= in.y;
                if (ok && run > in.y) push(B_GIVEBACK, pc + 1, pos + run - 1, pos + in.y);
                pos += run;
                ++pc;
                break;
            }
            case I_MATCH:
                if (!whole || pos == slen) {
                    endPos = pos;
                    caps.assign(size_t(ngroups), {0, 0});
                    for (int g = 1; g < ngroups; ++g)
                        caps[size_t(g)] = {slots[size_t(2 * g)], slots[size_t(2 * g + 1)]};
                    return true;
                }
                ok = false;
                break;
            }
            if (ok) continue;
            // fail: undo to the most recent alternative
            for (;;) {
                if (stack.empty()) return false;
                Back& bk = stack.back();
                if (bk.kind == B_SLOT) {
                    slots[size_t(bk.a)] = bk.b;
                } else if (bk.kind == B_REG) {
                    regs[size_t(bk.a)] = bk.b;
                } else if (bk.kind == B_BRANCH) {
                    pc = bk.a;
                    pos = bk.b;
                    stack.pop_back();
                    break;
                } else {
                    pc = bk.a;
                    pos = bk.b;
                    if (bk.b > bk.c)
                        --bk.b;
                    else
                        stack.pop_back();
                    break;
                }
                stack.pop_back();
            }
        }
    }
};

SQInteger rex_release(SQUserPointer p, SQInteger) {
    delete static_cast<Regex*>(p);
    return 1;
}

Regex* self_rex(SQVM* v) {
    SQUserPointer p = nullptr;
    sq_getinstanceup(v, 1, &p, nullptr);
    return static_cast<Regex*>(p);
}

SQInteger rex_ctor(SQVM* v) {
    const Value& pat = S(v, 2);
    auto* r = new Regex();
    try {
        r->compile(pat.str()->data, pat.str()->len);
    } catch (std::string& e) {
        delete r;
        return fail(v, e.c_str());
    }
    sq_setinstanceup(v, 1, r);
    sq_setreleasehook(v, 1, rex_release);
    return 0;
}

void push_range(SQVM* v, int b, int e) {
    sq_newtable(v);
    sq_pushstring(v, "begin", -1);
    sq_pushinteger(v, b);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "end", -1);
    sq_pushinteger(v, e);
    sq_newslot(v, -3, SQFalse);
}

template <typename F>
SQInteger rex_guard(SQVM* v, F f) {
    try {
        return f();
    } catch (std::string& e) {
        return fail(v, e.c_str());
    }
}

SQInteger rex_match(SQVM* v) {
    Regex* r = self_rex(v);
    if (!r) return fail(v, "invalid regexp");
    const Value& s = S(v, 2);
    return rex_guard(v, [&] {
        r->startCall(s.str()->data, int(s.str()->len));
        int e;
        sq_pushbool(v, r->matchAt(0, e, true));
        return SQInteger(1);
    });
}
SQInteger rex_search_impl(SQVM* v, bool capture) {
    Regex* r = self_rex(v);
    if (!r) return fail(v, "invalid regexp");
    const Value& s = S(v, 2);
    SQInteger start = sq_gettop(v) > 2 ? num_i(S(v, 3)) : 0;
    return rex_guard(v, [&] {
        r->startCall(s.str()->data, int(s.str()->len));
        for (int pos = int(start); pos >= 0 && pos <= r->slen; ++pos) {
            int e;
            if (r->matchAt(pos, e, false)) {
                if (!capture) {
                    push_range(v, pos, e);
                    return SQInteger(1);
                }
                sq_newarray(v, 0);
                r->caps[0] = {pos, e};
                for (auto& c : r->caps) {
                    push_range(v, c.first, c.second);
                    sq_arrayappend(v, -2);
                }
                return SQInteger(1);
            }
        }
        sq_pushnull(v);
        return SQInteger(1);
    });
}
SQInteger rex_search(SQVM* v) {
    return rex_search_impl(v, false);
}
SQInteger rex_capture(SQVM* v) {
    return rex_search_impl(v, true);
}
SQInteger rex_subexpcount(SQVM* v) {
    Regex* r = self_rex(v);
    if (!r) return fail(v, "invalid regexp");
    sq_pushinteger(v, r->ngroups);
    return 1;
}
SQInteger rex_typeof(SQVM* v) {
    sq_pushstring(v, "regexp", -1);
    return 1;
}

void reg(HSQUIRRELVM v, const char* name, SQFUNCTION f, SQInteger n, const char* mask) {
    sq_pushstring(v, name, -1);
    sq_newclosure(v, f, 0);
    sq_setparamscheck(v, n, mask);
    sq_setnativeclosurename(v, -1, name);
    sq_newslot(v, -3, SQFalse);
}

} // namespace

extern "C" SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger* outlen,
                                 SQChar** output) {
    std::string out, err;
    if (!format_impl(v, nformatstringidx, out, err)) return sq_throwerror(v, err.c_str());
    SQChar* buf = sq_getscratchpad(v, SQInteger(out.size()) + 1);
    memcpy(buf, out.c_str(), out.size() + 1);
    *outlen = SQInteger(out.size());
    *output = buf;
    return SQ_OK;
}

extern "C" SQRESULT sqstd_register_stringlib(HSQUIRRELVM v) {
    reg(v, "format", s_format, -2, ".s");
    reg(v, "printf", s_printf, -2, ".s");
    reg(v, "split", s_split, -3, ".ssb");
    reg(v, "strip", s_strip, 2, ".s");
    reg(v, "lstrip", s_lstrip, 2, ".s");
    reg(v, "rstrip", s_rstrip, 2, ".s");
    reg(v, "startswith", s_startswith, 3, ".ss");
    reg(v, "endswith", s_endswith, 3, ".ss");
    reg(v, "escape", s_escape, 2, ".s");
    sq_pushstring(v, "regexp", -1);
    sq_newclass(v, SQFalse);
    reg(v, "constructor", rex_ctor, 2, ".s");
    reg(v, "match", rex_match, 2, "xs");
    reg(v, "search", rex_search, -2, "xsn");
    reg(v, "capture", rex_capture, -2, "xsn");
    reg(v, "subexpcount", rex_subexpcount, 1, "x");
    reg(v, "_typeof", rex_typeof, 1, "x");
    sq_newslot(v, -3, SQFalse);
    return SQ_OK;
}
