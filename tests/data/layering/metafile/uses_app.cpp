// Wrong: the metafile drawing knows nothing of the programs; Qt is fine here.
#include <QImage>
#include "app/compr.h"
