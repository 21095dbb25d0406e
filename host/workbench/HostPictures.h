// The PNG pictures the workbench writes (screenshots, the panel a picture
// check saw): each carries a text chunk "Software" = "quill-host", by which
// a later run knows the file as its own and may replace it. A picture
// without that mark, or any other file, is never replaced.
#pragma once

#include <QByteArray>
#include <QImage>

#include "platform/files.h"

// The image as PNG bytes, marked as the workbench's; empty on failure.
QByteArray HostPng(QImage image);

extern const quill::files::FileKind kHostPicture;     // "picture"
extern const quill::files::FileKind kHostScreenshot;  // "screenshot"
