// Shows the notification windows on a real display and saves pictures of them into the
// folder given as the first argument (docs/screenshots):
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/notify/notify_screenshots docs/screenshots
#include "notify/Notifications.h"
#include "notify/TConfirmForm1.h"
#include "notify/TMessageForm.h"
#include "notify/TMyWait.h"
#include "notify/TWaitForm4.h"
#include "notify/TgwDesktopAlert.h"
#include "notify/TgwFormDesktopAlert.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QStyle>
#include <QThread>

#include <cstdio>

namespace {

void settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
}

bool save(const QPixmap& pixmap, const QString& path) {
  const bool ok = pixmap.save(path);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  QScreen* screen = QGuiApplication::primaryScreen();
  bool ok = true;

  // A plain desktop behind the windows, so the pictures do not show a black void.
  QWidget desktop(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
  desktop.setGeometry(screen->geometry());
  desktop.setStyleSheet(QStringLiteral("background: #3a6ea5;"));
  desktop.show();
  settle(200);

  TgwDesktopAlert* warning = AlertWarning(QStringLiteral("Таблица SKLAD.DB не найдена в каталоге псевдонима"), {}, 0);
  TgwDesktopAlert* error = AlertError(
      QStringLiteral("Ошибка чтения записи 1532, поле NAME: индекс повреждён"), {}, 0);
  TgwDesktopAlert* info = AlertInfo(QStringLiteral("Проверка завершена!"), {}, 0);
  settle(900);
  int height = 0;
  for (TgwDesktopAlert* alert : {warning, error, info}) height += alert->Window()->height();
  const QRect area = screen->availableGeometry();
  ok &= save(screen->grabWindow(0, area.right() - 300 + 1, area.top(), 300, height + 20),
             out.filePath(QStringLiteral("alerts.png")));
  for (TgwDesktopAlert* alert : {warning, error, info}) alert->Window()->close();
  settle(100);

  TMessageForm message;
  message.Prepare(QStringLiteral("Сохранено записей: 1532\nФайл: C:\\Данные\\SKLAD.txt\n"
                                 "Столбцы: Код, Наименование, Остаток"),
                  QStringLiteral("!"), QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
  message.show();
  settle(300);
  ok &= save(message.grab(), out.filePath(QStringLiteral("message.png")));
  message.hide();

  TConfirmForm1 confirm;
  confirm.Prepare(QStringLiteral("Удалить все закладки этой таблицы?"));
  confirm.show();
  settle(300);
  ok &= save(confirm.grab(), out.filePath(QStringLiteral("confirm.png")));
  confirm.hide();

  {
    TMyWait wait(QStringLiteral("Экспорт таблицы SKLAD.DB в файл Excel"));
    wait.setPosition(45);
    settle(300);
    ok &= save(TMyWait::WaitForm()->grab(), out.filePath(QStringLiteral("wait.png")));
  }
  return ok ? 0 : 1;
}
