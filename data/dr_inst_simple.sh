// simple objects into the G-buffer.
#define SIMPLE
#define DEFERRED
#include "inst_common.inc"
