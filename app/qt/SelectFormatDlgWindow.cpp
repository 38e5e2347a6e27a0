#include "app/qt/SelectFormatDlgWindow.h"

#include "app/SelectFormatDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

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
  auto* formats = new QListWidget(this);
  formats->setObjectName("formats");
  for (const std::string& name : dialog.Formats()) formats->addItem(QString::fromStdString(name));
  auto* nearLossless = new QSpinBox(this);
  nearLossless->setObjectName("nearLossless");
  nearLossless->setRange(1, 255);
  nearLossless->setValue(dialog.nearLossless);
  auto* ratio = new QDoubleSpinBox(this);
  ratio->setObjectName("compressionRatio");
  ratio->setRange(1.5, 1000);
  ratio->setValue(dialog.compressionRatio);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
  // Which controls count follows the selected format.
  auto updateEnabled = [&dialog, monochrome, nearLossless, ratio] {
    monochrome->setEnabled(dialog.IsMonochromeEnabled());
    nearLossless->setEnabled(dialog.IsNearLosslessEnabled());
    ratio->setEnabled(dialog.IsCompressionRatioEnabled());
  };
  updateEnabled();

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Transfer Syntax"), this), 0, 0);
  layout->addWidget(syntax, 0, 1);
  layout->addWidget(monochrome, 1, 0, 1, 2);
  layout->addWidget(formats, 2, 0, 1, 2);
  layout->addWidget(new QLabel(QStringLiteral("JPEG-LS largest error"), this), 3, 0);
  layout->addWidget(nearLossless, 3, 1);
  layout->addWidget(new QLabel(QStringLiteral("JPEG 2000 ratio"), this), 4, 0);
  layout->addWidget(ratio, 4, 1);
  layout->addWidget(buttons, 0, 2, 5, 1, Qt::AlignBottom);
  resize(380, 300);

  connect(syntax, &QComboBox::currentIndexChanged, this, [&dialog](int index) { dialog.transferSyntax = index; });
  connect(monochrome, &QCheckBox::toggled, this, [&dialog](bool checked) { dialog.monochrome = checked; });
  connect(formats, &QListWidget::currentRowChanged, this, [&dialog, updateEnabled](int row) {
    dialog.format = row;
    updateEnabled();
  });
  connect(nearLossless, &QSpinBox::valueChanged, this, [&dialog](int value) { dialog.nearLossless = value; });
  connect(ratio, &QDoubleSpinBox::valueChanged, this, [&dialog](double value) { dialog.compressionRatio = value; });
  connect(formats, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace quillon
