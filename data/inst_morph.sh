// morph objects, forward with fog.
#define MORPH
#include "inst_common.inc"
