// Fitting a text of unknown length, such as a device name from the sound server, into a
// label of fixed size.
#pragma once

#include <QFont>
#include <QSize>
#include <QString>

// `text` as it fits `box` in `font`, wrapped at word boundaries: whole when it fits,
// otherwise cut at a character and ended with "…" so that a reader sees it was cut.
QString FittedText(const QString& text, const QFont& font, QSize box);
