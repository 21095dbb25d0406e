#include "host/quiet/QtNoiseFilter.h"

#include <QString>
#include <QtGlobal>

#include "host/quiet/PlatformNoise.h"

namespace quiet {

namespace {

QtMessageHandler previous = nullptr;
long long dropped = 0;

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg && IsPlatformNoise(message.toStdString())) {
        ++dropped;
        return;
    }
    previous(type, context, message);
}

}  // namespace

void InstallPlatformNoiseFilter() {
    if (previous) return;
    // Qt answers its default handler when none was installed.
    previous = qInstallMessageHandler(Filter);
}

long long DroppedPlatformNotices() { return dropped; }

}  // namespace quiet
