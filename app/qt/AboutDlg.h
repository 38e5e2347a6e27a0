/// \file
/// CAboutDlg — the "About Quillon" box: the program's icon, name and
/// version.
#pragma once

#include <QDialog>

namespace quillon {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace quillon
