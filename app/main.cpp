// Program start: the application object, the main window, the message loop.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The table test window comes with the table test; until then the program shows
  // an empty main window with its caption.
  QLabel window;
  window.setWindowTitle(QStringLiteral("Тестирование таблицы"));
  window.resize(403, 226);
  window.show();
  return app.exec();
}
