// The modal message and question windows: sizing, buttons, keys, copying.
#include "notify/MessageDialogs.h"
#include "notify/ModalResult.h"
#include "notify/TConfirmForm1.h"
#include "notify/TMessageForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs `action` on the modal window once it is up (the dialogs block until closed).
void whenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    action(modal);
  });
}

QSize screenSize() { return QGuiApplication::primaryScreen()->geometry().size(); }

}  // namespace

TEST(MessageForm, OneWordKeepsTheMinimumSizeWithTheButtonCentred) {
  TMessageForm form;
  form.Prepare(QStringLiteral("Готово"), QStringLiteral("!"),
               QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
  EXPECT_EQ(form.Labmess->size(), QSize(250, 100));
  EXPECT_EQ(form.size(), QSize(308, 7 + 53 + 100));
  EXPECT_EQ(form.BtnOk->x(), (308 - 75) / 2);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("!"));
  EXPECT_EQ(form.Image->size(), QSize(32, 32));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(form.pos(), QPoint((screen.width() - 308) / 2, (screen.height() - 160) / 2));
}

TEST(MessageForm, TwoHundredLinesScrollInAWindowAsHighAsTheScreenAllows) {
  QStringList lines;
  for (int i = 1; i <= 200; ++i) lines << QStringLiteral("Строка номер %1").arg(i);
  TMessageForm form;
  form.Prepare(lines.join('\n'), QStringLiteral("Много"), QIcon());
  const int bar = form.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  EXPECT_EQ(form.height(), screenSize().height() - 100);
  EXPECT_EQ(form.width(), std::max(308, 41 + 10 + form.Labmess->width() + bar));
  form.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form.ScrollBox->verticalScrollBar()->isVisible());
  EXPECT_FALSE(form.ScrollBox->horizontalScrollBar()->isVisible());

  // Ctrl+C copies the whole text, line breaks included.
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), lines.join('\n'));
}

TEST(MessageForm, EnterAndEscBothCloseWithOk) {
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    bool closedByKey = false;
    whenModal([&closedByKey, key](QWidget* modal) {
      closedByKey = qobject_cast<TMessageForm*>(modal) != nullptr;
      if (auto* form = qobject_cast<TMessageForm*>(modal)) {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Ошибка"));
      }
      QTest::keyClick(modal, key);
    });
    ShowErrorMessage(QStringLiteral("Таблица не найдена"));
    EXPECT_TRUE(closedByKey) << key;
  }
}

TEST(ConfirmForm, EmptyQuestionAsksToConfirmAndOnlyYesOrEnterGiveOk) {
  struct Case {
    const char* name;
    std::function<void(TConfirmForm1*)> answer;
    int expected;
  };
  const Case cases[] = {
      {"Enter", [](TConfirmForm1* f) { QTest::keyClick(f, Qt::Key_Return); }, mrOk},
      {"Да", [](TConfirmForm1* f) { f->BtnOk->click(); }, mrOk},
      {"Нет", [](TConfirmForm1* f) { f->BtnNo->click(); }, mrCancel},
      {"Esc", [](TConfirmForm1* f) { QTest::keyClick(f, Qt::Key_Escape); }, mrCancel},
      {"close", [](TConfirmForm1* f) { f->close(); }, mrCancel},
  };
  for (const Case& c : cases) {
    whenModal([&c](QWidget* modal) {
      auto* form = qobject_cast<TConfirmForm1*>(modal);
      ASSERT_NE(form, nullptr);
      EXPECT_EQ(form->LabelText->text(), QStringLiteral("Подтвердите операцию"));
      EXPECT_EQ(form->windowTitle(), QStringLiteral("Подтверждение"));
      EXPECT_EQ(form->BtnOk->text(), QStringLiteral("Да"));
      EXPECT_EQ(form->BtnNo->text(), QStringLiteral("Нет"));
      EXPECT_FALSE(form->BtnIgnore->isVisible());
      c.answer(form);
    });
    EXPECT_EQ(ConfirmAction(QStringLiteral("   ")), c.expected) << c.name;
  }
}

TEST(ConfirmForm, OneRowOfButtonsCentredUnderTheQuestion) {
  TConfirmForm1 form;
  form.Prepare(QStringLiteral("Удалить закладку?"));
  EXPECT_EQ(form.LabelText->text(), QStringLiteral("Удалить закладку?"));
  EXPECT_EQ(form.LabelText->size(), QSize(260, 90));
  EXPECT_EQ(form.size(), QSize(41 + 10 + 260, 7 + 55 + 90));
  EXPECT_EQ(form.PanelBottom->height(), 55);
  EXPECT_EQ(form.BtnOk->x(), form.width() / 2 - 107 - 10);
  EXPECT_EQ(form.BtnNo->x(), form.width() / 2 + 10);
  EXPECT_EQ(form.BtnOk->y(), form.BtnNo->y());
}
