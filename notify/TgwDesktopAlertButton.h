#pragma once
// A small flat button of the alert window: a drawn glyph (close, drop-down, arrows...) or a
// picture of an image list. Highlights while the pointer is over it; may open a menu.
#include "notify/AlertTypes.h"

#include <QAbstractButton>
#include <QPointer>

#include "notify/ImageList.h"
#include <QMenu>

class TgwDesktopAlertButton : public QAbstractButton {
  Q_OBJECT
public:
  explicit TgwDesktopAlertButton(QWidget* parent = nullptr);

  TgwDesktopAlertButtonType ToolType() const { return m_toolType; }
  void setToolType(TgwDesktopAlertButtonType value);
  ImageList* Images() const { return m_images; }
  void setImages(ImageList* value);
  int ImageIndex() const { return m_imageIndex; }
  void setImageIndex(int value);
  QMenu* DropDownMenu() const { return m_dropDownMenu; }
  void setDropDownMenu(QMenu* menu) { m_dropDownMenu = menu; }
  int Tag = 0;

  TNotifyEvent OnClick;          // sender: this button
  TNotifyEvent OnInternalClick;  // the OnClick of the button item this button was made from
  std::function<void()> OnDropDownMenuOpening;
  std::function<void()> OnDropDownMenuClosed;

  bool MouseInside() const { return m_mouseInside; }

  QSize sizeHint() const override { return {21, 21}; }

  // Shows the drop-down menu under the button, or runs OnClick: what a click does.
  void Click();

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  void paintGlyph(QPainter& painter);
  void paintChevron(QPainter& painter);
  void paintImage(QPainter& painter);

  TgwDesktopAlertButtonType m_toolType = abtImage;
  QPointer<ImageList> m_images;
  QPointer<QMenu> m_dropDownMenu;
  int m_imageIndex = -1;
  bool m_mouseInside = false;
};
