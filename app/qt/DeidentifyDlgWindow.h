/// \file
/// CDeidentifyDlgWindow — the "De-identify" dialog on screen: a check box
/// per option, the UID map file, and for a folder the input and output
/// folders, each with a chooser.
#pragma once

#include <QDialog>

class QGridLayout;
class QLineEdit;

namespace quillon {

class CDeidentifyDlg;
class IUserInterface;

class CDeidentifyDlgWindow : public QDialog {
  Q_OBJECT

 public:
  CDeidentifyDlgWindow(CDeidentifyDlg& dialog, IUserInterface& ui, QWidget* parent = nullptr);
  void accept() override;

 private:
  /// A line edit named `name` with a "Browse..." button that fills it from
  /// a folder chooser (or a file chooser when `folder` is false).
  QLineEdit* AddPathRow(QGridLayout& layout, const QString& label, const char* name, bool folder);

  CDeidentifyDlg& m_dialog;
  IUserInterface& m_ui;
  QLineEdit* m_input = nullptr;
  QLineEdit* m_output = nullptr;
  QLineEdit* m_uidMap = nullptr;
};

}  // namespace quillon
