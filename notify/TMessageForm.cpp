#include "notify/TMessageForm.h"

#include "notify/DialogFitting.h"
#include "notify/ModalResult.h"

#include <QAction>
#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

namespace {
constexpr int topHeight = 7;
constexpr int leftWidth = 41;
constexpr int rightWidth = 10;
constexpr int bottomHeight = 53;
constexpr int minLabelWidth = 250;
constexpr int minLabelHeight = 100;
}  // namespace

TMessageForm::TMessageForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setMinimumSize(308, 156);

  PanelTop = new QFrame(this);
  Bevel1 = new QFrame(PanelTop);
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  PanelLeft = new QFrame(this);
  Image = new QLabel(PanelLeft);
  Image->setGeometry(4, 7, 32, 32);
  PanelRight = new QFrame(this);
  PanelBottom = new QFrame(this);
  Bevel2 = new QFrame(PanelBottom);
  Bevel2->setFrameShape(QFrame::HLine);
  Bevel2->setFrameShadow(QFrame::Sunken);
  BtnOk = new QPushButton(QStringLiteral("OK"), PanelBottom);
  BtnOk->resize(75, 25);
  BtnOk->setDefault(true);
  BtnOk->setCursor(Qt::PointingHandCursor);
  connect(BtnOk, &QPushButton::clicked, this, [this] { done(mrOk); });

  ScrollBox = new QScrollArea(this);
  ScrollBox->setFrameShape(QFrame::NoFrame);
  ScrollBox->setAlignment(Qt::AlignCenter);
  ScrollBox->horizontalScrollBar()->setSingleStep(21);
  ScrollBox->setWidgetResizable(false);
  Labmess = new QLabel;
  Labmess->setAlignment(Qt::AlignCenter);
  Labmess->setTextFormat(Qt::PlainText);
  Labmess->setWordWrap(false);
  Labmess->setContextMenuPolicy(Qt::CustomContextMenu);
  ScrollBox->setWidget(Labmess);
  // The text lies on the window's own background, as if there were no scroll box.
  ScrollBox->setBackgroundRole(QPalette::Window);
  ScrollBox->viewport()->setBackgroundRole(QPalette::Window);

  ActionCopy = new QAction(QStringLiteral("Копировать текст в буфер обмена"), this);
  ActionCopy->setShortcut(QKeySequence::Copy);
  ActionCopy->setShortcutContext(Qt::WindowShortcut);
  connect(ActionCopy, &QAction::triggered, this, &TMessageForm::ActionCopyExecute);
  addAction(ActionCopy);
  PopupMenu1 = new QMenu(this);
  PopupMenu1->addAction(ActionCopy);
  connect(Labmess, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->exec(Labmess->mapToGlobal(at)); });

  resize(308, 156);
}

void TMessageForm::Prepare(const QString& text, const QString& caption, const QIcon& icon) {
  setWindowTitle(caption);
  Labmess->setText(text);
  const QSize textSize = Labmess->sizeHint();
  Labmess->resize(qMax(textSize.width(), minLabelWidth), qMax(textSize.height(), minLabelHeight));
  FitToText();
  Image->setPixmap(icon.pixmap(32, 32));
  Image->resize(32, 32);
}

void TMessageForm::FitToText() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  const DialogFit fit =
      fitDialogToText(Labmess->size(), QSize(leftWidth + rightWidth, topHeight + bottomHeight),
                      area.size(), style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  const QSize client = fit.client.expandedTo(minimumSize());
  setFixedSize(client);
  move(area.left() + (area.width() - client.width()) / 2,
       area.top() + (area.height() - client.height()) / 2);
  FormResize();  // a hidden window gets its resize event only when shown
}

void TMessageForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

// The panels keep their edges; the button stays centred.
void TMessageForm::FormResize() {
  const int w = width();
  const int h = height();
  PanelTop->setGeometry(0, 0, w, topHeight);
  Bevel1->setGeometry(0, 0, w, 2);
  PanelBottom->setGeometry(0, h - bottomHeight, w, bottomHeight);
  Bevel2->setGeometry(10, 0, w - 20, 2);
  PanelLeft->setGeometry(0, topHeight, leftWidth, h - topHeight - bottomHeight);
  PanelRight->setGeometry(w - rightWidth, topHeight, rightWidth, h - topHeight - bottomHeight);
  ScrollBox->setGeometry(leftWidth, topHeight, w - leftWidth - rightWidth,
                         h - topHeight - bottomHeight);
  BtnOk->move((w - BtnOk->width()) / 2, 15);
}

void TMessageForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

// The message comes to the front even when the program is not the active one.
void TMessageForm::FormShow() {
  raise();
  activateWindow();
}

// Esc and the close button end the dialog like its only button.
void TMessageForm::reject() { done(mrOk); }

void TMessageForm::ActionCopyExecute() { QGuiApplication::clipboard()->setText(Labmess->text()); }
