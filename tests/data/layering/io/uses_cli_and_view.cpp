#include "codec/vqn.h"
#include "cli/cli.h"
#include "pgraphic/view/imageview.h"
#include "../cli/cli.h"
