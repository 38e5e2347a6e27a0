#include "app/qt/AddSequenceDlgWindow.h"

#include "app/AddSequenceDlg.h"
#include "app/qt/TagField.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace quillon {

CAddSequenceDlgWindow::CAddSequenceDlgWindow(CAddSequenceDlg& dialog, IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_dialog(dialog), m_ui(ui) {
  setWindowTitle(QStringLiteral("Add Sequence Element"));
  auto* group = new QGroupBox(QStringLiteral("Please Enter Sequence Tag"), this);
  m_group = new QLineEdit(group);
  m_element = new QLineEdit(group);
  SetUpTagField(m_group, "group");
  SetUpTagField(m_element, "element");
  auto* row = new QHBoxLayout(group);
  row->addWidget(new QLabel(QStringLiteral("Tag"), group));
  row->addWidget(m_group);
  row->addWidget(m_element);
  row->addStretch(1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CAddSequenceDlgWindow::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CAddSequenceDlgWindow::reject);
  m_group->setFocus();
}

void CAddSequenceDlgWindow::accept() {
  m_dialog.groupText = m_group->text().toStdString();
  m_dialog.elementText = m_element->text().toStdString();
  if (m_dialog.Accept(m_ui)) QDialog::accept();
}

}  // namespace quillon
