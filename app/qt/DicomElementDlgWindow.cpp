#include "app/qt/DicomElementDlgWindow.h"

#include "app/DicomElementDlg.h"
#include "app/HexValue.h"
#include "app/qt/HexValueEdit.h"
#include "app/qt/TagField.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cctype>

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
  m_value = new CHexValueEdit(this);
  m_value->setObjectName("value");
  m_value->setFont(fixed);
  m_value->setTabChangesFocus(true);

  auto* lookup = new QPushButton(QStringLiteral("Lookup VR"), this);
  auto* createUid = new QPushButton(QStringLiteral("Create UID"), this);
  m_import = new QPushButton(QStringLiteral("Import..."), this);
  m_import->setObjectName("import");
  m_import->setToolTip(QStringLiteral("Replace the value by the bytes of a file"));
  m_export = new QPushButton(QStringLiteral("Export..."), this);
  m_export->setObjectName("export");
  m_export->setToolTip(QStringLiteral("Write the value's bytes to a file"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  for (QPushButton* button : {lookup, createUid, m_import, m_export}) button->setAutoDefault(false);
  m_valueLabel = new QLabel(QStringLiteral("Value"), this);
  m_valueLabel->setObjectName("valueLabel");

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Tag"), this), 0, 0, 1, 2);
  layout->addWidget(new QLabel(QStringLiteral("VR"), this), 0, 2);
  layout->addWidget(new QLabel(QStringLiteral("Length"), this), 0, 4);
  layout->addWidget(m_group, 1, 0);
  layout->addWidget(m_element, 1, 1);
  layout->addWidget(m_vr, 1, 2);
  layout->setColumnStretch(3, 1);
  layout->addWidget(m_length, 1, 4);
  layout->addWidget(m_valueLabel, 2, 0, 1, 5);
  layout->addWidget(m_value, 3, 0, 1, 5);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lookup);
  bottom->addWidget(createUid);
  bottom->addWidget(m_import);
  bottom->addWidget(m_export);
  bottom->addStretch(1);
  bottom->addWidget(buttons);
  layout->addLayout(bottom, 4, 0, 1, 5);
  // Wide enough for the offsets and a line of 16 hexadecimal bytes.
  const int hexLine = QFontMetrics(fixed).horizontalAdvance(QString(16 * 3 + 2, QLatin1Char('0')));
  resize(std::max(560, hexLine + 160), 380);

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
    SetValueText();
  });
  // With no VR chosen the tag decides whether the value is binary.
  for (QLineEdit* field : {m_group, m_element}) {
    connect(field, &QLineEdit::textEdited, this, [this] {
      m_dialog.groupText = m_group->text().toStdString();
      m_dialog.elementText = m_element->text().toStdString();
      ShowValueMode();
    });
  }
  connect(m_import, &QPushButton::clicked, this, &CDicomElementDlgWindow::Import);
  connect(m_export, &QPushButton::clicked, this, &CDicomElementDlgWindow::Export);
  // The length follows the typed bytes (it may then be raised to add zeros).
  connect(m_value, &QPlainTextEdit::textChanged, this, [this] {
    if (m_dialog.IsValueHeld() || !m_dialog.IsBinary()) return;
    std::string ignored;
    if (auto bytes = ParseHexBytes(m_value->toPlainText().toStdString(), ignored)) {
      m_length->setText(QString::number(bytes->size()));
    }
  });
  // Lines of hexadecimal carry no offsets: the label tells where the
  // cursor stands.
  connect(m_value, &QPlainTextEdit::cursorPositionChanged, this, &CDicomElementDlgWindow::ShowValueMode);
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
  if (!m_dialog.IsValueHeld()) m_dialog.valueText = m_value->toPlainText().toStdString();
  m_dialog.lengthText = m_length->text().toStdString();
}

void CDicomElementDlgWindow::SetValueText() {
  // Shown, not typed: the length keeps what the logic says.
  const QSignalBlocker quiet(m_value);
  m_value->setPlainText(QString::fromStdString(m_dialog.valueText));
}

void CDicomElementDlgWindow::ShowFields() {
  m_group->setText(QString::fromStdString(m_dialog.groupText));
  m_element->setText(QString::fromStdString(m_dialog.elementText));
  SetValueText();
  m_length->setText(QString::fromStdString(m_dialog.lengthText));
  ShowVr();
}

void CDicomElementDlgWindow::ShowVr() {
  m_vr->setCurrentIndex(m_dialog.SelectedVrIndex());
  m_length->setReadOnly(!m_dialog.IsLengthEditable());
  m_length->setEnabled(m_dialog.IsLengthEditable());
  // Switching away from a binary VR may have dropped a held value.
  if (m_value->isReadOnly() && !m_dialog.IsValueHeld()) SetValueText();
  ShowValueMode();
}

void CDicomElementDlgWindow::ShowValueMode() {
  const bool binary = m_dialog.IsBinary();
  const bool held = m_dialog.IsValueHeld();
  m_import->setVisible(binary);
  m_export->setVisible(binary);
  m_value->setReadOnly(held);
  m_value->SetShowOffsets(binary && !held);
  m_value->setLineWrapMode(binary ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
  QString label = held     ? QStringLiteral("Value (too large to edit here: import a file to replace it)")
                  : binary ? QStringLiteral("Value (hexadecimal bytes, as the file holds them)")
                           : QStringLiteral("Value");
  if (binary && !held) {
    const QString text = m_value->toPlainText();
    const int end = std::min(static_cast<int>(text.size()), m_value->textCursor().position());
    int digits = 0;
    for (int i = 0; i < end; ++i) digits += std::isxdigit(text[i].unicode() < 128 ? text[i].toLatin1() : 0) != 0;
    label += QStringLiteral("    cursor at byte %1 (0x%2)").arg(digits / 2).arg(digits / 2, 4, 16, QLatin1Char('0'));
  }
  m_valueLabel->setText(label);
}

void CDicomElementDlgWindow::Import() {
  TakeFields();
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import the Value from a File"),
                                                    QString::fromStdString(m_dialog.Folder()));
  if (path.isEmpty()) return;
  if (!m_dialog.ImportValue(path.toStdString(), m_ui)) return;
  SetValueText();
  m_length->setText(QString::fromStdString(m_dialog.lengthText));
  ShowVr();
}

void CDicomElementDlgWindow::Export() {
  TakeFields();
  const QString suggested =
      QStringLiteral("%1_%2.bin")
          .arg(QString::fromStdString(m_dialog.groupText), QString::fromStdString(m_dialog.elementText));
  const QString folder = QString::fromStdString(m_dialog.Folder());
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export the Value to a File"),
                                                    folder.isEmpty() ? suggested : folder + '/' + suggested);
  if (path.isEmpty()) return;
  (void)m_dialog.ExportValue(path.toStdString(), m_ui);
}

void CDicomElementDlgWindow::accept() {
  TakeFields();
  if (m_dialog.Accept(m_ui)) QDialog::accept();
}

}  // namespace quillon
