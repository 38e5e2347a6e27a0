/// \file
/// The pixel commands of a document: Compress Pixel Data and Decompress
/// Pixel Data (a format chosen in "Select Format", a new file written from
/// the document's file, frame by frame) and Compare Pixel Data (the
/// document's frames against another file's). They read the document's
/// file, not its unsaved changes, and run with progress and Cancel.
#pragma once

namespace quillon {

class CDicomImageDoc;
class CQuillonApp;
class IUserInterface;

void CompressPixelData(CQuillonApp& app, CDicomImageDoc& document, IUserInterface& ui);
void DecompressPixelData(CQuillonApp& app, CDicomImageDoc& document, IUserInterface& ui);
void ComparePixelData(CDicomImageDoc& document, IUserInterface& ui);

/// A monochrome source is one whose Photometric Interpretation contains
/// "MONOCHROME"; anything else is treated as colour.
bool IsMonochromeDocument(const CDicomImageDoc& document);

}  // namespace quillon
