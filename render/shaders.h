// Shaders: ".sh" files of GLSL 4.50 with a vertex entry `vsh` and a pixel entry `psh`.
// Each stage is compiled with VSH or PSH defined (plus the caller's defines) into a
// separable program; the pair is cached in "cache/<file><define suffix>.cache" under the
// game's folder and recompiled when a file it read changes.
//
// What a .sh file sees (added in front of the source):
//   vertex stage: uniform block `vc[256]` (registers c0..c255), `out gl_PerVertex`;
//                 `VARYING` means `out`. Inputs are named by usage and index:
//                 POSITION, NORMAL, COLOR, TEXCOORD, TANGENT, optionally with the index
//                 (TEXCOORD1); they are matched to the vertex declaration.
//   pixel stage:  uniform block `pc[224]` (registers c0..c223), output `oC0`
//                 (declare `layout(location = 1) out vec4 oC1;` for more targets);
//                 `VARYING` means `in`.
// Entries take and return nothing; stage-specific code sits under `#ifdef VSH` / `#ifdef PSH`.
// `#include "file"` reads a file relative to the game's folder. The vertex wrapper moves
// gl_Position by the half-pixel fix-up of the current viewport; the pixel wrapper applies
// the alpha test of set_atest.
#pragma once

#include "platform/dyn_array.h"

#include <cstdint>

enum { MAX_SHADERS = 64, MAX_SHADER_DEFINES = 512 };

struct ShaderDep {
    char name[260];
    int64_t time; // modification time when read; 0 without the compiler
};

struct Shader {
    uint32_t vprog; // 0 while the slot is free
    uint32_t pprog;
    uint32_t pipeline;
    char file[260];
    char defines[MAX_SHADER_DEFINES]; // name, value, ..., "" (all zero-terminated)
    DynArray<ShaderDep> deps;
    int refcount;
    int layout; // input layout id of the vertex program
    uint32_t layout_gen;
    uint16_t sig[16];
};

// defines: pairs of zero-terminated strings ended by an empty one, or null.
Shader* get_shader(const char* file, const char* defines = nullptr);
void release_shader(Shader* s);
void set_shader(Shader* s);
void reload_shaders(bool force);
bool shader_compiler_available();

// "cache/<file><suffix>.cache" as written (relative to the game's folder).
void get_shader_cache_name(const char* file, const char* defines, char* out, int size);
int used_shader_slots();
