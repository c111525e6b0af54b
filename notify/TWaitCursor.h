#pragma once
// Hourglass guard: the pointer shows the busy cursor while the guard lives, and gets back
// the cursor it had before when the guard goes.
#include <QCursor>

#include <optional>

class TWaitCursor {
public:
  TWaitCursor();
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
  std::optional<QCursor> m_saved;  // the application's cursor before, none for the default
};
