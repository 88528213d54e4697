// morph objects into the G-buffer.
#define MORPH
#define DEFERRED
#include "inst_common.inc"
