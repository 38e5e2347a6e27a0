/// \file
/// Printing a document's element list: its rows in a fixed-pitch font under
/// the column header, page after page, with the document's title and the
/// page number at the foot of each page. Print Preview draws the same pages.
#pragma once

class QPrinter;

namespace quillon {

class CDicomImageDoc;

/// Prints every row of `document` on `printer`; returns the pages printed
/// (0 when the printer could not be started).
int PrintDumpRows(const CDicomImageDoc& document, QPrinter& printer);

}  // namespace quillon
