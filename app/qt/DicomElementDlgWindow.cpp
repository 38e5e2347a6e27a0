#include "app/qt/DicomElementDlgWindow.h"

#include "app/DicomElementDlg.h"
#include "app/qt/TagField.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quillon {

CDicomElementDlgWindow::CDicomElementDlgWindow(CDicomElementDlg& dialog, IUserInterface& ui,
                                               ISettingsStore* settings, QWidget* parent)
    : QDialog(parent), m_dialog(dialog), m_ui(ui), m_settings(settings) {
  setWindowTitle(QStringLiteral("DICOM Element"));
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

  m_group = new QLineEdit(this);
  m_element = new QLineEdit(this);
  SetUpTagField(m_group, "group");
  SetUpTagField(m_element, "element");
  m_vr = new QComboBox(this);
  m_vr->setObjectName("vr");
  for (const char* name : CDicomElementDlg::kVrNames) m_vr->addItem(QString::fromLatin1(name));
  m_length = new QLineEdit(this);
  m_length->setObjectName("length");
  m_length->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,10}"), m_length));
  m_value = new QPlainTextEdit(this);
  m_value->setObjectName("value");
  m_value->setFont(fixed);
  m_value->setTabChangesFocus(true);

  auto* lookup = new QPushButton(QStringLiteral("Lookup VR"), this);
  auto* createUid = new QPushButton(QStringLiteral("Create UID"), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  for (QPushButton* button : {lookup, createUid}) button->setAutoDefault(false);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Tag"), this), 0, 0, 1, 2);
  layout->addWidget(new QLabel(QStringLiteral("VR"), this), 0, 2);
  layout->addWidget(new QLabel(QStringLiteral("Length"), this), 0, 4);
  layout->addWidget(m_group, 1, 0);
  layout->addWidget(m_element, 1, 1);
  layout->addWidget(m_vr, 1, 2);
  layout->setColumnStretch(3, 1);
  layout->addWidget(m_length, 1, 4);
  layout->addWidget(new QLabel(QStringLiteral("Value"), this), 2, 0, 1, 5);
  layout->addWidget(m_value, 3, 0, 1, 5);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lookup);
  bottom->addWidget(createUid);
  bottom->addStretch(1);
  bottom->addWidget(buttons);
  layout->addLayout(bottom, 4, 0, 1, 5);
  resize(520, 330);

  connect(m_vr, &QComboBox::activated, this, [this](int index) {
    m_dialog.SelectVrIndex(index);
    ShowVr();
  });
  connect(lookup, &QPushButton::clicked, this, [this] {
    TakeFields();
    m_dialog.LookupVR();
    ShowVr();
  });
  connect(createUid, &QPushButton::clicked, this, [this] {
    TakeFields();
    m_dialog.CreateUid(m_settings);
    m_value->setPlainText(QString::fromStdString(m_dialog.valueText));
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &CDicomElementDlgWindow::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDicomElementDlgWindow::reject);

  ShowFields();
  // Editing keeps the tag: it names the element being edited.
  m_group->setReadOnly(!m_dialog.IsInsertMode());
  m_element->setReadOnly(!m_dialog.IsInsertMode());
  (m_dialog.IsInsertMode() ? static_cast<QWidget*>(m_group) : m_value)->setFocus();
}

void CDicomElementDlgWindow::TakeFields() {
  m_dialog.groupText = m_group->text().toStdString();
  m_dialog.elementText = m_element->text().toStdString();
  m_dialog.valueText = m_value->toPlainText().toStdString();
  m_dialog.lengthText = m_length->text().toStdString();
}

void CDicomElementDlgWindow::ShowFields() {
  m_group->setText(QString::fromStdString(m_dialog.groupText));
  m_element->setText(QString::fromStdString(m_dialog.elementText));
  m_value->setPlainText(QString::fromStdString(m_dialog.valueText));
  m_length->setText(QString::fromStdString(m_dialog.lengthText));
  ShowVr();
}

void CDicomElementDlgWindow::ShowVr() {
  m_vr->setCurrentIndex(m_dialog.SelectedVrIndex());
  m_length->setReadOnly(!m_dialog.IsLengthEditable());
  m_length->setEnabled(m_dialog.IsLengthEditable());
}

void CDicomElementDlgWindow::accept() {
  TakeFields();
  if (m_dialog.Accept(m_ui)) QDialog::accept();
}

}  // namespace quillon
