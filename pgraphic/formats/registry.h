// Each format adds its reader and writer objects to the process-wide lists.
#pragma once

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// Fills both lists in their fixed order; called once by PGraphicStartup.
void RegisterFileFormats(TReaderList& readers, TWriterList& writers);

}  // namespace pgraphic
