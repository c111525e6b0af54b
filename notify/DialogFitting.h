#pragma once
// Sizes a message or question dialog to its text: as large as the text with its margins,
// up to the screen minus 100 pixels each way; a text taller than that scrolls, and the
// window grows by the scroll bar's width so that the bar does not cover the text.
#include <QSize>

struct DialogFit {
  QSize client;          // the dialog's client size
  bool verticalScroll;   // whether the text is taller than the space it gets
};

// `margins` is the room around the label (left + right panels, top + bottom panels).
DialogFit fitDialogToText(QSize label, QSize margins, QSize screen, int scrollBarWidth);
