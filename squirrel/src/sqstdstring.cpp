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

// The matcher is Squirrel's: deterministic, without backtracking. A repetition takes as many
// iterations as it can but stops at the first one after which the element that follows it
// matches; an alternation commits to the first branch that matches; a capture group records its
// first match of an attempt (a non-capturing group around it starts it afresh), and a group
// that fails still uses up its turn.
struct RNode {
    enum Kind { CHAR, ANY, SET, BOL, EOL, WORDB, NWORDB, BALANCED, GROUP, REPEAT } kind;
    int ch = 0, ch2 = 0;
    std::bitset<256> set;
    int group = -1;            // capture index for GROUP, -1 for non-capturing
    std::vector<int> branches; // GROUP: first node of each alternative
    int sub = -1;              // REPEAT: the repeated node
    int min = 0, max = 0;      // REPEAT: max < 0 is unbounded
    int next = -1;             // the node that follows in the same sequence
};

const int MAX_GROUP_NESTING = 100;
const size_t MAX_NODES = 200000;

struct Regex {
    std::vector<RNode> nodes;
    int root = -1; // the whole pattern: group 0
    int ngroups = 1;
    int nesting = 0;
    const char* p = nullptr;
    const char* end = nullptr;

    int node(RNode::Kind k) {
        if (nodes.size() >= MAX_NODES) err("regexp too big");
        nodes.emplace_back();
        nodes.back().kind = k;
        return int(nodes.size()) - 1;
    }
    [[noreturn]] static void err(const char* m) { throw std::string(m); }

