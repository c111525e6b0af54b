#pragma once
// The notification pictures: one list of 16 x 16 images, of which the alerts use the last,
// the pushpin (index 38).
#include <QObject>

class ImageList;

class TShowHintDM : public QObject {
  Q_OBJECT
public:
  static constexpr int pushpinIndex = 38;
  static constexpr int imageCount = 39;

  explicit TShowHintDM(QObject* parent = nullptr);
  ImageList* ShowHintImgList = nullptr;

  // The pushpin picture, drawn so that the program ships no image files.
  static QPixmap drawPushpin();
};
