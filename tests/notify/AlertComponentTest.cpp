// The alert component and its window: options, settings objects, placement, layout,
// painting, focus, closing.
#include "AlertTestSupport.h"

#include "notify/HotTrackLabel.h"
#include "notify/TJvFadeAlertStyleHandler.h"
#include "notify/TgwDesktopAlert.h"
#include "notify/TgwDesktopAlertButton.h"
#include "notify/TgwDesktopAlertStack.h"
#include "notify/TgwFormDesktopAlert.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

// An alert on a stack of its own, so the process-wide default stack stays out of it.
struct OwnStackAlert {
  TgwDesktopAlertStack stack;
  TgwDesktopAlert* alert = new TgwDesktopAlert();
  explicit OwnStackAlert(TgwDesktopAlertPosition corner = dapBottomRight) {
    stack.setPosition(corner);
    alert->setAlertStack(&stack);
  }
  ~OwnStackAlert() { delete alert; }
  TgwFormDesktopAlert* window() const { return alert->Window(); }
};

}  // namespace

TEST_F(AlertTest, OptionsNeedMovingForMovingAnywhere) {
  TgwDesktopAlert alert;
  EXPECT_EQ(alert.Options(), allDesktopAlertOptions());
  alert.setOptions(TgwDesktopAlertOptions(daoCanMoveAnywhere));
  EXPECT_EQ(alert.Options(), TgwDesktopAlertOptions());
  alert.setOptions(TgwDesktopAlertOptions(daoCanMove | daoCanMoveAnywhere | daoCanClick));
  EXPECT_EQ(int(alert.Options()), 1 | 2 | 4);
}

TEST_F(AlertTest, SettingsObjectsReportChangesAsDocumented) {
  int colourChanges = 0;
  TgwDesktopAlertColors colors;
  colors.OnChange = [&] { ++colourChanges; };
  colors.setFrame(TgwDesktopAlertColors::defaultFrame);  // unchanged: no report
  colors.setFrame(255);
  TgwDesktopAlertColors other;
  other.setWindowTo(1);
  colors.Assign(other);
  colors.Assign(colors);  // to itself: nothing
  EXPECT_EQ(colourChanges, 2);
  EXPECT_EQ(colors.Frame(), TgwDesktopAlertColors::defaultFrame);
  EXPECT_EQ(colors.WindowTo(), 1u);

  int locationChanges = 0;
  TgwDesktopAlertLocation location;
  location.OnChange = [&] { ++locationChanges; };
  location.setPosition(dapBottomRight);  // the same value still reports
  location.setWidth(0);                  // unchanged: no report
  location.setWidth(280);
  EXPECT_EQ(locationChanges, 2);
}

TEST_F(AlertTest, AnUnknownStyleIsRefusedAndTheAlertStaysUsable) {
  TgwDesktopAlert alert;
  alert.setAlertStyle(asCenterGrow);
  alert.StyleOptions()->setStartSteps(99);
  EXPECT_THROW(alert.setAlertStyle(static_cast<TJvAlertStyle>(7)), std::invalid_argument);
  ASSERT_NE(alert.StyleOptions(), nullptr);
  EXPECT_EQ(alert.StyleOptions()->Style(), asCenterGrow);
  alert.setAlertStyle(asFade);  // a new handler with its own timings
  EXPECT_EQ(alert.StyleOptions()->StartSteps(), 10u);
}

TEST_F(AlertTest, PopupPlacesTheWindowAtEachCorner) {
  struct Case {
    TgwDesktopAlertPosition position;
    QPoint expected;
  };
  for (const Case c : {Case{dapTopLeft, {0, 0}}, Case{dapTopRight, {800 - 329, 0}},
                       Case{dapBottomLeft, {0, 560 - 76}}, Case{dapBottomRight, {800 - 329, 560 - 76}},
                       Case{dapDesktopCenter, {(800 - 329) / 2, (560 - 76) / 2}}}) {
    TgwDesktopAlert alert;
    alert.Location().setPosition(c.position);  // the default stack follows an alert's corner
    alert.Popup();
    EXPECT_EQ(alert.Window()->pos(), c.expected) << c.position;
    alert.Window()->close();
  }
  TgwDesktopAlert custom;
  custom.Location().setLeft(100);
  custom.Location().setTop(50);
  custom.Location().setPosition(dapCustom);
  custom.Popup();
  EXPECT_EQ(custom.Window()->pos(), QPoint(100, 50));
  custom.Window()->close();
  DefaultAlertStack()->setPosition(dapBottomRight);
}

