// Metafiles through the program's one file service: opening draws them, and
// describing reads their kind and size from the headers.
#include "io/files.h"
#include "metafile/metafile.h"

namespace metafile {

namespace {

// Drawn in the helper process: a file that crashes or stalls the players
// becomes an error of that file.
void LoadInto(const std::string& path, TPixelGraphic& image) {
  LoadMetafileFileGuarded(path, image);
}

io::TFileDescription Describe(const std::string& path) {
  const TMetafileInfo info = ReadMetafileFileInfo(path);
  io::TFileDescription d;
  d.TypeName = MetafileTypeName(info.Kind);
  d.Info.Count = 1;
  d.Info.BitsPerPixel = 8;
  d.Info.Colors = "256";
  d.Info.Width = info.Width;
  d.Info.Height = info.Height;
  d.Text = MetafileInfoText(info);
  return d;
}

}  // namespace

void RegisterWithFileService() {
  io::SetMetafileHandler({.Load = LoadInto, .Describe = Describe});
}

}  // namespace metafile
