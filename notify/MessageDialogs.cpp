#include "notify/MessageDialogs.h"

#include "notify/TConfirmForm1.h"
#include "notify/TMessageForm.h"

#include <QApplication>
#include <QStyle>

#include <memory>

namespace {
void showMessage(const QString& text, const QString& caption, QStyle::StandardPixmap icon) {
  auto form = std::make_unique<TMessageForm>();
  form->Prepare(text, caption, QApplication::style()->standardIcon(icon));
  form->exec();
}
}  // namespace

void ShowInfoMessage(const QString& Text, const QString& Caption) {
  showMessage(Text, Caption, QStyle::SP_MessageBoxInformation);
}

void ShowErrorMessage(const QString& Text) {
  showMessage(Text, QStringLiteral("Ошибка"), QStyle::SP_MessageBoxCritical);
}

int ConfirmAction(const QString& Text) {
  int result = 0;
  {
    auto form = std::make_unique<TConfirmForm1>();
    form->Prepare(Text);
    result = form->exec();
  }
  // The window underneath repaints before the caller goes on with its work.
  QCoreApplication::processEvents();
  return result;
}
