#include "host/instruments/AnalyserDock.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "host/sim/SimTarget.h"

namespace quill::instruments {

namespace {

// A time in cycles as seconds with a fitting unit.
QString timeText(double cycles, double clockHz) {
    const double seconds = cycles / clockHz;
    const double magnitude = std::abs(seconds);
    if (magnitude >= 1) return QString("%1 s").arg(seconds, 0, 'g', 6);
    if (magnitude >= 1e-3) return QString("%1 ms").arg(seconds * 1e3, 0, 'g', 6);
    if (magnitude >= 1e-6) return QString("%1 us").arg(seconds * 1e6, 0, 'g', 6);
    return QString("%1 ns").arg(seconds * 1e9, 0, 'g', 6);
}

}  // namespace

AnalyserDock::AnalyserDock(QWidget* parent) : QDockWidget("Logic analyser", parent) {
    setObjectName("logicAnalyser");
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    // The channels on a row of their own, wide enough to read a list.
    auto* top = new QHBoxLayout;
    channels_ = new QLineEdit("PB3,PD5,PD7,TX,RX");
    channels_->setObjectName("analyserChannels");
    channels_->setToolTip(
        "up to 16 channels: pins PA0 ... PL7 (the part's ports), TX, RX (TX1, RX1 ...), the LCD's LCD.E, LCD.RS, LCD.RW");
    channels_->setMinimumWidth(channels_->fontMetrics().horizontalAdvance("PB3,PD5,PD7,TX,RX,LCD.E") + 16);
    pickButton_ = new QToolButton;
    pickButton_->setObjectName("analyserPick");
    pickButton_->setText("Pick");
    pickButton_->setToolTip("pick the channels from the part's pins and lines");
    pickButton_->setPopupMode(QToolButton::InstantPopup);
    pickMenu_ = new QMenu(pickButton_);
    pickMenu_->setObjectName("analyserPickMenu");
    pickButton_->setMenu(pickMenu_);
    connect(pickMenu_, &QMenu::aboutToShow, this, &AnalyserDock::fillPickMenu);
    recordButton_ = new QPushButton("Record");
    recordButton_->setObjectName("analyserRecord");
    pauseButton_ = new QPushButton("Pause");
    pauseButton_->setObjectName("analyserPause");
    pauseButton_->setCheckable(true);
    auto* fitButton = new QPushButton("Fit");
    fitButton->setObjectName("analyserFit");
    fitButton->setToolTip("show the whole recording");
    auto* zoomIn = new QPushButton("+");
    zoomIn->setObjectName("analyserZoomIn");
    auto* zoomOut = new QPushButton("-");
    zoomOut->setObjectName("analyserZoomOut");
    measured_ = new QComboBox;
    measured_->setObjectName("analyserMeasured");
    measured_->setToolTip("the channel measured over the span shown");
    measured_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    top->addWidget(new QLabel("Channels:"));
    top->addWidget(channels_, 1);
    top->addWidget(pickButton_);
    top->addWidget(recordButton_);
    auto* controls = new QHBoxLayout;
    controls->addWidget(pauseButton_);
    controls->addWidget(fitButton);
    controls->addWidget(zoomIn);
    controls->addWidget(zoomOut);
    controls->addWidget(new QLabel("Measure:"));
    controls->addWidget(measured_);
    controls->addStretch(1);
    view_ = new AnalyserView(this);
    auto* bottom = new QHBoxLayout;
    cursorLabel_ = new QLabel;
    cursorLabel_->setObjectName("analyserCursors");
    measureLabel_ = new QLabel;
    measureLabel_->setObjectName("analyserMeasure");
    bottom->addWidget(cursorLabel_, 1);
    bottom->addWidget(measureLabel_, 1);
    layout->addLayout(top);
    layout->addLayout(controls);
    layout->addWidget(view_, 1);
    layout->addLayout(bottom);
    // In a scroll area, so that the dock asks for little room of its own:
    // opened beside the components it never makes the window outgrow the
    // screen, and a user who wants it larger drags it so.
    auto* scroll = new QScrollArea;
    scroll->setObjectName("analyserScroll");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(body);
    setWidget(scroll);

    connect(recordButton_, &QPushButton::clicked, this, [this] {
        if (recording()) {
            stopRecording();
            return;
        }
        QString why;
        if (!record(channels_->text(), &why)) measureLabel_->setText(why);
    });
    connect(pauseButton_, &QPushButton::toggled, this, &AnalyserDock::setPaused);
    connect(fitButton, &QPushButton::clicked, this, [this] { setFitted(true); });
    connect(zoomIn, &QPushButton::clicked, this, [this] {
        setFitted(false);
        view_->span().zoom(2, view_->span().width / 2.0);
        refresh();
    });
    connect(zoomOut, &QPushButton::clicked, this, [this] {
        setFitted(false);
        view_->span().zoom(0.5, view_->span().width / 2.0);
        refresh();
    });
    connect(measured_, &QComboBox::currentIndexChanged, this, &AnalyserDock::refresh);
    repaint_.setInterval(40);
    connect(&repaint_, &QTimer::timeout, this, [this] {
        if (recording() && !paused_ && isVisible()) refresh();
    });
    updateTexts();
}

AnalyserDock::~AnalyserDock() { view_->setRecorder(nullptr); }

void AnalyserDock::attach(quill::sim::SimTarget* target, std::vector<UsartLink*> usarts) {
    stopRecording();
    recorder_.reset();
    view_->setRecorder(nullptr);
    target_ = target;
    usarts_ = std::move(usarts);
    recordButton_->setEnabled(target != nullptr);
    refresh();
}

bool AnalyserDock::record(const QString& channels, QString* why) {
    if (!target_) {
        *why = "the program is not being debugged";
        return false;
    }
    std::string reason;
    auto wanted =
        parseSignalList(channels.toStdString(), SignalRecorder::kMaxChannels, &reason, board());
    if (!wanted || !resolveLines(*wanted, lineResolver_, &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    nameByBoard(*wanted, board());
    auto recorder = std::make_unique<SignalRecorder>(*target_, usarts_);
    if (!recorder->start(*wanted, &reason)) {
        *why = QString::fromStdString(reason);
        return false;
    }
    view_->setRecorder(nullptr);
    recorder_ = std::move(recorder);
    view_->setRecorder(recorder_.get());
    channels_->setText(channels);
    measured_->clear();
    for (const Signal& s : recorder_->channelSignals())
        measured_->addItem(QString::fromStdString(s.shown()));
    // The view opens fitted to what is recorded, and grows with it.
    fit_ = true;
    recordButton_->setText("Stop");
    repaint_.start();
    refresh();
    return true;
}

void AnalyserDock::stopRecording() {
    if (recorder_) recorder_->stop();
    repaint_.stop();
    recordButton_->setText("Record");
    refresh();
}

void AnalyserDock::setPaused(bool paused) {
    paused_ = paused;
    if (pauseButton_->isChecked() != paused) pauseButton_->setChecked(paused);
    refresh();
}

void AnalyserDock::setCursors(std::optional<double> a, std::optional<double> b) {
    view_->cursorA = a;
    view_->cursorB = b;
    refresh();
}

QString AnalyserDock::cursorText() const { return cursorLabel_->text(); }

QString AnalyserDock::measureText() const { return measureLabel_->text(); }

void AnalyserDock::setFitted(bool fit) {
    fit_ = fit;
    if (fit) fitNow();
    refresh();
}

void AnalyserDock::fitNow() {
    if (!recorder_) return;
    const double from = static_cast<double>(recorder_->startCycle());
    const double now = static_cast<double>(recorder_->now());
    view_->span().fit(std::min(from, now), std::max(now, from + 1));
}

QString AnalyserDock::channelText() const { return channels_->text(); }

void AnalyserDock::fillPickMenu() {
    pickMenu_->clear();
    QStringList chosen;
    for (const QString& name : channels_->text().split(',', Qt::SkipEmptyParts))
        chosen << name.trimmed().toUpper();
    auto add = [&](QMenu* menu, const QString& name) {
        QAction* action = menu->addAction(name);
        action->setCheckable(true);
        action->setChecked(chosen.contains(name));
        connect(action, &QAction::toggled, this, [this, name](bool on) { pick(name, on); });
    };
    if (target_) {
        for (const auto& port : target_->part().ports) {
            if (!port.letter) continue;
            QMenu* menu = pickMenu_->addMenu(QString("Port %1").arg(port.letter));
            for (int bit = 0; bit < 8; ++bit) add(menu, QString("P%1%2").arg(port.letter).arg(bit));
        }
    }
    if (!usarts_.empty()) {
        QMenu* menu = pickMenu_->addMenu("Serial lines");
        for (std::size_t u = 0; u < usarts_.size(); ++u) {
            const QString suffix = u ? QString::number(u) : QString();
            add(menu, "TX" + suffix);
            add(menu, "RX" + suffix);
        }
    }
    QMenu* lcd = pickMenu_->addMenu("LCD lines");
    for (const char* line : {"LCD.E", "LCD.RS", "LCD.RW"}) add(lcd, line);
}

void AnalyserDock::pick(const QString& name, bool on) {
    QStringList names;
    for (const QString& n : channels_->text().split(',', Qt::SkipEmptyParts)) {
        const QString trimmed = n.trimmed();
        if (trimmed.compare(name, Qt::CaseInsensitive) != 0) names << trimmed;
    }
    if (on) names << name;
    channels_->setText(names.join(','));
}

void AnalyserDock::refresh() {
    // A paused view stays where it is, fitted or not.
    if (fit_ && recorder_ && recorder_->recording() && !paused_) {
        fitNow();
    } else if (!fit_ && recorder_ && recorder_->recording() && !paused_) {
        // Follow the newest edges, unless the user scrolled back.
        const double now = static_cast<double>(recorder_->now());
        if (view_->span().end() >= now - view_->span().cyclesPerPixel * 8 ||
            view_->span().end() < now)
            view_->span().follow(now);
    }
    updateTexts();
    view_->update();
}

void AnalyserDock::updateTexts() {
    const double clock = target_ ? target_->frequency() : 1e6;
    QString cursors = "Cursors: left click A, right click B";
    const auto& a = view_->cursorA;
    const auto& b = view_->cursorB;
    if (a && b) {
        cursors = QString("A-B: %1 (%2 cycles)")
                      .arg(timeText(*b - *a, clock))
                      .arg(std::llround(*b - *a));
    } else if (a) {
        cursors = QString("A at %1").arg(timeText(*a, clock));
    }
    cursorLabel_->setText(cursors);
    const int channel = measured_->currentIndex();
    if (!recorder_ || channel < 0 || channel >= static_cast<int>(recorder_->channels())) {
        measureLabel_->setText(target_ ? "not recording" : "no program");
        return;
    }
    std::string why;
    const TimeSpan& span = view_->span();
    const auto m = measureWave(recorder_->log(static_cast<std::size_t>(channel)),
                               static_cast<uint64_t>(span.start),
                               static_cast<uint64_t>(span.end()), clock, &why);
    const QString name = measured_->currentText();
    measureLabel_->setText(m ? QString("%1: %2 Hz, duty %3 % (%4 periods)")
                                   .arg(name)
                                   .arg(m->frequencyHz, 0, 'f', 1)
                                   .arg(m->dutyPercent, 0, 'f', 1)
                                   .arg(m->periods)
                             : QString("%1: %2").arg(name, QString::fromStdString(why)));
}

// ---------------------------------------------------------------- view

AnalyserView::AnalyserView(AnalyserDock* dock) : dock_(dock) {
    setObjectName("analyserView");
    setMinimumSize(320, kRowHeight * 3 + kAxisHeight);
    setFocusPolicy(Qt::ClickFocus);
    setAutoFillBackground(false);
}

void AnalyserView::resizeEvent(QResizeEvent*) { span_.width = std::max(1, width() - kLabelWidth); }

void AnalyserView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(16, 24, 16));
    p.setPen(QColor(200, 200, 200));
    if (!recorder_) {
        p.drawText(rect(), Qt::AlignCenter, "Choose channels and press Record");
        return;
    }
    const int plotWidth = span_.width;
    // The time axis: a grid line and a label at each round time.
    const int axisTop = height() - kAxisHeight;
    const double clock = recorder_->clockHz();
    for (const AxisTick& tick : timeAxis(span_, clock)) {
        const int x = kLabelWidth + static_cast<int>(std::lround(tick.pixel));
        p.setPen(QColor(48, 64, 48));
        p.drawLine(x, 0, x, axisTop);
        p.setPen(QColor(160, 180, 160));
        p.drawLine(x, axisTop, x, axisTop + 4);
        // Centred under its mark, but kept inside the plot at both ends.
        const QString label = QString::fromStdString(tick.label);
        const int half = p.fontMetrics().horizontalAdvance(label) / 2 + 1;
        const int centre = std::clamp(x, kLabelWidth + half, width() - half);
        p.drawText(QRect(centre - half, axisTop + 4, 2 * half, kAxisHeight - 4),
                   Qt::AlignHCenter | Qt::AlignTop, label);
    }
    p.setPen(QColor(160, 180, 160));
    p.drawLine(kLabelWidth, axisTop, width(), axisTop);
    const double first = span_.start;
    const double last = span_.end();
    for (std::size_t c = 0; c < recorder_->channels(); ++c) {
        const int top = static_cast<int>(c) * kRowHeight;
        const int high = top + 5, low = top + kRowHeight - 5;
        p.setPen(QColor(220, 220, 220));
        p.drawText(QRect(4, top, kLabelWidth - 8, kRowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromStdString(recorder_->channelSignals()[c].shown()));
        const EdgeLog& log = recorder_->log(c);
        p.setPen(QPen(QColor(80, 240, 80), 1));
        auto yOf = [&](uint8_t level) { return level ? high : low; };
        double x = 0;
        uint8_t level = log.levelAt(static_cast<uint64_t>(std::max(first, 0.0)));
        int lastPixel = -1, edgesInPixel = 0;
        for (std::size_t i = log.firstAfter(static_cast<uint64_t>(std::max(first, 0.0)));
             i < log.size() && log[i].cycle <= last; ++i) {
            const double ex = span_.pixelOf(static_cast<double>(log[i].cycle));
            const int pixel = static_cast<int>(ex);
            // Many edges in one pixel: one bar from low to high.
            if (pixel == lastPixel && ++edgesInPixel > 2) {
                level = log[i].level;
                continue;
            }
            if (pixel != lastPixel) edgesInPixel = 0;
            lastPixel = pixel;
            p.drawLine(QPointF(kLabelWidth + x, yOf(level)), QPointF(kLabelWidth + ex, yOf(level)));
            p.drawLine(QPointF(kLabelWidth + ex, high), QPointF(kLabelWidth + ex, low));
            level = log[i].level;
            x = ex;
        }
        const double end = recorder_->recording()
                               ? std::min(span_.pixelOf(static_cast<double>(recorder_->now())),
                                          static_cast<double>(plotWidth))
                               : plotWidth;
        if (end > x)
            p.drawLine(QPointF(kLabelWidth + x, yOf(level)), QPointF(kLabelWidth + end, yOf(level)));
        p.setPen(QColor(48, 64, 48));
        p.drawLine(0, top + kRowHeight - 1, width(), top + kRowHeight - 1);
    }
    auto cursor = [&](const std::optional<double>& at, const QColor& color, const char* name) {
        if (!at) return;
        const double cx = span_.pixelOf(*at);
        if (cx < 0 || cx > plotWidth) return;
        p.setPen(QPen(color, 1, Qt::DashLine));
        p.drawLine(QPointF(kLabelWidth + cx, 0), QPointF(kLabelWidth + cx, axisTop));
        p.drawText(QPointF(kLabelWidth + cx + 3, axisTop - 4), name);
    };
    cursor(cursorA, QColor(255, 200, 0), "A");
    cursor(cursorB, QColor(0, 200, 255), "B");
}

void AnalyserView::wheelEvent(QWheelEvent* event) {
    const double anchor = event->position().x() - kLabelWidth;
    dock_->setFitted(false);
    span_.zoom(event->angleDelta().y() > 0 ? 2 : 0.5, std::max(anchor, 0.0));
    dock_->refresh();
}

void AnalyserView::mousePressEvent(QMouseEvent* event) {
    const double pixel = event->position().x() - kLabelWidth;
    if (pixel < 0) return;
    const double cycle = span_.cycleAt(pixel);
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier)) {
        dragFrom_ = static_cast<int>(event->position().x());
        return;
    }
    if (event->button() == Qt::LeftButton) {
        dock_->setCursors(cycle, cursorB);
    } else if (event->button() == Qt::RightButton) {
        dock_->setCursors(cursorA, cycle);
    } else if (event->button() == Qt::MiddleButton) {
        dragFrom_ = static_cast<int>(event->position().x());
    }
}

void AnalyserView::mouseMoveEvent(QMouseEvent* event) {
    if (dragFrom_ < 0 || !(event->buttons() & (Qt::MiddleButton | Qt::LeftButton))) return;
    const int x = static_cast<int>(event->position().x());
    dock_->setFitted(false);
    span_.pan(dragFrom_ - x);
    dragFrom_ = x;
    dock_->setPaused(true);
    dock_->refresh();
}

void AnalyserView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Plus || key == Qt::Key_Minus || key == Qt::Key_Left || key == Qt::Key_Right)
        dock_->setFitted(false);
    switch (key) {
        case Qt::Key_Plus:
            span_.zoom(2, span_.width / 2.0);
            break;
        case Qt::Key_Minus:
            span_.zoom(0.5, span_.width / 2.0);
            break;
        case Qt::Key_Left:
            span_.pan(-span_.width / 4.0);
            dock_->setPaused(true);
            break;
        case Qt::Key_Right:
            span_.pan(span_.width / 4.0);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    dock_->refresh();
}

}  // namespace quill::instruments
