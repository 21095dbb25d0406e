// The platform notices are told apart from everything else, and the
// filter drops only them: the project's messages and real warnings reach
// the handler behind it.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "host/quiet/PlatformNoise.h"
#include "host/quiet/QtNoiseFilter.h"

namespace {

QStringList seen;

void Capture(QtMsgType, const QMessageLogContext&, const QString& message) { seen << message; }

}  // namespace

TEST(PlatformNoise, OnlyTheWindowSystemsNotices) {
    for (const char* notice : {"This plugin does not support propagateSizeHints()",
                               "This plugin does not support raise()",
                               "This plugin does not support grabbing the keyboard",
                               "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to "
                               "'/tmp/runtime-root'"}) {
        EXPECT_TRUE(quiet::IsPlatformNoise(notice)) << notice;
    }
    for (const char* kept : {"quill-host: cannot read firmware x.elf",
                             "QStandardPaths: wrong permissions on runtime directory /run/x",
                             "Note: This plugin does not support raise()", "",
                             "This plugin does not"}) {
        EXPECT_FALSE(quiet::IsPlatformNoise(kept)) << kept;
    }
}

TEST(PlatformNoise, FilterPassesEverythingElseOn) {
    qInstallMessageHandler(Capture);
    quiet::InstallPlatformNoiseFilter();
    quiet::InstallPlatformNoiseFilter();  // once is enough
    const long long before = quiet::DroppedPlatformNotices();
    qWarning("This plugin does not support propagateSizeHints()");
    qWarning("QObject::connect: No such signal Foo::bar()");
    qCritical("This plugin does not support raise()");
    qInfo("a message of the host");
    EXPECT_EQ(seen, (QStringList{"QObject::connect: No such signal Foo::bar()",
                                 "a message of the host"}));
    EXPECT_EQ(quiet::DroppedPlatformNotices() - before, 2);
}
