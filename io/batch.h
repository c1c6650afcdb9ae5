// Batch conversion: every file of a list is read, mirrored, turned, converted to
// a colour resolution and written into a target folder in one format. A run goes
// on past files that fail, and says which failed and why. A run never overwrites
// a file it wrote itself, nor a source it has yet to read: output names are
// lower-cased, so "Photo.BMP" and "photo.bmp" would both become "photo.bmp", and
// with the source folder as the target "a.jpg" would become the "a.png" still to
// be converted. Outputs are compared as places on disk (links followed), so a
// link in the target folder cannot lead one output onto another. Such a file is
// skipped and counted. Several files are converted at the same time (Jobs), with
// the outputs, meter, questions and result of one file at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/files.h"
#include "pgraphic/image/colorres.h"
#include "pgraphic/image/pixelgraphic.h"

namespace io {

using pgraphic::TColorCommand;
using pgraphic::TPixelGraphic;

// The output formats, in the order of the dialog's list.
enum class TBatchFormat : uint8_t { BMP, JPG, PBM, PGM, PNG, PPM, TGA, TIF, VQN };
enum class TBatchMirror : uint8_t { None, Vertical, Horizontal };
enum class TBatchRotate : uint8_t { None, Half, Left, Right };

// ".bmp", ".jpg", ..., ".vqn"
const char* BatchExtension(TBatchFormat format);
// From "bmp", "JPG", ".png" ...; false when not one of the nine.
bool BatchFormatFromName(const std::string& name, TBatchFormat& format);

struct TBatchSettings {
  std::string TargetFolder;
  TBatchFormat Format = TBatchFormat::BMP;
  TColorCommand Colors = pgraphic::ccTrueColor;
  TBatchMirror Mirror = TBatchMirror::None;
  TBatchRotate Rotate = TBatchRotate::None;
  // The quality value VQN output is compressed at (5..149).
  int VQNQuality = DefaultVQNQuality();
  // What a reader warning does while a file is read ("Unexpected end of file"
  // and the like); by default nothing interrupts the run.
  pgraphic::TPGWarningAction ReadWarningAction = pgraphic::pgwaIgnore;
  // How many files are converted at the same time; 0 takes one per core. The
  // outputs, the meter, the questions and the result are those of one at a time.
  int Jobs = 0;
  // Photographs are put upright by their orientation tag as they are read.
  bool AutoOrient = false;
};

// Files are read and written through OpenImage and SaveImage, VQN included.
struct TBatchHooks {
  // Asked with "Directory <folder> does not exist. Create?"; true creates it.
  // Without it the folder is not created.
  std::function<bool(const std::string& question)> ConfirmCreate;
  // Called once the target folder is ready and before any file is read, with
  // the settings the run will use (a caller may ask for a quality here);
  // returning false ends the run as interrupted, with nothing written.
  std::function<bool(TBatchSettings& settings)> BeforeRun;
  // The meter, 0 .. 100: 0 when the run starts, then at every check point
  // (before a file is read, after it was turned, after it was written);
  // returning true asks to stop, which ends the run at that point. Files are
  // written whole or not at all, so a stop never leaves a partial output file.
  // Putting the meter back to 0 after the closing message is the caller's.
  std::function<bool(int percent)> Progress;
  // Told when a file is done (error empty), has failed or was skipped.
  std::function<void(const std::string& file, const std::string& error)> FileDone;
};

struct TBatchFailure {
  std::string File;
  std::string Message;
};

// What became of one file of a run; NotConverted when the run stopped first.
enum class TBatchStatus : uint8_t { NotConverted, Converted, Failed, Skipped };

struct TBatchFile {
  std::string Source, Output;
  TBatchStatus Status = TBatchStatus::NotConverted;
  std::string Reason;  // why it failed or was skipped
};

struct TBatchResult {
  int Converted = 0;
  std::vector<TBatchFailure> Failed;
  // Sources left out because their output (by name, or the file a link leads
  // to) was written earlier in the run or is a source still to be read.
  std::vector<std::string> SkippedSameName;
  bool Interrupted = false;
  // How many files the run was given, and each of them in the list's order.
  size_t Total = 0;
  std::vector<TBatchFile> Files;
  // The closing message: "Conversion is complete!" or
  // "Conversion was interrupted by user."
  std::string Message;
  // Message, followed by the sentence on files skipped for their name when
  // there were any.
  std::string FinalMessage() const;
  // "2 of 3 files converted, 1 failed.": the counts of the closing report.
  std::string CountsText() const;
  // One line per file that failed ("FILE: REASON"), then one per file skipped
  // for its output name, in the order of the list.
  std::vector<std::string> ProblemLines() const;
  // What the closing report adds to the message: the counts, then the first
  // `shown` problem lines and "... and N more." for the rest.
  std::string ReportText(size_t shown) const;
};

// "1 file was skipped: ..." / "3 files were skipped: ..." telling that files
// were not written for their output name; empty for 0.
std::string SameNameSkippedText(size_t count);

// A run that cannot start: "No files are selected!", "Please, fill destination
// path.", "Can not create directory <folder>". Declining to create a missing
// folder raises it with an empty message.
class EBatchConversion : public pgraphic::EPixelGraphic {
 public:
  explicit EBatchConversion(const std::string& message) : EPixelGraphic(message) {}
};

// The output path of a source file: its name without the extension, in lower
// case, with the format's extension, inside the target folder.
std::string BatchOutputName(const std::string& sourceFile, const std::string& targetFolder,
                            TBatchFormat format);

// The per-file pipeline on an image already read: mirror, turn, colour
// resolution. Mirroring failures are ignored; a failing turn or colour change
// keeps the previous result.
std::unique_ptr<TPixelGraphic> BatchTransform(std::unique_ptr<TPixelGraphic> image,
                                              const TBatchSettings& settings);

TBatchResult ConvertFiles(const std::vector<std::string>& files, const TBatchSettings& settings,
                          const TBatchHooks& hooks);

}  // namespace io
