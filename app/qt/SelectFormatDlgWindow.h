/// \file
/// CSelectFormatDlgWindow — the "Select Format" dialog on screen: the
/// transfer syntax, "Convert to Monochrome" and the formats a
/// CSelectFormatDlg offers.
#pragma once

#include <QDialog>

namespace quillon {

class CSelectFormatDlg;

class CSelectFormatDlgWindow : public QDialog {
  Q_OBJECT

 public:
  explicit CSelectFormatDlgWindow(CSelectFormatDlg& dialog, QWidget* parent = nullptr);
};

}  // namespace quillon
