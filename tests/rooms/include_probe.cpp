// One include, named on the command line, compiled as a room's own sources are compiled.
#include ORVANE_PROBE_HEADER
