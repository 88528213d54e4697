// spline objects, forward with fog.
#define SPLINE
#include "inst_common.inc"
