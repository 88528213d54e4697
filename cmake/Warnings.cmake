# Shared compile options for every target of the project.
add_library(veltmoor_options INTERFACE)
target_compile_options(veltmoor_options INTERFACE
    -Wall -Wextra -Werror -Wno-unused-parameter
    # A seed names a world on every x86-64 machine: no contraction, no fast math.
    -ffp-contract=off -fno-fast-math
    # Only what is marked GAME_EXPORT becomes visible to the game-object module.
    -fvisibility=hidden)
if(VELTMOOR_SANITIZE)
    target_compile_options(veltmoor_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(veltmoor_options INTERFACE -fsanitize=address,undefined)
endif()
