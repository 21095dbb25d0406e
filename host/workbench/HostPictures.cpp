#include "host/workbench/HostPictures.h"

#include <QBuffer>

namespace {

constexpr char kKey[] = "Software";
constexpr char kMark[] = "quill-host";

bool isHostPng(std::string_view head) { return quill::files::isPngWithText(head, kKey, kMark); }

}  // namespace

QByteArray HostPng(QImage image) {
    image.setText(kKey, kMark);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return {};
    return png;
}

const quill::files::FileKind kHostPicture{
    "picture", "a picture this host wrote (a PNG marked \"Software: quill-host\")", &isHostPng};
const quill::files::FileKind kHostScreenshot{
    "screenshot", "a picture this host wrote (a PNG marked \"Software: quill-host\")", &isHostPng};
