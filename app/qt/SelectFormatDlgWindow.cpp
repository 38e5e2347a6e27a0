#include "app/qt/SelectFormatDlgWindow.h"

#include "app/SelectFormatDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>

namespace quillon {

CSelectFormatDlgWindow::CSelectFormatDlgWindow(CSelectFormatDlg& dialog, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Select Format"));
  auto* syntax = new QComboBox(this);
  syntax->setObjectName("transferSyntax");
  for (const char* name : CSelectFormatDlg::kTransferSyntaxes) syntax->addItem(QString::fromLatin1(name));
  syntax->setCurrentIndex(dialog.transferSyntax);
  syntax->setEnabled(dialog.IsTransferSyntaxEnabled());
  auto* monochrome = new QCheckBox(QStringLiteral("Convert to Monochrome"), this);
  monochrome->setObjectName("monochrome");
  monochrome->setChecked(dialog.monochrome);
  monochrome->setEnabled(dialog.IsMonochromeEnabled());
  auto* formats = new QListWidget(this);
  formats->setObjectName("formats");
  for (const std::string& name : dialog.Formats()) formats->addItem(QString::fromStdString(name));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Transfer Syntax"), this), 0, 0);
  layout->addWidget(syntax, 0, 1);
  layout->addWidget(monochrome, 1, 0, 1, 2);
  layout->addWidget(formats, 2, 0, 1, 2);
  layout->addWidget(buttons, 0, 2, 3, 1, Qt::AlignBottom);
  resize(360, 220);

  connect(syntax, &QComboBox::currentIndexChanged, this, [&dialog](int index) { dialog.transferSyntax = index; });
  connect(monochrome, &QCheckBox::toggled, this, [&dialog](bool checked) { dialog.monochrome = checked; });
  connect(formats, &QListWidget::currentRowChanged, this, [&dialog](int row) { dialog.format = row; });
  connect(formats, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace quillon
