#include "notify/ImageList.h"

ImageList::ImageList(int width, int height, QObject* parent)
    : QObject(parent), m_width(width), m_height(height) {}

QPixmap ImageList::image(int index) const {
  if (index < 0 || index >= count()) return {};
  return m_images[index];
}

int ImageList::add(const QPixmap& pixmap) {
  m_images.append(pixmap);
  emit changed();
  return count() - 1;
}

void ImageList::replace(int index, const QPixmap& pixmap) {
  if (index < 0 || index >= count()) return;
  m_images[index] = pixmap;
  emit changed();
}
