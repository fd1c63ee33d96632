#pragma once

#include <QString>

class QWidget;

// The caption of every message box of the program.
inline const char *const AppTitle = "Calvenori Uploader";

// Modal message box with one OK button and no icon. Lines may be joined by a
// lone carriage return; they are shown one per line.
void ShowMessage(QWidget *owner, const QString &text);

// What the technician answers to an offer.
enum class OfferAnswer { Yes, No, Other };

// Modal question with Yes and No, and a third button captioned `other` when
// it is not empty. Same caption and line breaks as ShowMessage.
OfferAnswer AskOffer(QWidget *owner, const QString &text, const QString &other = {});
