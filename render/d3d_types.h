// Types and codes of the Direct3D 9 model that the render layer provides on OpenGL.
#pragma once

#include <cstdint>

using D3dColor = uint32_t; // 0xAARRGGBB

// Row-vector convention: a point is transformed as row vector times matrix.
struct alignas(16) Matrix44 {
    float m[4][4];
};

// Primitive types (Direct3D numbering).
enum {
    PRIM_POINTLIST = 1,
    PRIM_LINELIST = 2,
    PRIM_LINESTRIP = 3,
    PRIM_TRIANGLELIST = 4,
    PRIM_TRIANGLESTRIP = 5,
    PRIM_TRIANGLEFAN = 6,
};

// Direct3D formats used by the texture layer.
enum {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_G16R16 = 34,
    D3DFMT_L8 = 50,
    D3DFMT_D24S8 = 75,
    D3DFMT_R16F = 111,
    D3DFMT_G16R16F = 112,
    D3DFMT_A16B16G16R16F = 113,
    D3DFMT_R32F = 114,
    D3DFMT_G32R32F = 115,
    D3DFMT_A32B32G32R32F = 116,
    D3DFMT_DXT1 = 0x31545844, // 'DXT1'
    D3DFMT_DXT3 = 0x33545844,
    D3DFMT_DXT5 = 0x35545844,
};

enum { D3DUSAGE_RENDERTARGET = 1, D3DUSAGE_DYNAMIC = 0x200 };
enum { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1 };

// Result codes logged by the layer where Direct3D would have returned them.
enum : uint32_t {
    D3DERR_INVALIDCALL = 0x8876086C,
    D3DERR_OUTOFVIDEOMEMORY = 0x8876017C,
    D3DERR_DEVICELOST = 0x88760868,
    E_OUTOFMEMORY_CODE = 0x8007000E,
};

// Direct3D comparison functions (stencil).
enum {
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
};
