#include <vector>
#include "pgraphic/stream.h"
#include "pgraphic/formats/bmp.h"
