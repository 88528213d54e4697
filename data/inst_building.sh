// building objects, forward with fog.
#define BUILDING
#include "inst_common.inc"
