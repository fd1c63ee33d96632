#pragma once
// The layouts were drawn for a narrow 8-point system font; the faces on other
// systems often run wider. Rather than clip a fixed caption, the font is
// narrowed and, if that is not enough, made smaller until the captions fit.

#include <QFont>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

struct CaptionBox {
  QString Text;
  QRect Box;      // where the text is drawn
  bool Wrapped;   // wraps within Box rather than running on one line
};

bool CaptionsFit(const QFont &font, const std::vector<CaptionBox> &captions);

// `base` when everything fits in it, else the first narrower or smaller
// version that does; the smallest tried when none does.
QFont FitFont(const QFont &base, const std::vector<CaptionBox> &captions);
