// Wrong: the desktop program reaches the codec and the formats only through io.
#include "codec/vqn.h"
#include "pgraphic/formats/jpeg.h"
#include "io/files.h"
#include "metafile/metafile.h"
