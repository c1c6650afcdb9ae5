#include "io/files.h"
#include <QtCore/QString>
