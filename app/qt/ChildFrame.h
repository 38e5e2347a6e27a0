/// \file
/// CChildFrame — one window of a document inside the main window: its
/// element list or its pixel view. The title is the document's, with the
/// modified marker, and " [Pixel Data]" for a pixel view.
#pragma once

#include "app/DicomImageDoc.h"

#include <QMdiSubWindow>

#include <functional>

namespace quillon {

class CChildFrame : public QMdiSubWindow, public IDocumentObserver {
  Q_OBJECT

 public:
  /// Asked before the window closes; false keeps it open.
  using CloseQuery = std::function<bool(CChildFrame&)>;
  /// Told once the window and its view are gone.
  using GoneHandler = std::function<void(CDicomImageDoc&)>;

  CChildFrame(CDicomImageDoc& document, QWidget* view, bool pixelView, CloseQuery canClose, GoneHandler gone,
              QWidget* parent = nullptr);
  ~CChildFrame() override;

  CDicomImageDoc& Document() const { return m_document; }
  /// Closes the window without the question (it was asked already).
  void CloseWithoutAsking();
  bool IsPixelView() const { return m_pixelView; }

  void OnRowsRebuilt(const CDicomImageDoc&, const RowFocus&) override {}
  void OnStateChanged(const CDicomImageDoc& document) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void UpdateTitle();

  CDicomImageDoc& m_document;
  bool m_pixelView;
  CloseQuery m_canClose;
  GoneHandler m_gone;
};

}  // namespace quillon
