#include "pgraphic/formats/png.h"
#include "io/files.h"
