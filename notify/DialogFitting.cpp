#include "notify/DialogFitting.h"

#include <algorithm>

DialogFit fitDialogToText(QSize label, QSize margins, QSize screen, int scrollBarWidth) {
  const int contentWidth = margins.width() + label.width();
  const int contentHeight = margins.height() + label.height();
  DialogFit fit{QSize(std::min(contentWidth, screen.width() - 100),
                      std::min(contentHeight, screen.height() - 100)),
                contentHeight > screen.height() - 100};
  if (fit.verticalScroll) fit.client.rwidth() += scrollBarWidth;
  return fit;
}
