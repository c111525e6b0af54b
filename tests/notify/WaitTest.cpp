// The wait window shared by nested waits, its progress bar and the hourglass.
#include "notify/TMyWait.h"
#include "notify/TWaitCursor.h"
#include "notify/TWaitForm4.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include <memory>

namespace {
Qt::CursorShape appCursor() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor ? cursor->shape() : Qt::ArrowCursor;
}
bool barShown() { return TMyWait::WaitForm()->ProgressBarPanel->isVisible(); }
}  // namespace

TEST(Wait, WindowSitsAtTheTopRightWithTheDefaultText) {
  TMyWait wait;
  TWaitForm4* form = TMyWait::WaitForm();
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->LabText->text(), QStringLiteral("Идет работа. Пожалуйста, ждите!"));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(form->pos(), QPoint(screen.width() - 364, 10));
  EXPECT_EQ(form->size(), QSize(354, 70));
  EXPECT_FALSE(barShown());
}

TEST(Wait, ProgressShowsOnlyStrictlyInsideTheRangeOrWhenStarted) {
  struct Case {
    int position;
    bool shown;
  };
  for (const Case c : {Case{0, false}, Case{100, false}, Case{1, true}, Case{99, true}, Case{150, false}}) {
    TMyWait wait(QStringLiteral("Сохранение"));
    wait.setPosition(c.position);
    EXPECT_EQ(barShown(), c.shown) << c.position;
    if (c.shown) {
      EXPECT_EQ(TMyWait::WaitForm()->ProgressBar->value(), c.position);
    }
  }
  TMyWait started(QStringLiteral("Сохранение"));
  started.setPosition(100);
  started.StartProgress();
  EXPECT_TRUE(barShown());
  EXPECT_EQ(TMyWait::WaitForm()->ProgressBar->value(), 100);
}

TEST(Wait, NestedWaitsShowTheNewestAndTheWindowGoesWithTheLast) {
  ASSERT_EQ(TMyWait::WaitForm(), nullptr);
  QGuiApplication::setOverrideCursor(Qt::CrossCursor);  // the cursor before any wait
  {
    auto outer = std::make_unique<TMyWait>(QStringLiteral("Идет анализ таблиц в каталоге"));
    outer->setPosition(40);
    EXPECT_EQ(appCursor(), Qt::WaitCursor);
    {
      TMyWait inner(QStringLiteral("Экспорт"));
      EXPECT_EQ(TMyWait::WaitForm()->LabText->text(), QStringLiteral("Экспорт"));
      EXPECT_FALSE(barShown());
      inner.setPosition(70);
      EXPECT_EQ(TMyWait::WaitForm()->ProgressBar->value(), 70);
    }
    ASSERT_NE(TMyWait::WaitForm(), nullptr);
    EXPECT_EQ(TMyWait::WaitForm()->LabText->text(), QStringLiteral("Идет анализ таблиц в каталоге"));
    EXPECT_TRUE(barShown());
    EXPECT_EQ(TMyWait::WaitForm()->ProgressBar->value(), 40);
  }
  EXPECT_EQ(TMyWait::WaitForm(), nullptr);
  EXPECT_EQ(appCursor(), Qt::CrossCursor);
  QGuiApplication::restoreOverrideCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(Wait, HourglassGuardsRestoreTheCursorTheyFound) {
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    TWaitCursor first;
    EXPECT_EQ(appCursor(), Qt::WaitCursor);
    {
      TWaitCursor second;
      EXPECT_EQ(appCursor(), Qt::WaitCursor);
    }
    EXPECT_EQ(appCursor(), Qt::WaitCursor);
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
