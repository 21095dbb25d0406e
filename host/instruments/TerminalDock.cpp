#include "host/instruments/TerminalDock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include "platform/files.h"


namespace quill::instruments {

TerminalDock::TerminalDock(int usart, QWidget* parent)
    : QDockWidget(QString("Serial terminal (USART%1)").arg(usart), parent) {
    setObjectName(QString("terminalUsart%1").arg(usart));
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    auto* top = new QHBoxLayout;
    baud_ = new QLabel("no program");
    baud_->setObjectName("terminalBaud");
    rate_ = new QComboBox;
    rate_->setObjectName("terminalRate");
    rate_->addItem("Rate: the program's", 0);
    for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        rate_->addItem(QString("%1 baud").arg(rate), rate);
    mode_ = new QComboBox;
    mode_->setObjectName("terminalMode");
    mode_->addItems({"Text", "Hex"});
    auto* save = new QPushButton("Save...");
    save->setObjectName("terminalSave");
    auto* clearButton = new QPushButton("Clear");
    clearButton->setObjectName("terminalClear");
    top->addWidget(rate_);
    top->addWidget(mode_);
    top->addWidget(save);
    top->addWidget(clearButton);
    top->addStretch(1);
    view_ = new QPlainTextEdit;
    view_->setObjectName("terminalView");
    view_->setReadOnly(true);
    view_->setMaximumBlockCount(kMaxLines);
    view_->setFont(QFont("DejaVu Sans Mono", 9));
    auto* bottom = new QHBoxLayout;
    input_ = new QLineEdit;
    input_->setObjectName("terminalInput");
    input_->setPlaceholderText("text to send (Enter)");
    ending_ = new QComboBox;
    ending_->setObjectName("terminalEnding");
    ending_->addItem("No line ending", "");
    ending_->addItem("LF", "\n");
    ending_->addItem("CR", "\r");
    ending_->addItem("CR LF", "\r\n");
    ending_->setCurrentIndex(2);
    echo_ = new QCheckBox("Local echo");
    echo_->setObjectName("terminalEcho");
    echo_->setToolTip("also show what is sent, as a terminal does for a program that does not echo");
    auto* send = new QPushButton("Send");
    send->setObjectName("terminalSend");
    bottom->addWidget(input_, 1);
    bottom->addWidget(ending_);
    bottom->addWidget(echo_);
    bottom->addWidget(send);
    layout->addWidget(baud_);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
    layout->addLayout(bottom);
    // In a scroll area, so that the dock asks for little room of its own:
    // opened beside the components it never makes the window outgrow the
    // screen, and a user who wants it larger drags it so.
    auto* scroll = new QScrollArea;
    scroll->setObjectName("terminalScroll");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(body);
    setWidget(scroll);

    connect(input_, &QLineEdit::returnPressed, this, &TerminalDock::sendInput);
    connect(send, &QPushButton::clicked, this, &TerminalDock::sendInput);
    connect(clearButton, &QPushButton::clicked, this, &TerminalDock::clear);
    connect(mode_, &QComboBox::currentIndexChanged, this, &TerminalDock::rebuild);
    connect(rate_, &QComboBox::currentIndexChanged, this, &TerminalDock::updateBaud);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, "Save serial output",
                                                          "serial.txt", "Text files (*.txt)");
        QString error;
        if (!path.isEmpty() && !saveTo(path, &error)) view_->appendPlainText(error);
    });
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &TerminalDock::catchUp);
    timer_.start();
    attach(nullptr);
}

void TerminalDock::attach(UsartLink* link) {
    link_ = link;
    from_ = shown_ = 0;
    view_->clear();
    screen_.clear();
    input_->setEnabled(link != nullptr);
    updateBaud();
}

void TerminalDock::updateBaud() {
    warning_ = false;
    if (!link_) {
        baud_->setText("no program");
        return;
    }
    const UsartFormat f = link_->format();
    const double baud = link_->baud();
    const QString registers = QString("%1 baud (UBRR %2%3)")
                                  .arg(std::lround(baud))
                                  .arg(f.ubrr)
                                  .arg(f.doubleSpeed ? ", U2X" : "");
    // Until the program enables the transmitter or the receiver, the rate
    // is the reset value's, which no one listens to: nothing to warn of.
    if (!link_->enabledByProgram()) {
        baud_->setText("USART off (the program has not enabled it): " + registers);
        baud_->setStyleSheet("");
        return;
    }
    const uint32_t standard = nearestStandardBaud(baud);
    const int chosen = rate_->currentData().toInt();
    const double reference = chosen ? chosen : standard;
    const double error = baudErrorPercent(baud, reference);
    warning_ = std::abs(error) > kBaudTolerancePercent;
    QString text = registers + QString(", %1%2 % from %3")
                                   .arg(error >= 0 ? "+" : "")
                       .arg(error, 0, 'f', 1)
                       .arg(reference, 0, 'f', 0);
    if (warning_) text = "Warning: " + text;
    baud_->setText(text);
    baud_->setStyleSheet(warning_ ? "color: #b00000; font-weight: bold" : "");
}

void TerminalDock::catchUp() {
    if (!isVisible() && shown_ != 0) return;  // a hidden terminal catches up when shown
    updateBaud();
    if (!link_) return;
    const SerialBuffer& buffer = link_->transmitted();
    if (buffer.end() == shown_) return;
    if (shown_ < buffer.begin() || shown_ < from_) {
        rebuild();
        return;
    }
    const std::string bytes = buffer.text(shown_);
    shown_ = buffer.end();
    display(bytes);
}

void TerminalDock::display(const std::string& bytes) {
    QScrollBar* bar = view_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::End);
    if (mode_->currentIndex() == 1) {
        cursor.insertText(QString::fromStdString(hexBytes(bytes) + " "));
    } else {
        // The current line as the screen now has it replaces the last line
        // shown: a carriage return may have rewritten it.
        cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(QString::fromStdString(screen_.feed(bytes)));
    }
    if (atEnd) bar->setValue(bar->maximum());
}

void TerminalDock::rebuild() {
    view_->clear();
    screen_.clear();
    shown_ = std::max(from_, link_ ? link_->transmitted().begin() : 0);
    catchUp();
}

void TerminalDock::clear() {
    from_ = shown_ = link_ ? link_->transmitted().end() : 0;
    view_->clear();
    screen_.clear();
}

QString TerminalDock::shownText() const { return view_->toPlainText(); }

QString TerminalDock::baudText() const { return baud_->text(); }

void TerminalDock::sendInput() {
    if (!link_) return;
    const QByteArray line = input_->text().toUtf8() + ending_->currentData().toString().toUtf8();
    const std::string bytes(line.constData(), static_cast<std::size_t>(line.size()));
    link_->send(bytes);
    input_->clear();
    if (echo_->isChecked()) {
        catchUp();  // what the program sent before comes first
        display(bytes);
    }
}

void TerminalDock::setLocalEcho(bool on) { echo_->setChecked(on); }

bool TerminalDock::saveTo(const QString& path, QString* error) {
    const std::string bytes = link_ ? link_->transmitted().text(from_) : std::string();
    std::string why;
    // The bytes are the program's own, with no mark by which a later save
    // could know them: only a new or an empty file is written.
    static const quill::files::FileKind kSerialOutput{
        "serial output", "saved serial output carries no mark by which it could be known",
        nullptr};
    if (!quill::files::replaceFile(path.toStdString(), bytes, kSerialOutput, &why)) {
        *error = QString::fromStdString(why);
        return false;
    }
    return true;
}

}  // namespace quill::instruments
