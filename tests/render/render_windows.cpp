// quill-render-windows <output-dir> [--scale N]
//
// Renders every component window to PNG files for review by eye: a
// plug-in object on the in-memory host, debugging an ATmega16, opens an LED
// (lit and dark), a Switch, a Knight Rider showing a pattern, a Keypad with
// a held key, the Stack view over some stack contents with its pointers, a
// Slider, Capacity Measurement and the Beerbasement (normal, hot, cold), and
// grabs each window at its own size. Without --scale it
// renders at 1x and then runs itself again at 2x (files named "@2x");
// each pass also writes a composite of all windows, "windows.png" or
// "windows@2x.png".
//
// Runs without a display: the offscreen platform is used unless
// QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "components/ComponentWiring.h"
#include "components/analog/frm_Beerbasement.h"
#include "components/analog/frm_Slider.h"
#include "components/digital/MemoryListCtrl.h"
#include "components/digital/frm_Keypad.h"
#include "components/digital/frm_Stackview.h"
#include "core/CLEDView.h"
#include "framework/Controls.h"
#include "framework/PluginForm.h"
#include "host/memory/InMemoryHost.h"

namespace {

struct Shot {
    QString name;     // file base name
    QString caption;  // shown in the composite
    QPixmap picture;
};

class Renderer {
public:
    explicit Renderer(const QString& installDirectory) {
        host_.works().debugging = 1;
        host_.works().installDirectory = installDirectory.toStdString();
        host_.target().partName = "ATmega16";
        host_.works().dockedWindowFactory = [this](const std::string& name, HWND* window) {
            // A frame with a client area, as the IDE's docking frames are.
            auto* frame = new QWidget;
            frame->setWindowTitle(QString::fromStdString(name));
            auto* layout = new QVBoxLayout(frame);
            layout->setContentsMargins(0, 0, 0, 0);
            auto* client = new QWidget(frame);
            layout->addWidget(client);
            frame->show();
            frames_.emplace_back(frame);
            *window = reinterpret_cast<HWND>(client);
            return S_OK;
        };
        core_ = new CLEDView;
        core_->AddRef();
        WireComponents(core_);
    }

    ~Renderer() {
        core_->Release();
        frames_.clear();
    }

    bool start(std::string* problem) {
        if (FAILED(core_->Init(&host_.works()))) {
            *problem = "the plug-in object did not initialise";
            return false;
        }
        core_->HandleEvent(kEventTargetReady, nullptr);
        if (!core_->IsSimulator() || core_->GetRegisterAddress("PORTB") == 0) {
            *problem = "the ATmega16 part description was not found under " +
                       host_.works().installDirectory;
            return false;
        }
        step();
        return true;
    }

    void setIo(const char* name, uint8_t value) {
        host_.target().Io()[static_cast<size_t>(core_->GetRegisterAddress(name))] = value;
    }
    void setSram(int address, uint8_t value) {
        host_.target().Sram()[static_cast<size_t>(address - 0x60)] = value;
    }
    void setRegisterPair(int low, uint16_t value) {
        host_.target().Registers()[static_cast<size_t>(low)] = static_cast<uint8_t>(value & 0xFF);
        host_.target().Registers()[static_cast<size_t>(low + 1)] = static_cast<uint8_t>(value >> 8);
    }
    // One simulator step: the cycle count moves and the core refreshes.
    void step() {
        host_.target().cycleCounter += 3;
        core_->HandleEvent(kEventHalted, nullptr);
        QApplication::processEvents();
    }

    PluginForm* open(int command) {
        core_->ExecuteCommand(command);
        IComponentWindow* window =
            command == kCmdStackView
                ? core_->StackView()
                : (core_->Windows(command).empty() ? nullptr
                                                   : core_->Windows(command).back().get());
        auto* formWindow = dynamic_cast<FormWindow*>(window);
        PluginForm* form = formWindow ? formWindow->form() : nullptr;
        QApplication::processEvents();
        return form;
    }

    // A left click as the window system delivers it.
    static void click(QWidget* widget) {
        const QPointF at = QRectF(widget->rect()).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }

