#include "app/qt/StudyPanel.h"

#include "app/StudyTree.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace quillon {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

/// "text" or, when empty, a placeholder in brackets.
QString OrNone(const std::string& text, const char* none) { return text.empty() ? QString(none) : Q(text); }

}  // namespace

CStudyPanel::CStudyPanel(QWidget* parent) : QDockWidget(QStringLiteral("Studies"), parent), m_tree(new QTreeWidget(this)) {
  setObjectName("studyPanel");
  m_tree->setObjectName("studyTree");
  m_tree->setColumnCount(2);
  m_tree->setHeaderLabels({QStringLiteral("Patient / Study / Series / Instance"), QStringLiteral("Details")});
  // Wide enough for names and the details beside them.
  m_tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
  m_tree->header()->resizeSection(0, m_tree->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 32);
  setMinimumWidth(m_tree->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 56);
  m_tree->setUniformRowHeights(true);
  setWidget(m_tree);
  connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    const QString path = item->data(0, Qt::UserRole).toString();
    if (!path.isEmpty()) emit openRequested(path);
  });
}

void CStudyPanel::SetTree(const CStudyTree& tree, const QString& source) {
  setWindowTitle(QStringLiteral("Studies - %1").arg(source));
  m_tree->clear();
  for (const PatientNode& patient : tree.Patients()) {
    auto* patientItem = new QTreeWidgetItem(m_tree, {OrNone(patient.name, "(no name)"), Q("ID " + patient.id)});
    for (const StudyNode& study : patient.studies) {
      auto* studyItem = new QTreeWidgetItem(patientItem, {OrNone(study.description, "(study)"), Q(study.date)});
      for (const SeriesNode& series : study.series) {
        auto* seriesItem = new QTreeWidgetItem(
            studyItem, {Q(series.modality + " " + series.number + " " + series.description).trimmed(),
                        QStringLiteral("%1 instance(s)").arg(series.instances.size())});
        for (const InstanceInfo& instance : series.instances) {
          auto* item = new QTreeWidgetItem(seriesItem, {OrNone(instance.instanceNumber, "(instance)"), Q(instance.path)});
          item->setData(0, Qt::UserRole, Q(instance.path));
          item->setToolTip(0, Q(instance.path));
        }
      }
    }
  }
  // Patients and studies open, the many instances closed.
  m_tree->expandToDepth(1);
  show();
  raise();
}

}  // namespace quillon
