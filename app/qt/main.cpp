/// \file
/// The desktop editor, "quillon [FILE...]": opens each file given (a file
/// that cannot be read says why, and the others still open) and runs until
/// the last window closes.
#include "app/QuillonApp.h"
#include "app/qt/MainFrame.h"
#include "base/FileSettingsStore.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setOrganizationName(QString::fromLatin1(quillon::kSettingsKey));

  quillon::CFileSettingsStore settings;
  quillon::CQuillonApp app(settings);
  quillon::CMainFrame window(app);
  window.show();
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) window.OpenFile(arguments[i]);
  return QApplication::exec();
}
