#pragma once
// The one small wait window at the top right of the screen: the newest wait's text and,
// when asked for, its progress. It repaints at once, since the work that shows it does not
// let the event loop run.
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QProgressBar;
class TWaitCursor;

class TWaitForm4 : public QWidget {
  Q_OBJECT
public:
  explicit TWaitForm4(QWidget* parent = nullptr);
  ~TWaitForm4() override;

  virtual void ShowProgressBar();
  virtual void HideProgressBar();
  // Brings the window up to date with the newest live wait (or none).
  void UpdateFromWaits();

  QFrame* Panel1 = nullptr;
  QFrame* Panel = nullptr;
  QLabel* LabText = nullptr;
  QFrame* ProgressBarPanel = nullptr;
  QProgressBar* ProgressBar = nullptr;

  bool HasWaitCursor() const { return m_cursor != nullptr; }

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void FormCreate();
  void FormShow();
  void FormHide();
  void relayout();

  std::unique_ptr<TWaitCursor> m_cursor;
  int m_updating = 0;
};
