#include "app/qt/SelectDestinationDlgWindow.h"

#include "app/SelectDestinationDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>

namespace quillon {

CSelectDestinationDlgWindow::CSelectDestinationDlgWindow(CSelectDestinationDlg& dialog, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Select the Destination"));
  auto* list = new QListWidget(this);
  list->setObjectName("documents");
  for (const std::string& title : dialog.Titles()) list->addItem(QString::fromStdString(title));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Opened Documents"), this), 0, 0);
  layout->addWidget(list, 1, 0);
  layout->addWidget(buttons, 0, 1, 2, 1, Qt::AlignTop);
  connect(list, &QListWidget::currentRowChanged, this, [&dialog](int row) { dialog.Select(row); });
  connect(list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace quillon