TEST_F(AlertTest, AlertNeverTakesTheFocusFromTheLineEditBeingTypedIn) {
  QWidget form;
  auto* edit = new QLineEdit(&form);
  (new QVBoxLayout(&form))->addWidget(edit);
  form.show();
  QApplication::setActiveWindow(&form);
  edit->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  ASSERT_EQ(QApplication::focusWidget(), edit);

  OwnStackAlert own(dapTopRight);
  own.alert->setMessageText(QStringLiteral("Проверка завершена!"));
  own.alert->Popup();
  QTest::qWait(50);
  EXPECT_TRUE(own.window()->isVisible());
  EXPECT_TRUE(own.window()->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_TRUE(own.window()->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
  EXPECT_EQ(QApplication::focusWidget(), edit);
  EXPECT_EQ(QApplication::activeWindow(), &form);
  QTest::keyClicks(edit, QStringLiteral("abc"));
  EXPECT_EQ(edit->text(), QStringLiteral("abc"));
}

TEST_F(AlertTest, LayoutOfShortAndLongMessages) {
  OwnStackAlert shortOne;
  shortOne.alert->setHeaderText(QStringLiteral("Внимание"));
  shortOne.alert->setMessageText(QStringLiteral("Готово"));
  shortOne.alert->Popup();
  TgwFormDesktopAlert* w = shortOne.window();
  EXPECT_EQ(w->size(), QSize(329, 76));
  EXPECT_EQ(w->LabelHeader->pos(), QPoint(8 + 32 + 5, 13));  // icon left + width + 5
  // One line: centred across the window.
  const QRect text = w->LabelMessage->geometry();
  EXPECT_LE(std::abs(text.left() - (329 - text.right() - 1)), 1);

  OwnStackAlert longOne;
  QStringList words;
  for (int i = 0; i < 400; ++i) words << QStringLiteral("слово");
  longOne.alert->setMessageText(words.join(' '));
  longOne.alert->Popup();
  const int quarter = QGuiApplication::primaryScreen()->geometry().height() / 4;
  EXPECT_EQ(longOne.window()->height(), quarter);
  EXPECT_EQ(longOne.window()->LabelMessage->x(), 45 + 8);  // several lines: left-aligned

  OwnStackAlert someLines;
  someLines.alert->setMessageText(words.mid(0, 30).join(' '));
  someLines.alert->Popup();
  const QRect m = someLines.window()->LabelMessage->geometry();
  EXPECT_GT(m.height(), 76 - m.top());
  EXPECT_EQ(someLines.window()->height(), m.top() + m.height() + 3);
}

TEST_F(AlertTest, CloseButtonHiddenWithoutCanCloseUnlessTheAlertStaysForever) {
  QMenu menu;
  menu.addAction(QStringLiteral("Пункт"));
  OwnStackAlert a;
  a.alert->setOptions(TgwDesktopAlertOptions(daoCanMove));
  a.alert->setDropDownMenu(&menu);
  a.alert->Popup();
  EXPECT_FALSE(a.window()->ButtonClose->isVisible());
  EXPECT_TRUE(a.window()->ButtonDropDown->isVisible());
  EXPECT_EQ(a.window()->ButtonDropDown->x(), 329 - 17);  // in the close button's place
  a.window()->close();

  OwnStackAlert lasting;
  lasting.alert->setOptions(TgwDesktopAlertOptions(daoCanMove));
  lasting.alert->StyleOptions()->setDisplayDuration(0);
  lasting.alert->Popup();
  EXPECT_TRUE(lasting.window()->ButtonClose->isVisible());
  EXPECT_FALSE(lasting.window()->ButtonDropDown->isVisible());  // no menu
  lasting.window()->ButtonClose->click();                       // does nothing
  EXPECT_TRUE(lasting.window()->isVisible());
}

TEST_F(AlertTest, PaintsCaptionBandGripperBodyAndFrame) {
  OwnStackAlert a;
  TgwDesktopAlertColors& c = a.alert->Colors();
  c.setFrame(rgbToTColor(255, 0, 0));
  c.setCaptionFrom(rgbToTColor(0, 0, 100));
  c.setCaptionTo(rgbToTColor(0, 0, 170));
  c.setWindowFrom(rgbToTColor(0, 200, 0));
  c.setWindowTo(rgbToTColor(0, 134, 0));
  a.alert->Popup();
  const QImage image = a.window()->grab().toImage();
  ASSERT_EQ(image.size(), QSize(329, 76));
  EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(328, 75), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(300, 1), QColor(0, 0, 110));   // caption band 1 of 8
  EXPECT_EQ(image.pixelColor(300, 7), QColor(0, 0, 170));   // the last band
  EXPECT_EQ(image.pixelColor(300, 8), a.window()->palette().color(QPalette::Window));
  EXPECT_EQ(image.pixelColor(300, 9), QColor(0, 200, 0));   // body: one band per row
  EXPECT_EQ(image.pixelColor(300, 74), QColor(0, 134, 0));
  // Gripper dot 0 at x0 = 329 / 2 - 20 = 144, y = 3.
  EXPECT_EQ(image.pixelColor(144, 3), QColor(128, 128, 128));
  EXPECT_EQ(image.pixelColor(145, 4), QColor(184, 188, 184));
  EXPECT_EQ(image.pixelColor(146, 5), QColor(248, 252, 248));
  EXPECT_EQ(image.pixelColor(144 + 36, 3), QColor(128, 128, 128));  // dot 9
}

TEST_F(AlertTest, PointerOverTheAlertHoldsItAndLeavingStartsTheEndAtOnce) {
  OwnStackAlert a;
  a.alert->Popup();
  TgwFormDesktopAlert* w = a.window();
  auto* fade = static_cast<TJvFadeAlertStyleHandler*>(a.alert->StyleOptions());
  EXPECT_TRUE(fade->TimerEnabled());  // start phase
  QCursor::setPos(w->geometry().center());
  w->AlertMouseEnter();
  EXPECT_FALSE(fade->TimerEnabled());
  EXPECT_EQ(fade->Alpha(), 255);
  w->PollTimerTimer();  // the pointer is inside: nothing starts
  EXPECT_FALSE(fade->TimerEnabled());
  QCursor::setPos(5000, 5000);
  w->AlertMouseLeave();
  EXPECT_FALSE(w->MouseInside);
  EXPECT_TRUE(fade->TimerEnabled());
  EXPECT_EQ(fade->TimerInterval(), fade->EndInterval());

  // After the display time, the polling starts the end phase once the pointer is away.
  fade->StopPhase();
  w->PollTimerTimer();
  EXPECT_EQ(fade->TimerInterval(), fade->EndInterval());
}

TEST_F(AlertTest, DraggingByTheCaptionTakesTheAlertOutOfItsOwnStack) {
  OwnStackAlert a(dapBottomRight);
  a.alert->Location().AlwaysResetPosition = false;
  a.alert->setOptions(TgwDesktopAlertOptions(daoCanMove | daoCanClose));
  a.alert->Popup();
  TgwFormDesktopAlert* w = a.window();
  ASSERT_EQ(a.stack.Count(), 1);
  EXPECT_FALSE(w->HitTestCaption(QPoint(50, 9)));  // below the caption band
  QTest::mousePress(w, Qt::LeftButton, {}, QPoint(50, 4));
  QMouseEvent move(QEvent::MouseMove, QPointF(20, 4), w->mapToGlobal(QPointF(20, 4)),
                   Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(w, &move);
  QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(20, 4));
  EXPECT_EQ(w->x(), 800 - 329 - 30);
  EXPECT_EQ(a.stack.Count(), 0);
  // The alert follows its stack's corner, so its place is not remembered at close.
  EXPECT_EQ(a.alert->Location().Position(), dapBottomRight);
}

TEST_F(AlertTest, DraggingADefaultStackAlertSwitchesTheDefaultStackToCustom) {
  TgwDesktopAlert alert;
  alert.Location().AlwaysResetPosition = false;
  alert.Popup();
  alert.Window()->OnUserMove();
  EXPECT_EQ(DefaultAlertStack()->Position(), dapCustom);
  alert.Window()->move(123, 45);
  alert.Window()->close();
  EXPECT_EQ(alert.Location().Left(), 123);  // reopened where the user left it
  EXPECT_EQ(alert.Location().Top(), 45);
  DefaultAlertStack()->setPosition(dapBottomRight);
}

TEST_F(AlertTest, AutoFreeAlertVanishesAfterClosing) {
  auto* created = new TgwDesktopAlert();
  QPointer<TgwDesktopAlert> alert = created;
  created->AutoFree = true;
  int closed = 0;
  created->OnClose = [&](QObject*) { ++closed; };
  created->Popup();
  QPointer<TgwFormDesktopAlert> window = created->Window();
  window->close();
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(alert);  // freed only after the close processing has returned
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(alert);
  EXPECT_FALSE(window);
}

TEST_F(AlertTest, CustomButtonClickHoldsTheEndPhaseWhileItsHandlerRuns) {
  OwnStackAlert a;
  std::uint32_t endIntervalDuringClick = 99;
  TgwDesktopAlertButtonItem* item = a.alert->Buttons().Add();
  item->ImageIndex = 0;
  item->OnClick = [&](QObject* sender) {
    EXPECT_TRUE(qobject_cast<TgwDesktopAlertButton*>(sender));
    endIntervalDuringClick = a.alert->StyleOptions()->EndInterval();
  };
  a.alert->Popup();
  ASSERT_EQ(a.alert->ButtonControls().size(), 1u);
  TgwDesktopAlertButton* button = a.alert->ButtonControls()[0];
  EXPECT_EQ(button->geometry(), QRect(2, 76 - 23, 21, 21));
  button->click();
  EXPECT_EQ(endIntervalDuringClick, 0u);
  EXPECT_EQ(a.alert->StyleOptions()->EndInterval(), 50u);
  // The pointer is not over the alert: it goes away now.
  EXPECT_EQ(a.alert->StyleOptions()->TimerInterval(), 50u);
}