    static QPixmap grab(PluginForm* form) {
        QApplication::processEvents();
        return form ? form->grab() : QPixmap();
    }

private:
    memhost::InMemoryHost host_;
    CLEDView* core_ = nullptr;
    std::vector<std::unique_ptr<QWidget>> frames_;
};

// Bytes of a small program's stack: a return address, saved registers and
// a local text buffer, just below the top of memory.
void fillStack(Renderer& r) {
    const uint8_t stack[] = {0x00, 0x2A, 0x01, 0x3C, 0x1F, 0x00, 0x45, 0x04};
    for (size_t i = 0; i < sizeof stack; ++i) r.setSram(0x45F - static_cast<int>(i), stack[i]);
    const char* text = "Quill";
    for (int i = 0; text[i]; ++i) r.setSram(0x450 + i, static_cast<uint8_t>(text[i]));
}

std::vector<Shot> renderAll(Renderer& r) {
    std::vector<Shot> shots;

    r.setIo("PINA", 0x80);  // the LED watches PINA bit 7
    r.step();
    PluginForm* led = r.open(kCmdLed);
    shots.push_back({"led_lit", "LED (lit)", Renderer::grab(led)});
    r.setIo("PINA", 0x00);
    r.step();
    shots.push_back({"led_dark", "LED (dark)", Renderer::grab(led)});

    // The switch shows its lever down until it is clicked; one click
    // raises its pin (PINA bit 0) and the lever.
    PluginForm* sw = r.open(kCmdSwitch);
    if (QWidget* lever = sw ? findControl(sw, 221) : nullptr) Renderer::click(lever);
    r.step();
    shots.push_back({"switch", "Switch (on)", Renderer::grab(sw)});

    r.setIo("PORTA", 0x3C);
    r.step();
    shots.push_back({"knightrider", "Knight Rider", Renderer::grab(r.open(kCmdKnightRider))});

    r.setIo("DDRB", 0x0F);
    r.setIo("PORTB", 0x04);  // the program drives row 1
    r.step();
    auto* pad = qobject_cast<frm_Keypad*>(r.open(kCmdKeypad));
    if (auto* five = pad ? findControlAs<QPushButton>(pad, 283) : nullptr) Renderer::click(five);
    shots.push_back({"keypad", "Keypad (5 held)", Renderer::grab(pad)});

    fillStack(r);
    r.setIo("SPL", 0x57);  // SP = 0x0457
    r.setIo("SPH", 0x04);
    r.setRegisterPair(26, 0x453);  // X
    r.setRegisterPair(28, 0x45A);  // Y
    r.setRegisterPair(30, 0x450);  // Z
    r.step();
    auto* stack = qobject_cast<frm_Stackview*>(r.open(kCmdStackView));
    if (stack) {
        for (int id :
             {menu::kShowX, menu::kShowY, menu::kShowZ, menu::kShowDecimal, menu::kShowAscii}) {
            stack->command(id);
        }
    }
    r.setSram(0x456, 0x99);  // pushed in the last step: shown red
    r.setSram(0x457, 0x12);
    r.setIo("SPL", 0x55);
    r.step();
    shots.push_back({"stackview", "Stack view", Renderer::grab(stack)});

    auto* slider = qobject_cast<frm_Slider*>(r.open(kCmdSlider));
    if (slider) slider->trackbar()->setValue(65);
    shots.push_back({"slider", "Slider", Renderer::grab(slider)});
    shots.push_back(
        {"capacity", "Capacity Measurement", Renderer::grab(r.open(kCmdCapacityMeasurement))});
    r.setIo("PINA", 0x00);  // heater, cooler and status (all on PA0) off
    r.step();
    auto* cellar = qobject_cast<frm_Beerbasement*>(r.open(kCmdBeerbasement));
    shots.push_back({"beerbasement", "Beerbasement", Renderer::grab(cellar)});
    if (cellar) {
        cellar->trackbar()->setValue(32);
        cellar->ShowOutput(0x01, frm_Beerbasement::Heater);
        cellar->ShowOutput(0x01, frm_Beerbasement::Status);
    }
    shots.push_back({"beerbasement_hot", "Beerbasement (heater)", Renderer::grab(cellar)});
    if (cellar) {
        cellar->trackbar()->setValue(-4);
        cellar->ShowOutput(0x00, frm_Beerbasement::Heater);
        cellar->ShowOutput(0x01, frm_Beerbasement::Cooler);
    }
    shots.push_back({"beerbasement_cold", "Beerbasement (cooler)", Renderer::grab(cellar)});
    return shots;
}

// All windows side by side on a light background with captions.
QPixmap composite(const std::vector<Shot>& shots, qreal ratio) {
    const int gap = 16, captionHeight = 22;
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    // Each column is as wide as its window or its caption.
    auto columnWidth = [&](const Shot& s) {
        return std::max(s.picture.deviceIndependentSize().toSize().width(),
                        metrics.horizontalAdvance(s.caption));
    };
    int width = gap, height = 0;
    for (const Shot& s : shots) {
        width += columnWidth(s) + gap;
        height = std::max(height, s.picture.deviceIndependentSize().toSize().height());
    }
    height += 2 * gap + captionHeight;
    QPixmap out(QSize(width, height) * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(QColor(0xe9, 0xec, 0xef));
    QPainter p(&out);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font);
    int x = gap;
    for (const Shot& s : shots) {
        const QSize size = s.picture.deviceIndependentSize().toSize();
        p.setPen(QColor(0x33, 0x33, 0x33));
        p.drawText(QRect(x, gap, columnWidth(s), captionHeight - 4),
                   Qt::AlignLeft | Qt::AlignVCenter, s.caption);
        const QRect frame(x, gap + captionHeight, size.width(), size.height());
        p.drawPixmap(frame.topLeft(), s.picture);
        p.setPen(QColor(0xa0, 0xa6, 0xad));
        p.drawRect(frame.adjusted(-1, -1, 0, 0));
        x += columnWidth(s) + gap;
    }
    return out;
}

int usage() {
    std::fprintf(stderr, "usage: quill-render-windows <output-dir> [--scale N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QString outputDir;
    int scale = 0;  // 0: 1x, then 2x in a second run
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) {
            scale = std::atoi(argv[++i]);
            if (scale < 1 || scale > 4) return usage();
        } else if (!arg.empty() && arg[0] != '-' && outputDir.isEmpty()) {
            outputDir = QString::fromLocal8Bit(argv[i]);
        } else {
            return usage();
        }
    }
    if (outputDir.isEmpty()) return usage();
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int factor = scale == 0 ? 1 : scale;
    setenv("QT_SCALE_FACTOR", std::to_string(factor).c_str(), 1);

