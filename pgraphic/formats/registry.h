// Each format adds its reader and writer objects to the process-wide lists.
#pragma once

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// Fills both lists in their fixed order; called once by PGraphicStartup.
void RegisterFileFormats(TReaderList& readers, TWriterList& writers);

// Start-up checks that the record layouts shared with the linked JPEG and PNG
// libraries match; raises EPixelGraphic naming the record on a mismatch.
void CheckFormatLibraries();

}  // namespace pgraphic
