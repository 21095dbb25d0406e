// The module's bitmaps, addressed by resource number and drawn in code so
// that they stay crisp at any device pixel ratio.
#pragma once

#include <QPixmap>

#include "contract/ResourceIds.h"  // the bitmap numbers (namespace bitmap)

// Logical size of a bitmap; an invalid size for an unknown id.
QSize BitmapSize(int resourceId);

// The bitmap `resourceId` at its logical size, rendered for the given
// device pixel ratio. Null for an unknown id, and when no GUI application
// exists (pixmaps need one).
QPixmap LoadBitmap(int resourceId, qreal devicePixelRatio = 1.0);

// The module's exported bitmap loader, looked up by a host with dlsym under
// this plain name: stores the bitmap in *out and returns whether the id is
// known. Host and module share one Qt, so a QPixmap may cross.
extern "C" bool QuillLoadBitmap(int resourceId, double devicePixelRatio, QPixmap* out);

// Every resource id LoadBitmap knows, in ascending order.
const QList<int>& BitmapIds();
