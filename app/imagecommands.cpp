// The commands that change the picture on show: filters, colour resolution,
// mirror, rotate, image size, crop, and compressing with the codec. Each runs
// as one transaction: an undo copy, the other commands disabled, the operation,
// and a single recovery path for every failure.
#include <QApplication>
#include <QCursor>

#include "app/compr.h"
#include "app/imsize.h"
#include "app/my_open.h"
#include "app/quality.h"
#include "pgraphic/dialogs/filterdialog.h"
#include "pgraphic/filters/filter.h"
#include "pgraphic/image/colorres.h"
#include "pgraphic/image/geometry.h"

namespace app {

namespace {

using pgraphic::TPixelGraphic;

void RestoreCursor() {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

}  // namespace

// ---- The protocol ------------------------------------------------------------------

void TForm1::EndCompressedState() {
  if (!Shown.Compressed) return;
  Shown.Compressed = false;
  Shown.ReleaseCompressedData();
}

void TForm1::ArmPixelUndo() {
  All_Deactivate();
  if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
  SetItemEnabled("U1", true);
  SetButtonEnabled("SB9", true);
  Shown.UndoKind = TUndoKind::Image;
  Shown.UndoBlocked = false;
  Shown.UndoEdited = Shown.Edited;
  TPixelGraphic* image = PGImage1->Graphic();
  if (!image) throw std::runtime_error("no image");
  PGImage2->SetGraphic(PGImage1->CopyGraphic());
  Shown.UndoPixelFormat = image->PixelFormat();
  Shown.UndoPaletteIdent = image->PaletteIdent();
}

void TForm1::FinishImageCommand(bool focusList) {
  All_Activate();
  RestoreCursor();
  update();
  if (focusList) FocusList();
}

void TForm1::FailImageCommand() {
  RestoreCursor();
  ShowErrorBox(this, "Can not perform this operation.");
  All_Activate();
  Shown.UndoBlocked = true;
  SetItemEnabled("U1", false);
  SetButtonEnabled("SB9", false);
  FocusList();
}

// Runs a command that returns whether it entered the protocol (a dialog
// cancelled before any undo copy leaves the window as it was).
bool TForm1::RunImageCommand(const std::function<bool()>& command, bool focusList) {
  // Every command shows its result as a new picture: one that differs from the
  // picture before (alive until then, so never at the same address) marks the
  // image edited, even when the command failed after; a dialog cancelled leaves
  // it unmarked.
  const TPixelGraphic* before = nullptr;
  const auto markEdited = [&] {
    if (PGImage1->Graphic() != before) Shown.Edited = true;
  };
  try {
    before = PGImage1->Graphic();
    if (!before) return false;
    const bool entered = command();
    markEdited();
    if (entered)
      FinishImageCommand(focusList);
    else if (focusList)
      FocusList();
    return true;
  } catch (...) {
    if (before) markEdited();
    FailImageCommand();
    return false;
  }
}

// The view's image turned true-colour with the part copied in at the selection.
void TForm1::PasteIntoTrueColor(const TPixelGraphic& part) {
  auto full = pgraphic::ApplyColorCommand(*PGImage1->Graphic(), pgraphic::ccTrueColor);
  full->CopyRect(PGImage1->SelectionLeft(), PGImage1->SelectionTop(), part, 0, 0, part.Width(),
                 part.Height());
  PGImage1->SetGraphic(std::move(full));
  CheckColorResolution(pgraphic::pf24Bit, pgraphic::pTrueColor);
}

// ---- Filters -------------------------------------------------------------------------

void TForm1::PointFilterCommand(pgraphic::TPreviewFilterDialog& dialog) {
  EndCompressedState();
  RunImageCommand([&] {
    if (PGImage1->Selection()) {
      ArmPixelUndo();
      auto part = PGImage1->SelectionImage();
      RestoreCursor();  // the dialog is used with the normal cursor
      if (dialog.Execute(*part)) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        pgraphic::ApplyFilter(*part, dialog.Filter(), *part);
        PasteIntoTrueColor(*part);
      }
      return true;
    }
    if (!dialog.Execute(*PGImage1->Graphic())) return false;
    ArmPixelUndo();
    auto image = PGImage1->CopyGraphic();
    pgraphic::ApplyFilter(*image, dialog.Filter(), *image);
    CheckColorResolution(image->PixelFormat(), image->PaletteIdent());
    PGImage1->SetGraphic(std::move(image));
    return true;
  });
}

void TForm1::ConvFilterCommand(pgraphic::TFilterDialog& dialog) {
  EndCompressedState();
  RunImageCommand([&] {
    if (PGImage1->Selection()) {
      ArmPixelUndo();
      auto part = PGImage1->SelectionImage();
      TPixelGraphic filtered;
      RestoreCursor();
      if (dialog.Execute()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        pgraphic::ApplyFilter(filtered, dialog.Filter(), *part);
        PasteIntoTrueColor(filtered);
      }
      return true;
    }
    if (!dialog.Execute()) return false;
    ArmPixelUndo();
    QCoreApplication::processEvents();
    auto filtered = std::make_unique<TPixelGraphic>();
    pgraphic::ApplyFilter(*filtered, dialog.Filter(), *PGImage1->Graphic());
    PGImage1->SetGraphic(std::move(filtered));
    CheckColorResolution(pgraphic::pf24Bit, pgraphic::pTrueColor);
    return true;
  });
}

void TForm1::RGB1Click() {
  PointFilterCommand(Child<pgraphic::TRGBFilterDialog>(*this));
}
void TForm1::CMY1Click() {
  PointFilterCommand(Child<pgraphic::TCMYFilterDialog>(*this));
}
void TForm1::YCbCr1Click() {
  PointFilterCommand(Child<pgraphic::TYCbCrFilterDialog>(*this));
}
void TForm1::HLS1Click() {
  PointFilterCommand(Child<pgraphic::THLSFilterDialog>(*this));
}
void TForm1::HSV1Click() {
  PointFilterCommand(Child<pgraphic::THSVFilterDialog>(*this));
}
void TForm1::BCG1Click() {
  PointFilterCommand(Child<pgraphic::TBCGFilterDialog>(*this));
}
void TForm1::Grayscale1Click() {
  PointFilterCommand(Child<pgraphic::TGrayScaleFilterDialog>(*this));
}
void TForm1::Negative1Click() {
  PointFilterCommand(Child<pgraphic::TNegativeFilterDialog>(*this));
}
void TForm1::S2Click() {
  ConvFilterCommand(Child<pgraphic::TSharpenFilterDialog>(*this));
}
void TForm1::N14Click() {
  ConvFilterCommand(Child<pgraphic::TDetailFilterDialog>(*this));
}
void TForm1::S3Click() {
  ConvFilterCommand(Child<pgraphic::TSmoothFilterDialog>(*this));
}
void TForm1::N15Click() {
  ConvFilterCommand(Child<pgraphic::TBlurFilterDialog>(*this));
}
void TForm1::C3Click() {
  ConvFilterCommand(Child<pgraphic::TContourFilterDialog>(*this));
}

// ---- Colour resolution, mirror, rotate --------------------------------------------------

void TForm1::ColorCommand(int command) {
  EndCompressedState();
  RunImageCommand([&] {
    ArmPixelUndo();
    QCoreApplication::processEvents();
    auto image = pgraphic::ApplyColorCommand(*PGImage1->Graphic(),
                                             static_cast<pgraphic::TColorCommand>(command));
    CheckColorResolution(image->PixelFormat(), image->PaletteIdent());
    PGImage1->SetGraphic(std::move(image));
    return true;
  });
}

void TForm1::N11Click() {
  ColorCommand(pgraphic::ccColors2);
}
void TForm1::N12Click() {
  ColorCommand(pgraphic::ccColors16);
}
void TForm1::N21Click() {
  ColorCommand(pgraphic::ccColors256);
}
void TForm1::N22Click() {
  ColorCommand(pgraphic::ccGray256);
}
void TForm1::T1Click() {
  ColorCommand(pgraphic::ccTrueColor);
}

void TForm1::MirrorCommand(bool vertical) {
  EndCompressedState();
  RunImageCommand([&] {
    ArmPixelUndo();
    const bool selection = PGImage1->Selection();
    auto part = selection ? PGImage1->SelectionImage() : PGImage1->CopyGraphic();
    if (vertical)
      part->MirrorVertical();
    else
      part->MirrorHorizontal();
    if (selection) {
      auto image = PGImage1->CopyGraphic();
      image->CopyRect(PGImage1->SelectionLeft(), PGImage1->SelectionTop(), *part, 0, 0,
                      part->Width(), part->Height());
      part = std::move(image);
    }
    PGImage1->SetGraphic(std::move(part));
    return true;
  });
}

void TForm1::V1Click() {
  MirrorCommand(true);
}
void TForm1::H2Click() {
  MirrorCommand(false);
}

void TForm1::RotateCommand(bool right) {
  PGImage1->RemoveSelection();
  SetItemEnabled("C5", false);
  EndCompressedState();
  RunImageCommand([&] {
    ArmPixelUndo();
    QCoreApplication::processEvents();
    PGImage1->SetGraphic(pgraphic::TurnImage(
        *PGImage1->Graphic(), right ? pgraphic::TTurn::Right90 : pgraphic::TTurn::Left90));
    return true;
  });
}

void TForm1::N5Click() {
  RotateCommand(true);
}
void TForm1::N6Click() {
  RotateCommand(false);
}

// ---- Image size and crop ---------------------------------------------------------------

void TForm1::ImS1Click() {
  PGImage1->RemoveSelection();
  SetItemEnabled("C5", false);
  const TPixelGraphic* image = PGImage1->Graphic();
  if (!image) return;
  TForm7& dialog = Child<TForm7>(*this);
  dialog.Execute(image->Width(), image->Height());
  ResizeWidth = dialog.ResizeWidth();
  ResizeHeight = dialog.ResizeHeight();
  if (ResizeWidth <= 0 || ResizeHeight <= 0) {
    FocusList();
    return;
  }
  EndCompressedState();
  RunImageCommand([&] {
    ArmPixelUndo();
    QCoreApplication::processEvents();
    PGImage1->SetGraphic(pgraphic::ResizeImage(*PGImage1->Graphic(), ResizeWidth, ResizeHeight));
    return true;
  });
}

void TForm1::C5Click() {
  if (!PGImage1->Selection()) return;
  EndCompressedState();
  RunImageCommand(
      [&] {
        ArmPixelUndo();
        auto part = PGImage1->SelectionImage();
        PGImage1->RemoveSelection();
        PGImage1->SetGraphic(std::move(part));
        return true;
      },
      false);
  SetItemEnabled("C5", false);
}

// ---- Compressing ----------------------------------------------------------------------

// Asks for a quality and compresses the image on show, which is replaced by the
// decoded result; the original goes to the undo slot. Cancelling the quality
// dialog leaves everything, the undo state included, as it was.
bool TForm1::CompressWithQuality() {
  const int16_t quality = Child<TForm3>(*this).Execute();
  if (quality <= 0) return false;
  QualityValue = quality;
  All_Deactivate();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  PGImage1->RemoveSelection();
  SetItemEnabled("C5", false);
  Shown.UndoKind = TUndoKind::Compression;
  Shown.UndoBlocked = false;
  Shown.UndoEdited = Shown.Edited;
  TPixelGraphic* image = PGImage1->Graphic();
  PGImage2->SetGraphic(PGImage1->CopyGraphic());
  Shown.UndoPixelFormat = image->PixelFormat();
  Shown.UndoPaletteIdent = image->PaletteIdent();
  // Any earlier data is dropped first, so a failing encoder leaves nothing stale.
  Shown.Compressed = false;
  Shown.ReleaseCompressedData();
  io::CompressResult result = io::CompressInteractive(*image, quality);
  Shown.CompressedData = std::move(result.Data);
  Shown.Compressed = true;
  PGImage1->SetGraphic(std::move(result.Preview));
  CheckColorResolution(pgraphic::pf24Bit, pgraphic::pTrueColor);
  SetItemEnabled("U1", true);
  SetButtonEnabled("SB9", true);
  RestoreCursor();
  ShowInfoBox(this, QString::fromStdString(result.Message));
  return true;
}

void TForm1::SB14Click() {
  RunImageCommand([&] { return CompressWithQuality(); });
}

void TForm1::SB51Click() {
  if (Shown.Compressed) {
    DialogMode = TDialogMode::SaveVQN;
    SaveFileName.clear();
    Form6->exec();
    if (SaveFileName.isEmpty()) return;
    All_Deactivate();
    try {
      io::SaveCompressed(Shown.CompressedData, SaveFileName.toStdString());
      Shown.Edited = false;
    } catch (...) {
      // The data are written beside the target first, so an existing file survives.
      All_Activate();
      ShowSaveFailed(this, SaveFileName, std::current_exception());
      return;
    }
    All_Activate();
    try {
      PTSList1->Refresh();
    } catch (...) {
    }
    return;
  }
  if (!AskYesNo(this, "The image is not compressed. Would you like to compress it now?")) return;
  RunImageCommand([&] { return CompressWithQuality(); });
}

}  // namespace app
