#include "pgraphic/filters/filter.h"
#include "pgraphic/formats/fileformat.h"
