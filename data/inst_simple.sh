// simple objects, forward with fog.
#define SIMPLE
#include "inst_common.inc"
