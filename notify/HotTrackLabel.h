#pragma once
// A word-wrapping label that can look like a link while the pointer is over it and reports
// clicks: the alert's message text.
#include <QFont>
#include <QLabel>

class HotTrackLabel : public QLabel {
  Q_OBJECT
public:
  explicit HotTrackLabel(QWidget* parent = nullptr);

  bool hotTrack() const { return m_hotTrack; }
  void setHotTrack(bool on);
  // Font and colour used while the pointer is over the label and hot tracking is on.
  void setHotTrackFont(const QFont& font, const QColor& color);

  // The size the text takes when wrapped at `width`: as wide as its widest line.
  QSize wrappedSize(int width) const;

signals:
  void clicked();

protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  void applyLook(bool hot);

  bool m_hotTrack = false;
  bool m_hot = false;
  QFont m_hotFont;
  QColor m_hotColor;
};
