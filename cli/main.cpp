// korvane-cli: the headless driver of the image library and the codec.
#include <cstdio>

int main() {
  std::fprintf(stderr, "usage: korvane-cli COMMAND ...\n");
  return 2;
}
