// Texture slots that survive device resets, and the by-name registry of DDS textures.
#pragma once

#include <cstdint>

enum { MAX_TEXTURES = 1000 };

struct Texture {
    uint32_t gl_tex;   // device texture, 0 while released
    int width, height; // as requested; 0 x 0 means the screen size
    int levels;
    int usage;
    int format;
    int pool; // 0 default (recreated around resets), 1 managed (kept)
    bool used;
    // Lock staging (level being locked, memory, whether the lock was a discard).
    int lock_level;
    void* lock_mem;
    int64_t mem_bytes; // device memory this texture takes, for the free-memory estimate
};

Texture* create_texture(int width, int height, int levels, int usage, int format, int pool);
Texture* create_managed_texture(int width, int height);
Texture* create_render_texture(int width, int height, int format_code); // codes 1..8
Texture* create_screen_texture();
void release_texture(Texture* tex);
void* lock_texture(Texture* tex, int& pitch, bool discard);
void unlock_texture(Texture* tex);
// Writes w x h texels at (x, y) of a level straight from memory (rows packed, the format's
// own texel layout) without a staging copy; false for compressed formats and bad rectangles.
bool write_texture_rect(Texture* tex, int level, int x, int y, int w, int h, const void* texels);
void bind_texture(int stage, Texture* tex);
// Level 0 of src into dst, texel for texel, without a draw (what StretchRect does
// between same-sized targets); false when the sizes or formats differ.
bool copy_texture(Texture* dst, const Texture* src);

// Size of level 0 as created (the screen size for 0 x 0 textures).
int texture_width(const Texture* tex);
int texture_height(const Texture* tex);

// Reset support for the device.
void release_default_textures();
void recreate_default_textures();
void release_all_texture_slots();
int used_texture_slots();

// Registry: DDS files by full path, reference counted.
Texture* get_texture(const char* name, bool must_exist);
void free_texture(Texture* tex);
void free_all_textures();
int get_texture_refcount(const Texture* tex); // 0 when not registered
