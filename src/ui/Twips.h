#pragma once
// The window layouts are given in twips; on screen one pixel is 15 twips.

#include <QRect>

constexpr int TwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; }
constexpr int PixelsToTwips(int pixels) { return pixels * TwipsPerPixel; }

inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
               TwipsToPixels(height));
}
