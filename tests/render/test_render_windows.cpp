// Runs quill-render-windows into a fresh folder and checks every picture:
// present, at its window's size (and twice that for "@2x"), and not blank.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

namespace {

struct Expected {
    const char* name;
    int width;
    int height;
};

// The windows' own sizes.
const Expected kPictures[] = {
    {"led_lit", 60, 75},       {"led_dark", 60, 75}, {"switch", 60, 75},
    {"knightrider", 375, 135}, {"keypad", 150, 200}, {"stackview", 300, 337},
    {"slider", 62, 422},       {"capacity", 289, 320}, {"beerbasement", 340, 340},
    {"beerbasement_hot", 340, 340}, {"beerbasement_cold", 340, 340},
};

int distinctColours(const QImage& image, int enough) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            seen.insert(image.pixel(x, y));
            if (seen.size() >= enough) return enough;
        }
    }
    return static_cast<int>(seen.size());
}

class RenderWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        ASSERT_TRUE(dir->isValid());
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QUILL_RENDER_COMMAND, {dir->path()});
        ASSERT_TRUE(process.waitForFinished(120000));
        exitCode = process.exitCode();
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static QImage load(const QString& file) { return QImage(QDir(dir->path()).filePath(file)); }

    static QTemporaryDir* dir;
    static int exitCode;
};

QTemporaryDir* RenderWindows::dir = nullptr;
int RenderWindows::exitCode = -1;

TEST_F(RenderWindows, EveryWindowAtItsSizeAndNotBlank) {
    ASSERT_EQ(exitCode, 0);
    for (const Expected& e : kPictures) {
        for (int scale : {1, 2}) {
            const QString file =
                QString::fromUtf8(e.name) + (scale == 1 ? "" : "@2x") + QStringLiteral(".png");
            const QImage image = load(file);
            ASSERT_FALSE(image.isNull()) << file.toStdString();
            EXPECT_EQ(image.size(), QSize(e.width, e.height) * scale) << file.toStdString();
            // A window with content has more than its background colour.
            EXPECT_GE(distinctColours(image, 3), 3) << file.toStdString();
        }
    }
}

}  // namespace
