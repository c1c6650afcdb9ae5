#include "pgraphic/formats/registry.h"

#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/gif.h"
#include "pgraphic/formats/ico.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/pcx.h"
#include "pgraphic/formats/png.h"
#include "pgraphic/formats/pxm.h"
#include "pgraphic/formats/tga.h"
#include "pgraphic/formats/tiff.h"

namespace pgraphic {

// Every format's header declares its Add...Readers / Add...Writers functions.
// The order of appending: readers bmp, dib, rle, jpg, jpeg, jif, png, pcx, pbm,
// pgm, ppm, tga, tif, tiff, then ico and gif; writers bmp, dib, jpg, jpeg, jif,
// png, pbm, pgm, ppm, tga, tif, tiff. (Both lists are sorted by extension before use.)
void RegisterFileFormats(TReaderList& readers, TWriterList& writers) {
  // readers
  AddBMPReaders(readers);
  AddJPEGReaders(readers);
  AddPNGReaders(readers);
  AddPCXReaders(readers);
  AddPxMReaders(readers);
  AddTGAReaders(readers);
  AddTIFFReaders(readers);
  // after every other reader:
  AddICOReaders(readers);
  AddGIFReaders(readers);
  // writers
  AddBMPWriters(writers);
  AddJPEGWriters(writers);
  AddPNGWriters(writers);
  AddPxMWriters(writers);
  AddTGAWriters(writers);
  AddTIFFWriters(writers);
}

void CheckFormatLibraries() {
  // The PNG records the program fills are checked when it is compiled.
  CheckJPEGLibraryLayouts();
}

}  // namespace pgraphic
