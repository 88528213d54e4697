// building objects into the G-buffer.
#define BUILDING
#define DEFERRED
#include "inst_common.inc"
