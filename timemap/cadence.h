// 3:2 pulldown cadence arithmetic: four film frames in ten video fields.
//
// Pure functions over two constant tables. A cadence index (0 to 4) says
// where in the ten-field cycle a clip starts; field selector 0 is a whole
// frame, 1 the first field in time, 2 the second.
#pragma once

#include <cstdint>

// The cadence index of a stored phase code (0 undetermined, 1 to 5).
int32_t CadenceIndex(int32_t phaseCode);

// The film frame carried by output unit q (an integer value) of a 3:2 output.
int32_t OutputFilmFrame(double outputUnit, int32_t cadence, int32_t fieldSelector);

// The source field of a 3:2 source that carries the requested field of film
// frame trunc(floor(x)).
int32_t InputFilmField(double filmPosition, int32_t cadence, int32_t fieldSelector);

// The source field of a 3:2 source read at uniform film time at position x.
int32_t PulldownFieldAt(double sourcePosition, int32_t cadence, int32_t fieldSelector);
