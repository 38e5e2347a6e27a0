/// \file
/// CDicomElementDlgWindow — the "DICOM Element" dialog on screen: tag, VR,
/// length and value fields over a CDicomElementDlg, which decides what the
/// buttons do and whether OK may close the dialog.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

class CDicomElementDlg;
class CHexValueEdit;
class ISettingsStore;
class IUserInterface;

class CDicomElementDlgWindow : public QDialog {
  Q_OBJECT

 public:
  CDicomElementDlgWindow(CDicomElementDlg& dialog, IUserInterface& ui, ISettingsStore* settings,
                         QWidget* parent = nullptr);

  void accept() override;

 private:
  /// Copies the fields into the dialog's logic, and back.
  void TakeFields();
  void ShowFields();
  void ShowVr();
  /// The value field as the VR calls for: hexadecimal, or read-only over a
  /// value too large to show; Import and Export for binary VRs.
  void ShowValueMode();
  /// Puts the logic's value text in the field.
  void SetValueText();
  void Import();
  void Export();

  CDicomElementDlg& m_dialog;
  IUserInterface& m_ui;
  ISettingsStore* m_settings;
  QLineEdit* m_group;
  QLineEdit* m_element;
  QComboBox* m_vr;
  QLineEdit* m_length;
  CHexValueEdit* m_value;
  QLabel* m_valueLabel;
  QPushButton* m_import;
  QPushButton* m_export;
};

}  // namespace quillon
