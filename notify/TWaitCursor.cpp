#include "notify/TWaitCursor.h"

#include <QGuiApplication>

// The application cursor is kept one level deep: guards replace it and put the saved one
// back, so guards freed in any order leave the cursor the first one found.
TWaitCursor::TWaitCursor() {
  if (const QCursor* current = QGuiApplication::overrideCursor()) {
    m_saved = *current;
    QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
}

TWaitCursor::~TWaitCursor() {
  if (m_saved) {
    if (QGuiApplication::overrideCursor())
      QGuiApplication::changeOverrideCursor(*m_saved);
    else
      QGuiApplication::setOverrideCursor(*m_saved);
  } else if (QGuiApplication::overrideCursor()) {
    QGuiApplication::restoreOverrideCursor();
  }
}
