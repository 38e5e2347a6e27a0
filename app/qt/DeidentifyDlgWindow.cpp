#include "app/qt/DeidentifyDlgWindow.h"

#include "app/DeidentifyDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

CDeidentifyDlgWindow::CDeidentifyDlgWindow(CDeidentifyDlg& dialog, IUserInterface& ui, QWidget* parent)
    : QDialog(parent), m_dialog(dialog), m_ui(ui) {
  const bool folder = dialog.GetScope() == CDeidentifyDlg::Scope::Folder;
  setWindowTitle(folder ? QStringLiteral("De-identify Folder") : QStringLiteral("De-identify"));
  auto* layout = new QVBoxLayout(this);
  auto* paths = new QGridLayout();
  if (folder) {
    m_input = AddPathRow(*paths, QStringLiteral("Input folder"), "inputFolder", true);
    m_output = AddPathRow(*paths, QStringLiteral("Output folder"), "outputFolder", true);
  }
  m_uidMap = AddPathRow(*paths, QStringLiteral("UID map (optional)"), "uidMap", false);
  layout->addLayout(paths);

  auto* options = new QGroupBox(QStringLiteral("Basic profile, with these options"), this);
  auto* boxes = new QVBoxLayout(options);
  for (const ProfileOptionInfo& info : ProfileOptionInfos()) {
    if (!info.offered) continue;
    auto* box = new QCheckBox(QString::fromUtf8(info.label), options);
    box->setObjectName(QString::fromUtf8(info.flag));
    box->setChecked(dialog.options.Has(info.option));
    const ProfileOption option = info.option;
    connect(box, &QCheckBox::toggled, this, [&dialog, option](bool on) { dialog.options.Set(option, on); });
    boxes->addWidget(box);
  }
  auto* keepPrivate = new QCheckBox(QStringLiteral("Keep private attributes"), options);
  keepPrivate->setObjectName("keep-private");
  keepPrivate->setChecked(dialog.options.keepPrivate);
  connect(keepPrivate, &QCheckBox::toggled, this, [&dialog](bool on) { dialog.options.keepPrivate = on; });
  boxes->addWidget(keepPrivate);
  layout->addWidget(options);
  layout->addWidget(new QLabel(QStringLiteral("Pixel data is not changed: text burned into images is reported, "
                                              "not removed."),
                               this));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDeidentifyDlgWindow::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDeidentifyDlgWindow::reject);
}

QLineEdit* CDeidentifyDlgWindow::AddPathRow(QGridLayout& layout, const QString& label, const char* name,
                                            bool folder) {
  const int row = layout.rowCount();
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMinimumWidth(320);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  connect(browse, &QPushButton::clicked, this, [this, edit, label, folder] {
    const QString chosen = folder ? QFileDialog::getExistingDirectory(this, label, edit->text())
                                  : QFileDialog::getSaveFileName(this, label, edit->text(), QString(), nullptr,
                                                                 QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  layout.addWidget(new QLabel(label, this), row, 0);
  layout.addWidget(edit, row, 1);
  layout.addWidget(browse, row, 2);
  return edit;
}

void CDeidentifyDlgWindow::accept() {
  if (m_input != nullptr) m_dialog.inputFolder = m_input->text().toStdString();
  if (m_output != nullptr) m_dialog.outputFolder = m_output->text().toStdString();
  m_dialog.uidMapPath = m_uidMap->text().toStdString();
  if (m_dialog.Accept(m_ui)) QDialog::accept();
}

}  // namespace quillon
