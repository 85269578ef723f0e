// libmltcorvalis.so: MLT finds the module's services through this one symbol.
#include <framework/mlt.h>

#include "mlt/corvalis_link.h"

extern "C" __attribute__((visibility("default"))) MLT_REPOSITORY {
  mltlink::RegisterServices(repository);
}
