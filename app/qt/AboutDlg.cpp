#include "app/qt/AboutDlg.h"

#include "app/qt/Icons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quillon {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Quillon"));
  auto* icon = new QLabel(this);
  icon->setPixmap(ApplicationIcon().pixmap(48, 48));
  auto* text = new QLabel(QStringLiteral("Quillon Version 1.0"), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, this);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addWidget(text, 1, Qt::AlignTop);
  layout->addWidget(buttons, 0, Qt::AlignTop);
  layout->setSpacing(16);
  layout->setContentsMargins(16, 16, 16, 16);
  setMinimumWidth(360);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

}  // namespace quillon
