// korvane-cli: the headless driver of the image library and the codec. The
// subcommands register themselves in their own files (cmd_*.cpp).
#include "cli/cli.h"

int main(int argc, char** argv) {
  return cli::Run(argc, argv);
}
