#include "notify/TConfirmForm1.h"

#include "notify/DialogFitting.h"
#include "notify/ModalResult.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

namespace {
constexpr int topHeight = 7;
constexpr int leftWidth = 41;
constexpr int rightWidth = 10;
constexpr int minLabelWidth = 260;
constexpr int minLabelHeight = 90;

QPushButton* makeButton(QWidget* parent, int top, ModalResult result, QDialog* dialog) {
  auto* button = new QPushButton(parent);
  button->setGeometry(0, top, 107, 25);
  button->setCursor(Qt::PointingHandCursor);
  QObject::connect(button, &QPushButton::clicked, dialog, [dialog, result] { dialog->done(result); });
  return button;
}
}  // namespace

TConfirmForm1::TConfirmForm1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
  setFont(QFont(QStringLiteral("Tahoma"), 8));

  PanelTop = new QFrame(this);
  Bevel1 = new QFrame(PanelTop);
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  PanelLeft = new QFrame(this);
  Image = new QLabel(PanelLeft);
  Image->setGeometry(4, 7, 32, 32);
  PanelRight = new QFrame(this);
  PanelBottom = new QFrame(this);
  Bevel3 = new QFrame(PanelBottom);
  Bevel3->setFrameShape(QFrame::HLine);
  Bevel3->setFrameShadow(QFrame::Sunken);
  BtnOk = makeButton(PanelBottom, 21, mrOk, this);
  BtnNo = makeButton(PanelBottom, 21, mrCancel, this);
  BtnIgnore = makeButton(PanelBottom, 55, mrIgnore, this);
  BtnOk->setDefault(true);

  ScrollBox = new QScrollArea(this);
  ScrollBox->setFrameShape(QFrame::NoFrame);
  ScrollBox->setAlignment(Qt::AlignCenter);
  ScrollBox->setWidgetResizable(false);
  // The text lies on the window's own background, as if there were no scroll box.
  ScrollBox->setBackgroundRole(QPalette::Window);
  ScrollBox->viewport()->setBackgroundRole(QPalette::Window);
  LabelText = new QLabel;
  LabelText->setAlignment(Qt::AlignCenter);
  LabelText->setTextFormat(Qt::PlainText);
  ScrollBox->setWidget(LabelText);

  resize(321, 199);
  FormCreate();
}

void TConfirmForm1::FormCreate() {
  setWindowTitle(QStringLiteral("Подтверждение"));
  setLabelText(QStringLiteral("Подтвердите операцию"));
  BtnOk->setText(QStringLiteral("Да"));
  BtnNo->setText(QStringLiteral("Нет"));
  BtnIgnore->setText(QStringLiteral("Отменить"));
  Image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  Image->resize(32, 32);
  BtnOk->setFocus();
}

void TConfirmForm1::setLabelText(const QString& text) {
  LabelText->setText(text);
  const QSize textSize = LabelText->sizeHint();
  LabelText->resize(qMax(textSize.width(), minLabelWidth), qMax(textSize.height(), minLabelHeight));
}

void TConfirmForm1::Prepare(const QString& text) {
  if (!text.trimmed().isEmpty()) setLabelText(text);
  BtnIgnore->hide();
  m_bottomHeight = BtnIgnore->y();
  FitToText();
}

void TConfirmForm1::FitToText() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  const DialogFit fit = fitDialogToText(
      LabelText->size(), QSize(leftWidth + rightWidth, topHeight + m_bottomHeight), area.size(),
      style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  setFixedSize(fit.client);
  move(area.left() + (area.width() - fit.client.width()) / 2,
       area.top() + (area.height() - fit.client.height()) / 2);
  FormResize();  // a hidden window gets its resize event only when shown
}

void TConfirmForm1::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TConfirmForm1::FormResize() {
  const int w = width();
  const int h = height();
  PanelTop->setGeometry(0, 0, w, topHeight);
  Bevel1->setGeometry(0, 0, w, 2);
  PanelBottom->setGeometry(0, h - m_bottomHeight, w, m_bottomHeight);
  Bevel3->setGeometry(10, 6, w - 20, 2);
  PanelLeft->setGeometry(0, topHeight, leftWidth, h - topHeight - m_bottomHeight);
  PanelRight->setGeometry(w - rightWidth, topHeight, rightWidth, h - topHeight - m_bottomHeight);
  ScrollBox->setGeometry(leftWidth, topHeight, w - leftWidth - rightWidth,
                         h - topHeight - m_bottomHeight);
  BtnIgnore->move((w - BtnIgnore->width()) / 2, BtnIgnore->y());
  BtnOk->move(w / 2 - BtnOk->width() - 10, BtnOk->y());
  BtnNo->move(w / 2 + 10, BtnNo->y());
}

// Esc and the close button answer "Нет".
void TConfirmForm1::reject() { done(mrCancel); }
