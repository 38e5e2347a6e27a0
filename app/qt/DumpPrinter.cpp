#include "app/qt/DumpPrinter.h"

#include "app/DicomImageDoc.h"
#include "app/qt/DumpRowModel.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

namespace quillon {

int PrintDumpRows(const CDicomImageDoc& document, QPrinter& printer) {
  QPainter painter;
  if (!painter.begin(&printer)) return 0;
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSizeF(7.5);  // a whole row with a short value fits a portrait page
  painter.setFont(font);
  const QFontMetrics metrics(font, painter.device());
  const QRect page = painter.viewport();
  const int lineHeight = metrics.lineSpacing();
  const int footerHeight = 2 * lineHeight;
  const int linesPerPage = std::max(1, (page.height() - footerHeight) / lineHeight - 2);
  const QString title = QString::fromStdString(document.Title());

  const DumpRowList& rows = document.Rows();
  int pages = 0;
  size_t next = 0;
  do {
    if (pages > 0) printer.newPage();
    ++pages;
    int y = metrics.ascent();
    painter.drawText(0, y, CDumpRowModel::kHeader);
    y += lineHeight;
    painter.drawLine(0, y - lineHeight / 2, page.width(), y - lineHeight / 2);
    for (int line = 0; line < linesPerPage && next < rows.Size(); ++line, ++next) {
      y += lineHeight;
      const std::string text = rows.DisplayText(next);
      painter.drawText(0, y, metrics.elidedText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                                                Qt::ElideRight, page.width()));
    }
    painter.drawText(QRect(0, page.height() - lineHeight, page.width(), lineHeight), Qt::AlignLeft, title);
    painter.drawText(QRect(0, page.height() - lineHeight, page.width(), lineHeight), Qt::AlignRight,
                     QStringLiteral("Page %1").arg(pages));
  } while (next < rows.Size());
  painter.end();
  return pages;
}

}  // namespace quillon
