/// \file
/// CStudyPanel — the side panel of a folder or a DICOMDIR: patients,
/// their studies, series and instances as a tree; double-clicking an
/// instance opens it. The tree is made elsewhere (CStudyTree, on a worker
/// thread for a folder): the panel only shows it.
#pragma once

#include <QDockWidget>

class QTreeWidget;

namespace quillon {

class CStudyTree;

class CStudyPanel : public QDockWidget {
  Q_OBJECT

 public:
  explicit CStudyPanel(QWidget* parent = nullptr);
  /// Shows `tree`, read from `source` (a folder or a DICOMDIR).
  void SetTree(const CStudyTree& tree, const QString& source);
  QTreeWidget* Tree() const { return m_tree; }

 signals:
  /// An instance was double-clicked: the path of its file.
  void openRequested(const QString& path);

 private:
  QTreeWidget* m_tree;
};

}  // namespace quillon
