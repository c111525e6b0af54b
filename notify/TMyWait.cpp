#include "notify/TMyWait.h"

#include "notify/TWaitForm4.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QPointer>

namespace {
QList<TMyWait*>& activeWaits() {
  static QList<TMyWait*> waits;
  return waits;
}
QPointer<TWaitForm4>& waitForm() {
  static QPointer<TWaitForm4> form;
  return form;
}
void updateWindow() {
  if (TWaitForm4* form = waitForm()) form->UpdateFromWaits();
}
}  // namespace

const QList<TMyWait*>& TMyWait::ActiveWaits() { return activeWaits(); }
TWaitForm4* TMyWait::WaitForm() { return waitForm(); }

TMyWait::TMyWait(const QString& text)
    : QObject(qApp),
      m_text(text.isEmpty() ? QStringLiteral("Идет работа. Пожалуйста, ждите!") : text) {
  if (!waitForm()) waitForm() = new TWaitForm4();
  activeWaits().append(this);
  updateWindow();
  TWaitForm4* form = waitForm();
  form->show();
  // The work that follows may not let the event loop run: paint everything now.
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && !qobject_cast<QMdiSubWindow*>(window)) window->repaint();
}

TMyWait::~TMyWait() {
  activeWaits().removeOne(this);
  updateWindow();
  if (activeWaits().isEmpty()) delete waitForm().data();
}

void TMyWait::setText(const QString& value) {
  m_text = value;
  updateWindow();
}

void TMyWait::setPosition(int value) {
  m_position = value;
  if (m_min < value && value < m_max) m_showProgress = true;
  updateWindow();
}

void TMyWait::setShowProgress(bool value) {
  if (value == m_showProgress) return;
  m_showProgress = value;
  TWaitForm4* form = waitForm();
  if (!form) return;
  if (value)
    form->ShowProgressBar();
  else
    form->HideProgressBar();
}
