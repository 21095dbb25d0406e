// Pictures of the analog components, drawn in code (see Bitmaps.h for
// their resource numbers).
#pragma once

#include <QPainter>
#include <QSizeF>

namespace analogpictures {
void circuit555(QPainter& p, QSizeF size);    // bitmap 215
void capacitor(QPainter& p, QSizeF size);     // bitmap 268
void cellarNormal(QPainter& p, QSizeF size);  // bitmap 275
void cellarCold(QPainter& p, QSizeF size);    // bitmap 276
void cellarHot(QPainter& p, QSizeF size);     // bitmap 277
}  // namespace analogpictures
