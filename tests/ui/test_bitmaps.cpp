// The module's bitmaps: stated sizes at 1x and 2x, real content, and the
// rendering of every window to PNG files for review by eye.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <set>

#include "components/digital/frm_Knightrider.h"
#include "components/digital/frm_LED.h"
#include "components/digital/frm_Switch.h"
#include "framework/PictureControl.h"
#include "resources/Bitmaps.h"
#include "tests/ui/UiTestSupport.h"

namespace {

// Number of distinct colours in an image, up to a limit.
int distinctColours(const QImage& image, int limit = 64) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
            if (static_cast<int>(colours.size()) >= limit) return limit;
        }
    return static_cast<int>(colours.size());
}

// Sums of the red and green channels over the upper half.
std::pair<long, long> redGreenTop(const QImage& image) {
    long red = 0, green = 0;
    for (int y = 0; y < image.height() / 2; ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > c.green() + 60) red += 1;
            if (c.green() > c.red() + 60) green += 1;
        }
    return {red, green};
}

TEST(Bitmaps, EveryBitmapHasItsSizeAtOneAndTwoTimes) {
    const std::vector<std::pair<int, QSize>> stated{
        {220, {25, 25}}, {221, {25, 25}},  {204, {30, 30}}, {205, {30, 30}},  {201, {25, 16}},
        {202, {25, 16}}, {203, {329, 56}}, {261, {80, 16}}, {5001, {16, 16}}, {234, {16, 16}},
        {235, {16, 16}}, {236, {16, 16}},  {266, {16, 16}}, {242, {16, 16}},  {267, {16, 16}},
        {269, {16, 16}}, {288, {16, 16}},  {281, {16, 16}}};
    EXPECT_EQ(BitmapIds().size(), static_cast<qsizetype>(stated.size()));
    for (const auto& [id, size] : stated) {
        for (qreal ratio : {1.0, 2.0}) {
            const QPixmap pixmap = LoadBitmap(id, ratio);
            ASSERT_FALSE(pixmap.isNull()) << id;
            EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), size) << id;
            EXPECT_EQ(pixmap.size(), size * ratio) << id;
            EXPECT_GE(distinctColours(pixmap.toImage()), 4) << id << " looks blank";
        }
    }
    EXPECT_TRUE(LoadBitmap(9999).isNull());
    EXPECT_FALSE(BitmapSize(9999).isValid());
}

TEST(Bitmaps, PairsDifferInTheRightColours) {
    EXPECT_NE(LoadBitmap(220).toImage(), LoadBitmap(221).toImage());
    EXPECT_NE(LoadBitmap(201).toImage(), LoadBitmap(202).toImage());
    // Lever up is green at the top; lever down has no tip up there.
    const auto [upRed, upGreen] = redGreenTop(LoadBitmap(205).toImage());
    const auto [downRed, downGreen] = redGreenTop(LoadBitmap(204).toImage());
    EXPECT_GT(upGreen, 10);
    EXPECT_EQ(upRed, 0);
    EXPECT_EQ(downGreen, 0);
    // The lit segment is brighter than the unlit one.
    auto lightness = [](const QImage& image) {
        long sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) sum += image.pixelColor(x, y).red();
        return sum;
    };
    EXPECT_GT(lightness(LoadBitmap(202).toImage()), lightness(LoadBitmap(201).toImage()));
    (void)downRed;
}

// Renders the windows of this module to PNG files in QUILL_RENDER_DIR (or
// <build>/windows) and checks each picture's size and content. Run alone
// with --gtest_filter=RenderWindows.* to refresh the pictures.
class RenderWindows : public QuillUiTest {
protected:
    QString outputDir() {
        const QByteArray env = qgetenv("QUILL_RENDER_DIR");
        const QString dir = env.isEmpty() ? QStringLiteral(QUILL_BINARY_DIR "/windows")
                                          : QString::fromLocal8Bit(env);
        QDir().mkpath(dir);
        return dir;
    }
    void render(PluginForm* form, const QString& file, qreal ratio = 1.0) {
        ASSERT_NE(form, nullptr);
        QImage image(QSize(form->formWidth(), form->formHeight()) * ratio, QImage::Format_ARGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::gray);
        form->render(&image);
        EXPECT_EQ(image.size(), QSize(form->formWidth(), form->formHeight()) * ratio);
        EXPECT_GE(distinctColours(image), 8) << file.toStdString() << " looks blank";
        EXPECT_TRUE(image.save(outputDir() + "/" + file)) << file.toStdString();
    }
};

TEST_F(RenderWindows, DigitalComponentsToPng) {
    auto* led = open<frm_LED>(kCmdLed);
    auto* ledOn = open<frm_LED>(kCmdLed);
    auto* sw = open<frm_Switch>(kCmdSwitch);
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    setIo("PORTA", 0x99);
    refresh();
    // The second LED shows pin 7 of PINA lit.
    setIo("PINA", 0x80);
    refresh();
    EXPECT_TRUE(ledOn->isLit());
    leftClick(kr->switchPicture());
    leftClick(sw->picture());
    // Bind the first LED to PINC pin 7, which stays low: it shows dark.
    answerDialogs([](QDialog* d) {
        selectComboIndex(d, 244, 2);
        clickControl(d, 1);
    });
    triggerMenu(led, 32771);
    EXPECT_FALSE(led->isLit());
    render(led, "led_off.png");
    render(ledOn, "led_on.png");
    render(ledOn, "led_on@2x.png", 2.0);
    render(sw, "switch_on.png");
    auto* swOff = open<frm_Switch>(kCmdSwitch);
    render(swOff, "switch_off.png");
    render(kr, "knightrider.png");
    render(kr, "knightrider@2x.png", 2.0);
}

TEST_F(RenderWindows, SettingsDialogsToPng) {
    auto* led = open<frm_LED>(kCmdLed);
    auto* sw = open<frm_Switch>(kCmdSwitch);
    auto* kr = open<frm_Knightrider>(kCmdKnightRider);
    const std::vector<std::pair<PluginForm*, QString>> dialogs{
        {led, "led_settings.png"}, {sw, "switch_settings.png"}, {kr, "knightrider_settings.png"}};
    for (const auto& [form, file] : dialogs) {
        QString saved;
        answerDialogs([&, file = file](QDialog* d) {
            d->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
            const QImage image = d->grab().toImage();
            EXPECT_GE(distinctColours(image), 8);
            if (image.save(outputDir() + "/" + file)) saved = file;
            clickControl(d, 2);
        });
        triggerMenu(form, 32771);
        EXPECT_EQ(saved, file);
    }
}

TEST_F(RenderWindows, BitmapSheetToPng) {
    // Every bitmap side by side at 2x on a light grey ground.
    const qreal ratio = 2.0;
    int width = 8, height = 0;
    for (int id : BitmapIds()) {
        width += BitmapSize(id).width() + 8;
        height = std::max(height, BitmapSize(id).height());
    }
    QImage sheet(QSize(width, height + 16) * ratio, QImage::Format_ARGB32);
    sheet.setDevicePixelRatio(ratio);
    sheet.fill(QColor(230, 230, 230));
    QPainter painter(&sheet);
    int x = 8;
    for (int id : BitmapIds()) {
        painter.drawPixmap(x, 8, LoadBitmap(id, ratio));
        x += BitmapSize(id).width() + 8;
    }
    painter.end();
    EXPECT_TRUE(sheet.save(outputDir() + "/bitmaps@2x.png"));
}

}  // namespace
