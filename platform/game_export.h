// Marks a declaration that `game` exports to the game-object module (actor.so), which
// resolves it at load time. Only symbols marked this way become dynamic symbols of the
// program; everything else stays internal.
#pragma once

#define GAME_EXPORT __attribute__((visibility("default")))
