#include "app/qt/QtUserInterface.h"

#include "app/qt/AddSequenceDlgWindow.h"
#include "app/qt/DeidentifyDlgWindow.h"
#include "app/qt/DicomElementDlgWindow.h"
#include "app/qt/SelectDestinationDlgWindow.h"
#include "app/qt/SelectFormatDlgWindow.h"

#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace quillon {

namespace {

const QString kTitle = QStringLiteral("Quillon");
const QString kDicomFilter = QStringLiteral("Dicom Files (*.dcm);;All Files (*)");

QString ToQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

CQtUserInterface::CQtUserInterface(QWidget* parent, ISettingsStore* settings,
                                   std::function<void(const QString&)> showStatus)
    : m_parent(parent), m_settings(settings), m_showStatus(std::move(showStatus)) {}

void CQtUserInterface::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, kTitle, ToQt(text), QMessageBox::Ok, m_parent);
  box.exec();
}

void CQtUserInterface::ShowInformation(const std::string& text) {
  QMessageBox box(QMessageBox::Information, kTitle, ToQt(text), QMessageBox::Ok, m_parent);
  box.exec();
}

bool CQtUserInterface::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, kTitle, ToQt(text), QMessageBox::Yes | QMessageBox::No, m_parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

bool CQtUserInterface::AskOkCancel(const std::string& text) {
  QMessageBox box(QMessageBox::Question, kTitle, ToQt(text), QMessageBox::Ok | QMessageBox::Cancel, m_parent);
  return box.exec() == QMessageBox::Ok;
}

IUserInterface::SaveChoice CQtUserInterface::AskSaveChanges(const std::string& documentTitle) {
  QMessageBox box(QMessageBox::Warning, kTitle,
                  QStringLiteral("Save changes to %1?").arg(ToQt(documentTitle)),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_parent);
  box.setDefaultButton(QMessageBox::Save);
  switch (box.exec()) {
    case QMessageBox::Save: return SaveChoice::Save;
    case QMessageBox::Discard: return SaveChoice::Discard;
    default: return SaveChoice::Cancel;
  }
}

bool CQtUserInterface::RunElementDialog(CDicomElementDlg& dialog) {
  CDicomElementDlgWindow window(dialog, *this, m_settings, m_parent);
  return window.exec() == QDialog::Accepted;
}

bool CQtUserInterface::RunAddSequenceDialog(CAddSequenceDlg& dialog) {
  CAddSequenceDlgWindow window(dialog, *this, m_parent);
  return window.exec() == QDialog::Accepted;
}

bool CQtUserInterface::RunSelectDestinationDialog(CSelectDestinationDlg& dialog) {
  CSelectDestinationDlgWindow window(dialog, m_parent);
  return window.exec() == QDialog::Accepted;
}

bool CQtUserInterface::RunSelectFormatDialog(CSelectFormatDlg& dialog) {
  CSelectFormatDlgWindow window(dialog, m_parent);
  return window.exec() == QDialog::Accepted;
}

bool CQtUserInterface::RunDeidentifyDialog(CDeidentifyDlg& dialog) {
  CDeidentifyDlgWindow window(dialog, *this, m_parent);
  return window.exec() == QDialog::Accepted;
}

void CQtUserInterface::RunWithProgress(const std::string& label,
                                       const std::function<void(const ProgressReport&)>& work) {
  // The work runs on its own thread and only stores how far it got; the
  // window's thread shows that a few times a second and stays free to
  // paint, and Cancel only raises a flag the work looks at.
  std::atomic<int64_t> done{0};
  std::atomic<int64_t> total{0};
  std::atomic<bool> cancelled{false};
  QProgressDialog progress(ToQt(label), QStringLiteral("Cancel"), 0, 0, m_parent);
  progress.setWindowTitle(kTitle);
  // Shown at once: while it is up, nothing else in the window can start
  // (no second job, no edit of a document the job reads).
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  progress.show();
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&] {
    cancelled = true;
    progress.setLabelText(QStringLiteral("Cancelling..."));
  });
  QThread* thread = QThread::create([&] {
    work([&](int64_t stepsDone, int64_t steps) {
      done = stepsDone;
      total = steps;
      return !cancelled.load();
    });
  });
  QEventLoop loop;
  QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
  QTimer timer;
  timer.setInterval(50);
  QObject::connect(&timer, &QTimer::timeout, &progress, [&] {
    if (cancelled) return;
    const int64_t steps = total.load();
    if (steps <= 0) return;
    progress.setMaximum(static_cast<int>(std::min<int64_t>(steps, INT32_MAX)));
    progress.setValue(static_cast<int>(std::min<int64_t>(done.load(), INT32_MAX)));
    progress.setLabelText(QStringLiteral("%1\n%2 of %3").arg(ToQt(label)).arg(done.load()).arg(steps));
  });
  timer.start();
  thread->start();
  loop.exec();
  thread->wait();
  delete thread;
}

std::optional<std::string> CQtUserInterface::AskOpenPath(const std::string& title, const std::string& startFolder) {
  const QString path = QFileDialog::getOpenFileName(m_parent, ToQt(title), ToQt(startFolder), kDicomFilter);
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

std::optional<std::string> CQtUserInterface::AskFolderPath(const std::string& title, const std::string& startFolder) {
  const QString path = QFileDialog::getExistingDirectory(m_parent, ToQt(title), ToQt(startFolder));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

std::optional<std::string> CQtUserInterface::AskExportPath(const std::string& title, const std::string& suggestedPath,
                                                           const std::string& filter) {
  QFileDialog chooser(m_parent, ToQt(title), ToQt(suggestedPath), ToQt(filter) + QStringLiteral(";;All Files (*)"));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  // The editor asks before replacing, whichever way the path came.
  chooser.setOption(QFileDialog::DontConfirmOverwrite);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
  return chooser.selectedFiles().front().toStdString();
}

std::optional<std::string> CQtUserInterface::AskSavePath(const std::string& title,
                                                         const std::string& suggestedPath) {
  QFileDialog chooser(m_parent, ToQt(title), ToQt(suggestedPath), kDicomFilter);
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setDefaultSuffix(QStringLiteral("dcm"));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
  return chooser.selectedFiles().front().toStdString();
}

void CQtUserInterface::ShowStatus(const std::string& text) {
  if (m_showStatus) m_showStatus(ToQt(text));
}

}  // namespace quillon
