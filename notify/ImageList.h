#pragma once
// A list of equally sized pictures addressed by index, as the alert's image buttons use it.
// Buttons watch `changed` to repaint and `destroyed` to drop the list.
#include <QObject>
#include <QPixmap>
#include <QVector>

class ImageList : public QObject {
  Q_OBJECT
public:
  ImageList(int width, int height, QObject* parent = nullptr);

  int width() const { return m_width; }
  int height() const { return m_height; }
  int count() const { return static_cast<int>(m_images.size()); }
  QPixmap image(int index) const;  // a null pixmap outside the list
  int add(const QPixmap& pixmap);  // returns the new index
  void replace(int index, const QPixmap& pixmap);

signals:
  void changed();

private:
  int m_width;
  int m_height;
  QVector<QPixmap> m_images;
};
