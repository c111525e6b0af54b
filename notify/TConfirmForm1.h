#pragma once
// The modal yes/no question: a question icon, the centred question, "Да" (Enter) and
// "Нет" (Esc, close button) in one centred row.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;

class TConfirmForm1 : public QDialog {
  Q_OBJECT
public:
  explicit TConfirmForm1(QWidget* parent = nullptr);

  // The question (a blank one keeps "Подтвердите операцию"), one row of buttons, the
  // window fitted to the text: all before showing.
  void Prepare(const QString& text);

  QFrame* PanelTop = nullptr;
  QFrame* Bevel1 = nullptr;
  QFrame* PanelLeft = nullptr;
  QLabel* Image = nullptr;
  QFrame* PanelRight = nullptr;
  QFrame* PanelBottom = nullptr;
  QFrame* Bevel3 = nullptr;
  QPushButton* BtnOk = nullptr;
  QPushButton* BtnNo = nullptr;
  QPushButton* BtnIgnore = nullptr;
  QScrollArea* ScrollBox = nullptr;
  QLabel* LabelText = nullptr;

protected:
  void resizeEvent(QResizeEvent* event) override;
  void reject() override;

private:
  void FormCreate();
  void FormResize();
  void FitToText();
  void setLabelText(const QString& text);

  int m_bottomHeight = 90;
};
