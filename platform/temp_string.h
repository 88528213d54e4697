// A fixed-capacity string returned by value, for paths.
#pragma once

#include <cstdio>
#include <cstring>

template <int N>
struct TempString {
    char str[N];

    TempString() { str[0] = 0; }
    explicit TempString(const char* s) { snprintf(str, N, "%s", s ? s : ""); }

    operator const char*() const { return str; }
    const char* c_str() const { return str; }
    int length() const { return int(strlen(str)); }
    static constexpr int capacity() { return N; }
};
