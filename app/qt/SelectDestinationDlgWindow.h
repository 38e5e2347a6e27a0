/// \file
/// CSelectDestinationDlgWindow — the "Select the Destination" dialog on
/// screen: the other open documents, one to copy an element into.
#pragma once

#include <QDialog>

namespace quillon {

class CSelectDestinationDlg;

class CSelectDestinationDlgWindow : public QDialog {
  Q_OBJECT

 public:
  CSelectDestinationDlgWindow(CSelectDestinationDlg& dialog, QWidget* parent = nullptr);
};

}  // namespace quillon
