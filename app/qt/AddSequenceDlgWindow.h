/// \file
/// CAddSequenceDlgWindow — the "Add Sequence Element" dialog on screen.
#pragma once

#include <QDialog>

class QLineEdit;

namespace quillon {

class CAddSequenceDlg;
class IUserInterface;

class CAddSequenceDlgWindow : public QDialog {
  Q_OBJECT

 public:
  CAddSequenceDlgWindow(CAddSequenceDlg& dialog, IUserInterface& ui, QWidget* parent = nullptr);
  void accept() override;

 private:
  CAddSequenceDlg& m_dialog;
  IUserInterface& m_ui;
  QLineEdit* m_group;
  QLineEdit* m_element;
};

}  // namespace quillon
