#pragma once
// The modal message window: an icon on the left, the text centred beside it (scrolling
// when it does not fit on the screen), one OK button that Enter and Esc both press, and
// Ctrl+C or the context menu copying the whole text.
#include <QDialog>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;

class TMessageForm : public QDialog {
  Q_OBJECT
public:
  explicit TMessageForm(QWidget* parent = nullptr);

  // Caption, text and icon, and the window fitted to the text: all before showing.
  void Prepare(const QString& text, const QString& caption, const QIcon& icon);

  QFrame* PanelTop = nullptr;
  QFrame* Bevel1 = nullptr;
  QFrame* PanelLeft = nullptr;
  QLabel* Image = nullptr;
  QFrame* PanelRight = nullptr;
  QFrame* PanelBottom = nullptr;
  QFrame* Bevel2 = nullptr;
  QPushButton* BtnOk = nullptr;
  QScrollArea* ScrollBox = nullptr;
  QLabel* Labmess = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* ActionCopy = nullptr;

  void ActionCopyExecute();

protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void reject() override;

private:
  void FormResize();
  void FormShow();
  void FitToText();
};
