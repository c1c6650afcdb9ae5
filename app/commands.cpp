#include "app/commands.h"

namespace app {

namespace {

constexpr TMenuItemDef kTopLevel[] = {
    {"File1", "MainMenu1", "&File", "", "", false, rgNone, false, true},
    {"Edit1", "MainMenu1", "&Edit", "", "", false, rgNone, false, true},
    {"Image1", "MainMenu1", "&Image", "", "", false, rgNone, false, true},
    {"Slideshow1", "MainMenu1", "&Slide show", "", "", false, rgNone, false, true},
    {"Filter1", "MainMenu1", "Fi&lter", "", "", false, rgNone, false, true},
    {"View1", "MainMenu1", "&View", "", "", false, rgNone, false, true},
    {"Help1", "MainMenu1", "&Help", "", "", false, rgNone, false, true},
    {"N23", "MainMenu1", "", "", "", true, rgNone, false, false},
};

constexpr TMenuItemDef kItems[] = {
    {"Open1", "File1", "&Open...", "Ctrl+O", "Open1Click"},
    {"Saveas1", "File1", "&Save copy as...", "Ctrl+S", "Saveas1Click", true},
    {"Compress11", "File1", "Save as &VQN-file...", "Ctrl+W", "SB51Click", true},
    {"NSep1", "File1", "-", "", ""},
    {"N17", "File1", "&Batch conversion...", "Ctrl+B", "N17Click"},
    {"NSep2", "File1", "-", "", ""},
    {"Print1", "File1", "&Print...", "Ctrl+P", "Print1Click", true},
    {"NSep3", "File1", "-", "", ""},
    {"Exit1", "File1", "E&xit", "", "Exit1Click"},

    {"U1", "Edit1", "&Undo Last", "", "U1Click", true},
    {"N10", "Edit1", "Co&py to Clipboard", "", "N10Click", true},

    {"C5", "Image1", "Cro&p", "", "C5Click", true},
    {"ImS1", "Image1", "Image &Size...", "", "ImS1Click", true},
    {"Mirror1", "Image1", "&Mirror Image/Selection", "", "", true, rgNone, false, true},
    {"V1", "Mirror1", "&Vertically", "", "V1Click"},
    {"H2", "Mirror1", "&Horizontally", "", "H2Click"},
    {"N4", "Image1", "&Rotate Image", "", "", true, rgNone, false, true},
    {"N5", "N4", "&Right (90 degrees)", "", "N5Click"},
    {"N6", "N4", "&Left (90 degrees)", "", "N6Click"},
    {"c1", "Image1", "Color &Resolution", "", "", true, rgNone, false, true},
    {"N11", "c1", "&2 colors", "", "N11Click", false, rgColorResolution},
    {"N12", "c1", "1&6 colors", "", "N12Click", false, rgColorResolution},
    {"N21", "c1", "2&56 colors", "", "N21Click", false, rgColorResolution},
    {"N22", "c1", "&Gray (8 bit)", "", "N22Click", false, rgColorResolution},
    {"T1", "c1", "&True color (24 bit)", "", "T1Click", false, rgColorResolution, true},
    {"NSep4", "Image1", "-", "", ""},
    {"C4", "Image1", "&Compress Image", "", "SB14Click", true},

    {"N19", "Slideshow1", "&Run", "", "N19Click", true},
    {"S5", "Slideshow1", "&Stop", "", "S5Click", true},
    {"NSep5", "Slideshow1", "-", "", ""},
    {"S6", "Slideshow1", "Settings...", "", "S6Click"},

    {"RGB1", "Filter1", "&RGB...", "", "RGB1Click", true},
    {"CMY1", "Filter1", "&CMY...", "", "CMY1Click", true},
    {"YCbCr1", "Filter1", "&YCbCr...", "", "YCbCr1Click", true},
    {"HLS1", "Filter1", "&HLS...", "", "HLS1Click", true},
    {"HSV1", "Filter1", "HS&V...", "", "HSV1Click", true},
    {"BCG1", "Filter1", "&Brightness, Contrast, Gamma...", "", "BCG1Click", true},
    {"Grayscale1", "Filter1", "&Grayscale...", "", "Grayscale1Click", true},
    {"Negative1", "Filter1", "&Negative...", "", "Negative1Click", true},
    {"NSep6", "Filter1", "-", "", ""},
    {"S2", "Filter1", "&Sharpen...", "", "S2Click", true},
    {"N14", "Filter1", "&Detail...", "", "N14Click", true},
    {"S3", "Filter1", "S&mooth...", "", "S3Click", true},
    {"N15", "Filter1", "Bl&ur...", "", "N15Click", true},
    {"C3", "Filter1", "Con&tour...", "", "C3Click", true},

    {"Zoom1", "View1", "&Zoom", "", "", true, rgNone, false, true},
    {"ShrinktoFit1", "Zoom1", "&Shrink to Fit", "", "ShrinktoFit1Click", false, rgZoom},
    {"GrowtoFit1", "Zoom1", "&Grow to Fit", "", "GrowtoFit1Click", false, rgZoom},
    {"Stretchtofit1", "Zoom1", "Stretch to &Fit", "", "Stretchtofit1Click", false, rgZoom},
    {"N252", "Zoom1", "25%", "", "N252Click", false, rgZoom},
    {"N502", "Zoom1", "&50%", "", "N502Click", false, rgZoom},
    {"N1002", "Zoom1", "&100%", "", "N1002Click", false, rgZoom, true},
    {"N2002", "Zoom1", "&200%", "", "N2002Click", false, rgZoom},
    {"N3002", "Zoom1", "&300%", "", "N3002Click", false, rgZoom},
    {"Stretchmode1", "View1", "Zoom &Mode", "", "", true, rgNone, false, true},
    {"Fast1", "Stretchmode1", "&Fast", "", "Fast1Click", false, rgZoomMode},
    {"Medium1", "Stretchmode1", "&Medium", "", "Medium1Click", false, rgZoomMode, true},
    {"Precise1", "Stretchmode1", "&Precise", "", "Precise1Click", false, rgZoomMode},

    {"Help2", "Help1", "&Help topics...", "F1", "Help2Click"},
    {"About1", "Help1", "&About...", "", "About1Click"},
};

constexpr TPopupItemDef kPopup[] = {
    {"Zoom2", "PopupMenu1", "&Zoom", "Zoom1", true},
    {"ShrinktoFit2", "Zoom2", "&Shrihk to Fit", "ShrinktoFit1"},
    {"GrowtoFit2", "Zoom2", "&Grow to Fit", "GrowtoFit1"},
    {"StretchtoFit2", "Zoom2", "Stretch to &Fit", "Stretchtofit1"},
    {"N251", "Zoom2", "25%", "N252"},
    {"N501", "Zoom2", "&50%", "N502"},
    {"N1001", "Zoom2", "&100%", "N1002"},
    {"N2001", "Zoom2", "&200%", "N2002"},
    {"N3001", "Zoom2", "&300%", "N3002"},
    {"Zoommode1", "PopupMenu1", "Zoom Mo&de", "Stretchmode1", true},
    {"Fast2", "Zoommode1", "&Fast", "Fast1"},
    {"Medium2", "Zoommode1", "&Medium", "Medium1"},
    {"Precise2", "Zoommode1", "&Precise", "Precise1"},
    {"Mirror2", "PopupMenu1", "&Mirror Image/Selection", "Mirror1", true},
    {"V2", "Mirror2", "&Vertically", "V1"},
    {"H3", "Mirror2", "&Horizontally", "H2"},
    {"Rotate2", "PopupMenu1", "&Rotate Image", "N4", true},
    {"N8", "Rotate2", "&Right (90 degrees)", "N5"},
    {"N9", "Rotate2", "&Left (90 degrees)", "N6"},
    {"bbb1", "PopupMenu1", "Image &Size...", "ImS1"},
    {"Colorresolution2", "PopupMenu1", "&Color Resolution", "c1", true},
    {"N2c", "Colorresolution2", "&2 colors", "N11"},
    {"N16c", "Colorresolution2", "1&6 colors", "N12"},
    {"N256c", "Colorresolution2", "2&56 colors", "N21"},
    {"Gray8bit1", "Colorresolution2", "&Gray (8 bit)", "N22"},
    {"Truecolor24bit1", "Colorresolution2", "&True color (24 bit)", "T1"},
    {"C2", "PopupMenu1", "Co&py to Clipboard", "N10"},
    {"N16", "PopupMenu1", "&Undo Last", "U1"},
    {"N13", "PopupMenu1", "&About...", "About1"},
};

constexpr TToolButtonDef kButtons[] = {
    {"SB1", "Open", "Open1Click", "open"},
    {"SB2", "Save Copy As", "Saveas1Click", "save", true},
    {"SB5", "Save As VQN-file", "SB51Click", "savevqn", true},
    {"-", "", "", ""},
    {"SB3", "Batch Conversion", "N17Click", "batch"},
    {"SB4", "Print", "Print1Click", "print", true},
    {"-", "", "", ""},
    {"SB19", "Hand", "SB19Click", "hand", true, 1},
    {"SB18", "Create Selection", "SB18Click", "select", true, 1},
    {"SB8", "Copy to Clipboard", "N10Click", "copy", true},
    {"-", "", "", ""},
    {"SB9", "Undo", "U1Click", "undo", true},
    {"SB14", "Compress Image", "SB14Click", "compress", true},
    {"SB11", "Rotate Left (90 degrees)", "N6Click", "rotateleft", true},
    {"SB10", "Rotate Right (90 degrees)", "N5Click", "rotateright", true},
    {"SB12", "Mirror Vertically", "V1Click", "mirrorvertical", true},
    {"SB13", "Mirror Horizontally", "H2Click", "mirrorhorizontal", true},
    {"SB15", "Image Size", "ImS1Click", "imagesize", true},
    {"-", "", "", ""},
    {"SB20", "Run/Stop Slide show", "SB20Click", "slideshow", true, 0, true},
    {"SB16", "Previous Image", "SB16Click", "previous", true},
    {"SB17", "Next Image", "SB17Click", "next", true},
};

}  // namespace

std::span<const TMenuItemDef> MainMenuTopLevel() { return kTopLevel; }
std::span<const TMenuItemDef> MainMenuItems() { return kItems; }
std::span<const TPopupItemDef> PopupMenuItems() { return kPopup; }
std::span<const TToolButtonDef> ToolButtons() { return kButtons; }

}  // namespace app