    static bool isClassEscape(char c) { return c && strchr("aAwWsSdDxXcCpPlu", c); }
    static void addClass(std::bitset<256>& set, char c) {
        for (int i = 0; i < 256; ++i) {
            bool in = false;
            switch (c) {
            case 'd':
            case 'D':
                in = isdigit(i);
                break;
            case 'w':
            case 'W':
                in = isalnum(i) || i == '_';
                break;
            case 's':
            case 'S':
                in = isspace(i);
                break;
            case 'a':
            case 'A':
                in = isalpha(i);
                break;
            case 'x':
            case 'X':
                in = isxdigit(i);
                break;
            case 'c':
            case 'C':
                in = iscntrl(i);
                break;
            case 'p':
            case 'P':
                in = ispunct(i);
                break;
            case 'l':
                in = islower(i);
                break;
            case 'u':
                in = isupper(i);
                break;
            default:
                break;
            }
            if (isupper((unsigned char)c) && c != 'u') in = !in;
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
    // a character written as itself: control characters must be escaped
    int literal() {
        if (p >= end || (unsigned char)*p < 32 || *p == 127) err("letter expected");
        return (unsigned char)*p++;
    }
    void expect(char c) {
        if (p >= end || *p != c) err("expected paren");
        ++p;
    }

    // alternatives separated by '|', up to ')' or the end; returns their first nodes
    std::vector<int> parseBranches() {
        std::vector<int> firsts{parseSequence()};
        while (p < end && *p == '|') {
            ++p;
            firsts.push_back(parseSequence());
        }
        return firsts;
    }
    // one element at least; '^' at the start anchors it
    int parseSequence() {
        int first, last;
        if (p < end && *p == '^') {
            ++p;
            first = last = node(RNode::BOL);
            int n = parseQuantified();
            nodes[size_t(last)].next = n;
            last = n;
        } else {
            first = last = parseQuantified();
        }
        while (p < end && *p != '|' && *p != ')' && *p != '*' && *p != '+') {
            int n = parseQuantified();
            nodes[size_t(last)].next = n;
            last = n;
        }
        return first;
    }
    int number() {
        if (p >= end || !isdigit((unsigned char)*p)) err("number expected");
        int n = 0;
        while (p < end && isdigit((unsigned char)*p)) {
            n = n * 10 + (*p++ - '0');
            if (n > 0xFFFE) err("overflow in numeric constant");
        }
        return n;
    }
    int parseQuantified() {
        int atom = parseAtom();
        if (p >= end) return atom;
        int mn, mx;
        switch (*p) {
        case '*':
            mn = 0, mx = -1;
            break;
        case '+':
            mn = 1, mx = -1;
            break;
        case '?':
            mn = 0, mx = 1;
            break;
        case '{':
            ++p;
            mn = mx = number();
            if (p < end && *p == ',') {
                ++p;
                mx = p < end && isdigit((unsigned char)*p) ? number() : -1;
                expect('}');
            } else if (p < end && *p == '}') {
                ++p;
            } else {
                err(", or } expected");
            }
            --p;
            break;
        default:
            return atom;
        }
        ++p;
        int q = node(RNode::REPEAT);
        nodes[size_t(q)].sub = atom;
        nodes[size_t(q)].min = mn;
        nodes[size_t(q)].max = mx;
        return q;
    }
    int parseAtom() {
        if (p >= end) err("letter expected");
        char c = *p;
        switch (c) {
        case '.':
            ++p;
            return node(RNode::ANY);
        case '$':
            ++p;
            return node(RNode::EOL);
        case '(': {
            ++p;
            // groups recurse in the parser and the matcher: bound the nesting
            if (++nesting > MAX_GROUP_NESTING) err("too many nested groups");
            int capture = -1;
            if (p < end && *p == '?') {
                ++p;
                expect(':');
            } else {
                capture = ngroups++;
            }
            std::vector<int> b = parseBranches();
            expect(')');
            --nesting;
            int g = node(RNode::GROUP);
            nodes[size_t(g)].group = capture;
            nodes[size_t(g)].branches = std::move(b);
            return g;
        }
        case '[':
            ++p;
            return parseSet();
        case '\\': {
            ++p;
            if (p >= end) err("letter expected");
            char e = *p++;
            if (isClassEscape(e)) {
                int s = node(RNode::SET);
                addClass(nodes[size_t(s)].set, e);
                return s;
            }
            if (e == 'b') return node(RNode::WORDB);
            if (e == 'B') return node(RNode::NWORDB);
            if (e == 'm') {
                if (end - p < 2) err("balanced chars expected");
                if (p[0] == p[1]) err("open/close char can't be the same");
                int m = node(RNode::BALANCED);
                nodes[size_t(m)].ch = (unsigned char)*p++;
                nodes[size_t(m)].ch2 = (unsigned char)*p++;
                return m;
            }
            int n = node(RNode::CHAR);
            nodes[size_t(n)].ch = escChar(e);
            return n;
        }
        default: {
            int ch = literal();
            int n = node(RNode::CHAR);
            nodes[size_t(n)].ch = ch;
            return n;
        }
        }
    }
    int parseSet() {
        std::bitset<256> set;
        bool neg = false;
        if (p < end && *p == '^') {
            neg = true;
            ++p;
        }
        if (p < end && *p == ']') err("empty class");
        for (;;) {
            if (p >= end) err("letter expected");
            if (*p == ']') {
                ++p;
                break;
            }
            int lo;
            if (*p == '\\') {
                ++p;
                if (p >= end) err("letter expected");
                char e = *p++;
                if (isClassEscape(e)) {
                    addClass(set, e);
                    continue;
                }
                lo = escChar(e);
            } else {
                lo = literal();
            }
            if (p < end && *p == '-') {
                ++p;
                if (p >= end || *p == ']' || *p == '\\') err("invalid range");
                int hi = literal();
                if (hi < lo) err("invalid range");
                for (int k = lo; k <= hi; ++k) set.set(size_t(k));
            } else {
                set.set(size_t(lo));
            }
        }
        if (neg) set.flip();
        int s = node(RNode::SET);
        nodes[size_t(s)].set = set;
        return s;
    }

    void compile(const char* pat, SQInteger len) {
        p = pat;
        end = pat + len;
        std::vector<int> b = parseBranches();
        if (p < end) err("unexpected character");
        root = node(RNode::GROUP);
        nodes[size_t(root)].group = 0;
        nodes[size_t(root)].branches = std::move(b);
    }

    // ------------------------------------------------------------ matching
    const unsigned char* str = nullptr;
    int slen = 0, bol = 0;
    int nextCapture = 1;
    std::vector<std::pair<int, int>> caps; // begin, length
    // Work allowed for one call: enough for the quadratic searches ordinary patterns make over
    // long subjects, while patterns that would take cubic time or worse still end.
    int64_t budget = 0;

    void startCall(const char* s, int len, int from) {
        str = reinterpret_cast<const unsigned char*>(s);
        slen = len;
        bol = from;
        int64_t n = len;
        budget = std::min<int64_t>(1000000 + 4 * n * n, int64_t(1) << 31);
    }
    int at(int i) const { return i >= 0 && i < slen ? str[i] : 0; }
    bool wordBoundary(int s) const {
        if (s == bol && !isspace(at(s))) return true;
        if (s == slen && s > 0 && !isspace(at(s - 1))) return true;
        return isspace(at(s)) != isspace(at(s + 1));
    }
    // the end of a match of node n at s, or -1; next is what follows n, where a repetition
    // looks for its stop
    int matchNode(int n, int s, int next) {
        if (--budget < 0) err("regexp too complex");
        const RNode& nd = nodes[size_t(n)];
        switch (nd.kind) {
        case RNode::CHAR:
            return s < slen && str[s] == nd.ch ? s + 1 : -1;
        case RNode::ANY:
            return s < slen ? s + 1 : -1;
        case RNode::SET:
            return s < slen && nd.set.test(str[s]) ? s + 1 : -1;
        case RNode::BOL:
            return s == bol ? s : -1;
        case RNode::EOL:
            return s == slen ? s : -1;
        case RNode::WORDB:
            return wordBoundary(s) ? s : -1;
        case RNode::NWORDB:
            return wordBoundary(s) ? -1 : s;
        case RNode::BALANCED: {
            if (s >= slen || str[s] != nd.ch) return -1;
            int depth = 1;
            for (int i = s + 1; i < slen; ++i) {
                if (str[i] == nd.ch2) {
                    if (--depth == 0) return i + 1;
                } else if (str[i] == nd.ch) {
                    ++depth;
                }
            }
            budget -= slen - s;
            return -1;
        }
        case RNode::GROUP: {
            int capture = nd.group > 0 && nd.group == nextCapture ? nextCapture++ : -1;
            int saved = nextCapture;
            int r = -1;
            if (nd.branches.size() == 1) {
                r = matchSequence(nd.branches[0], s, next);
            } else {
                for (int b : nd.branches)
                    if ((r = matchSequence(b, s, -1)) >= 0) break;
            }
            nextCapture = saved;
            if (r >= 0 && capture >= 0) caps[size_t(capture)] = {s, r - s};
            return r;
        }
        case RNode::REPEAT:
            return matchRepeat(nd, s, next);
        }
        return -1;
    }
    int matchSequence(int n, int s, int after) {
        for (; n >= 0 && s >= 0; n = nodes[size_t(n)].next) {
            int nx = nodes[size_t(n)].next;
            s = matchNode(n, s, nx >= 0 ? nx : after);
        }
        return s;
    }
    int matchRepeat(const RNode& nd, int s, int stop) {
        bool checkStop = stop >= 0 && !(nodes[size_t(stop)].kind == RNode::REPEAT &&
                                        nodes[size_t(stop)].min == 0);
        int stopNext = stop >= 0 ? nodes[size_t(stop)].next : -1;
        auto inRange = [&](int k) { return k >= nd.min && (nd.max < 0 || k <= nd.max); };
        int count = 0, good = s;
        while (nd.max < 0 || count < nd.max) {
            int r = matchNode(nd.sub, s, stop);
            if (r < 0) break;
            ++count;
            bool progress = r != s;
            good = s = r;
            bool stopped = checkStop && matchNode(stop, s, stopNext) >= 0;
            if (stopped && inRange(count)) break;
            if (s >= slen) break;
            if (!progress) {
                // the iterations left would match empty here again: count them without running
                count = stopped || nd.max < 0 ? std::max(count, nd.min) : nd.max;
                break;
            }
        }
        if (nd.min == nd.max && count != nd.min) return -1;
        if (count == 0 && nd.min == 0) return good;
        return inRange(count) ? good : -1;
    }
    // the end of a match of the whole pattern starting at s, or -1
    int matchAt(int s) {
        nextCapture = 1;
        caps.assign(size_t(ngroups), {0, 0});
        int r = matchNode(root, s, -1);
        if (r >= 0) caps[0] = {s, r - s};
        return r;
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
        r->startCall(s.str()->data, int(s.str()->len), 0);
        sq_pushbool(v, r->matchAt(0) == r->slen);
        return SQInteger(1);
    });
}
SQInteger rex_search_impl(SQVM* v, bool capture) {
    Regex* r = self_rex(v);
    if (!r) return fail(v, "invalid regexp");
    const Value& s = S(v, 2);
    SQInteger start = sq_gettop(v) > 2 ? num_i(S(v, 3)) : 0;
    return rex_guard(v, [&] {
        if (start < 0 || start > s.str()->len) start = s.str()->len;
        r->startCall(s.str()->data, int(s.str()->len), int(start));
        // tried from each position before the end: an empty match at the very end is not found
        for (int pos = int(start); pos < r->slen; ++pos) {
            int e = r->matchAt(pos);
            if (e >= 0) {
                if (!capture) {
                    push_range(v, pos, e);
                    return SQInteger(1);
                }
                sq_newarray(v, 0);
                for (auto& c : r->caps) {
                    push_range(v, c.first, c.first + c.second);
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
