// spline objects into the G-buffer.
#define SPLINE
#define DEFERRED
#include "inst_common.inc"
