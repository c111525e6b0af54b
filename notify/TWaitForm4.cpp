#include "notify/TWaitForm4.h"

#include "notify/TMyWait.h"
#include "notify/TWaitCursor.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const QString idleText = QStringLiteral("Одну минутку");
}

TWaitForm4::TWaitForm4(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setFixedSize(354, 70);

  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(1);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(Panel1);
  auto* inner = new QVBoxLayout(Panel1);
  inner->setContentsMargins(3, 3, 3, 3);  // the bevel and a border of 2
  inner->setSpacing(0);

  Panel = new QFrame(Panel1);
  auto* panelLayout = new QVBoxLayout(Panel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  LabText = new QLabel(Panel);
  LabText->setAlignment(Qt::AlignCenter);
  LabText->setWordWrap(true);
  LabText->setTextFormat(Qt::PlainText);
  panelLayout->addWidget(LabText);
  inner->addWidget(Panel, 1);

  ProgressBarPanel = new QFrame(Panel1);
  ProgressBarPanel->setFixedHeight(16);
  auto* barLayout = new QVBoxLayout(ProgressBarPanel);
  barLayout->setContentsMargins(2, 2, 2, 2);
  ProgressBar = new QProgressBar(ProgressBarPanel);
  ProgressBar->setTextVisible(false);
  barLayout->addWidget(ProgressBar);
  inner->addWidget(ProgressBarPanel);

  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  move(area.left() + area.width() - width() - 10, area.top() + 10);
  ProgressBarPanel->hide();
  FormCreate();
}

TWaitForm4::~TWaitForm4() { m_cursor.reset(); }

void TWaitForm4::FormCreate() {
  LabText->setText(idleText);
  setWindowTitle(idleText);
}

void TWaitForm4::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormShow();
}

void TWaitForm4::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  FormHide();
}

void TWaitForm4::FormShow() {
  if (!m_cursor) m_cursor = std::make_unique<TWaitCursor>();
}

void TWaitForm4::FormHide() { m_cursor.reset(); }

// Child geometry follows at once, not with the next pass of the event loop.
void TWaitForm4::relayout() {
  if (layout()) layout()->activate();
  if (Panel1->layout()) Panel1->layout()->activate();
  repaint();
}

void TWaitForm4::ShowProgressBar() {
  if (!ProgressBarPanel->isHidden()) return;
  ProgressBarPanel->show();
  relayout();
}

void TWaitForm4::HideProgressBar() {
  if (ProgressBarPanel->isHidden()) return;
  ProgressBarPanel->hide();
  relayout();
}

void TWaitForm4::UpdateFromWaits() {
  if (m_updating != 0) return;
  ++m_updating;
  struct Leave {
    int& counter;
    ~Leave() { --counter; }
  } leave{m_updating};

  const QList<TMyWait*>& waits = TMyWait::ActiveWaits();
  if (waits.isEmpty()) {
    if (LabText->text() != idleText) {
      LabText->setText(idleText);
      LabText->repaint();
    }
    HideProgressBar();
    return;
  }
  const TMyWait* wait = waits.last();
  if (LabText->text() != wait->Text()) {
    LabText->setText(wait->Text());
    LabText->repaint();
  }
  bool barChanged = false;
  if (ProgressBar->minimum() != wait->Min()) {
    ProgressBar->setMinimum(wait->Min());
    barChanged = true;
  }
  const int maximum = std::max(ProgressBar->minimum(), wait->Max());
  if (ProgressBar->maximum() != maximum) {
    ProgressBar->setMaximum(maximum);
    barChanged = true;
  }
  const int position = std::clamp(wait->Position(), ProgressBar->minimum(), ProgressBar->maximum());
  if (ProgressBar->value() != position) {
    ProgressBar->setValue(position);
    barChanged = true;
  }
  if (barChanged) ProgressBar->repaint();
  if (wait->ShowProgress())
    ShowProgressBar();
  else
    HideProgressBar();
}
