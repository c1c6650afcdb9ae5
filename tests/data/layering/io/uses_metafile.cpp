// Wrong: io knows the metafile drawing only through the handler registered with it.
#include "metafile/metafile.h"
