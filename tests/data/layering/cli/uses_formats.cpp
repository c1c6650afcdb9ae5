// Wrong: the command line reaches the formats only through io.
#include "pgraphic/formats/fileformat.h"