    QApplication app(argc, argv);
    if (!QDir().mkpath(outputDir)) {
        std::fprintf(stderr, "quill-render-windows: cannot create %s\n", qPrintable(outputDir));
        return 1;
    }
    const QString installDirectory =
        qEnvironmentVariable("QUILL_INSTALL_DIR", QUILL_SOURCE_DIR "/host");
    const QString suffix = factor == 1 ? QString() : QStringLiteral("@%1x").arg(factor);

    int failures = 0;
    {
        Renderer renderer(installDirectory);
        std::string problem;
        if (!renderer.start(&problem)) {
            std::fprintf(stderr, "quill-render-windows: %s\n", problem.c_str());
            return 1;
        }
        const std::vector<Shot> shots = renderAll(renderer);
        for (const Shot& s : shots) {
            const QString path = QDir(outputDir).filePath(s.name + suffix + ".png");
            if (s.picture.isNull() || !s.picture.save(path, "PNG")) {
                std::fprintf(stderr, "quill-render-windows: could not render %s\n",
                             qPrintable(path));
                ++failures;
            } else {
                std::printf("%s\n", qPrintable(path));
            }
        }
        const QString path = QDir(outputDir).filePath("windows" + suffix + ".png");
        if (!composite(shots, factor).save(path, "PNG"))
            ++failures;
        else
            std::printf("%s\n", qPrintable(path));
        // The analog windows on their own, for a closer look.
        std::vector<Shot> analog;
        for (const Shot& s : shots) {
            if (s.name.startsWith("slider") || s.name.startsWith("capacity") ||
                s.name.startsWith("beerbasement"))
                analog.push_back(s);
        }
        const QString analogPath = QDir(outputDir).filePath("analog" + suffix + ".png");
        if (!composite(analog, factor).save(analogPath, "PNG"))
            ++failures;
        else
            std::printf("%s\n", qPrintable(analogPath));
    }
    if (scale == 0 && failures == 0) {
        // The 2x pictures need a process whose scale factor is 2 from the start.
        failures +=
            QProcess::execute(QCoreApplication::applicationFilePath(),
                              {outputDir, QStringLiteral("--scale"), QStringLiteral("2")}) != 0;
    }
    return failures == 0 ? 0 : 1;
}
