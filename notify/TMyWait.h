#pragma once
// A wait indicator for the length of an operation: create it with a text, set its text and
// percent as the work goes on, free it at the end (also on failure). All live waits share
// one window, which shows the newest and disappears with the last.
#include <QList>
#include <QObject>
#include <QString>

class TWaitForm4;

class TMyWait : public QObject {
  Q_OBJECT
public:
  explicit TMyWait(const QString& text = {});
  ~TMyWait() override;

  QString Text() const { return m_text; }
  void setText(const QString& value);
  int Position() const { return m_position; }
  // A value strictly between Min and Max switches the progress bar on.
  void setPosition(int value);
  int Min() const { return m_min; }
  int Max() const { return m_max; }
  bool ShowProgress() const { return m_showProgress; }
  void setShowProgress(bool value);
  void StartProgress() { setShowProgress(true); }

  static const QList<TMyWait*>& ActiveWaits();
  static TWaitForm4* WaitForm();

private:
  friend class TWaitForm4;
  QString m_text;
  int m_position = 0;
  int m_min = 0;
  int m_max = 100;
  bool m_showProgress = false;
};
