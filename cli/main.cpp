// korvane-cli: the headless driver of the image library and the codec. The
// subcommands register themselves in their own files (cmd_*.cpp).
#include "cli/cli.h"
#ifdef KORVANE_METAFILES
#include "metafile/metafile.h"
#endif

int main(int argc, char** argv) {
#ifdef KORVANE_METAFILES
  // Built with the metafile component: .wmf and .emf files are read like any image.
  metafile::RegisterWithFileService();
#endif
  return cli::Run(argc, argv);
}
