#include "pgraphic/image/pixelgraphic.h"
#include "codec/vqn.h"
