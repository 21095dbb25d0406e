#include "host/ui/OutputPane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {
// The view catches up at most this often.
constexpr int kFlushIntervalMs = 16;
}  // namespace

OutputPane::OutputPane(QWidget* parent, std::size_t capacity) : QWidget(parent), log_(capacity) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Category:"));
    filter_ = new QComboBox;
    filter_->setObjectName("outputCategory");
    filter_->addItem("All");
    connect(filter_, &QComboBox::currentTextChanged, this, &OutputPane::rebuild);
    row->addWidget(filter_);
    showTrace_ = new QCheckBox("Show trace");
    showTrace_->setObjectName("outputShowTrace");
    connect(showTrace_, &QCheckBox::toggled, this, &OutputPane::rebuild);
    row->addWidget(showTrace_);
    row->addStretch();
    auto* save = new QPushButton("Save...");
    save->setObjectName("outputSave");
    connect(save, &QPushButton::clicked, this, &OutputPane::askAndSave);
    row->addWidget(save);
    auto* clearButton = new QPushButton("Clear");
    clearButton->setObjectName("outputClear");
    connect(clearButton, &QPushButton::clicked, this, &OutputPane::clear);
    row->addWidget(clearButton);
    layout->addLayout(row);
    view_ = new QPlainTextEdit;
    view_->setObjectName("outputView");
    view_->setReadOnly(true);
    layout->addWidget(view_);
    // A pane showing its last line keeps following the output, also when
    // it is laid out anew; one the user scrolled up stays where it is.
    QScrollBar* bar = view_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { following_ = value == bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar] {
        if (following_) bar->setValue(bar->maximum());
    });

    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &OutputPane::flush);
}

void OutputPane::addCategory(const QString& category) {
    const std::string name = category.toStdString();
    bool added = false;
    const std::size_t index = log_.category(name, &added);
    noteCategory(index, added, name);
}

void OutputPane::noteCategory(std::size_t index, bool added, std::string_view name) {
    if (!added) return;
    filter_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    if (trace_.size() <= index) trace_.resize(index + 1, false);
}

void OutputPane::write(const QString& category, const QString& text, bool trace) {
    write(std::string_view(category.toStdString()), std::string_view(text.toStdString()), trace);
}

void OutputPane::write(std::string_view category, std::string_view text, bool trace) {
    bool added = false;
    const std::size_t index = log_.category(category, &added);
    noteCategory(index, added, category);
    if (trace && !trace_[index]) trace_[index] = true;
    log_.add(index, text);
    pending_ = std::min(pending_ + 1, log_.size());
    if (!flushTimer_.isActive()) flushTimer_.start();
}

bool OutputPane::isShown(const OutputLog::Line& line) const {
    if (shown_ == kAll)
        return showingTrace_ || line.category >= trace_.size() || !trace_[line.category];
    return line.category == shown_;
}

void OutputPane::appendShown(const OutputLog::Line& line, std::string* text) const {
    if (shown_ == kAll) {
        log_.appendFormatted(line, text);
    } else {
        text->append(line.text);
    }
}

void OutputPane::flush() { show(kFrameLines); }

void OutputPane::show(std::size_t most) {
    flushTimer_.stop();
    if (pending_ == 0) return;
    const std::size_t end = log_.size();
    const std::size_t first = end - pending_;
    pending_ = 0;
    // The last `most` lines the filter shows; the shown ones before them
    // are passed over, and counted.
    std::size_t begin = end, taken = 0;
    while (begin > first && taken < most) {
        --begin;
        if (isShown(log_.line(begin))) ++taken;
    }
    long long passed = 0;
    for (std::size_t i = first; i < begin; ++i) passed += isShown(log_.line(i)) ? 1 : 0;
    if (taken == 0) return;
    // The lines as one text, converted once.
    shownBlock_.clear();
    int shownLines = 0;
    if (passed > 0) {
        shownBlock_ += "... " + std::to_string(passed) +
                       " lines not shown here (Save... writes every line)\n";
        ++shownLines;
    }
    for (std::size_t i = begin; i < end; ++i) {
        if (!isShown(log_.line(i))) continue;
        appendShown(log_.line(i), &shownBlock_);
        shownBlock_.push_back('\n');
        ++shownLines;
    }
    shownBlock_.pop_back();
    const QString text =
        QString::fromUtf8(shownBlock_.data(), static_cast<qsizetype>(shownBlock_.size()));
    if (shownLines >= kViewLines) {
        // Nothing of the view stays: its text is replaced.
        const bool following = following_;
        view_->setPlainText(text);
        following_ = following;
    } else {
        view_->appendPlainText(text);
    }
    // The oldest lines past the view's bound go, cut out by position: a
    // bound the document keeps itself lays out every line it removes.
    QTextDocument* document = view_->document();
    const int excess = document->blockCount() - kViewLines;
    if (excess > 0) {
        QTextCursor cursor(document);
        cursor.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (following_) view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

void OutputPane::rebuild() {
    const QString shown = filter_->currentText();
    shown_ = shown == "All" ? kAll : log_.category(shown.toStdString());
    showingTrace_ = showTrace_->isChecked();
    pending_ = log_.size();
    view_->clear();
    show(kViewLines);
}

QStringList OutputPane::lines() const {
    QStringList out;
    out.reserve(static_cast<qsizetype>(log_.size()));
    for (std::size_t i = 0; i < log_.size(); ++i)
        out << QString::fromStdString(log_.formatted(log_.line(i)));
    return out;
}

void OutputPane::clear() {
    log_.clear();
    pending_ = 0;
    view_->clear();
}

bool OutputPane::saveTo(const QString& path, QString* error) {
    std::string why;
    if (!log_.saveTo(path.toStdString(), &why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    return true;
}

void OutputPane::askAndSave() {
    const QString path =
        QFileDialog::getSaveFileName(this, "Save output", "output.txt", "Text files (*.txt)");
    if (path.isEmpty()) return;
    QString error;
    if (!saveTo(path, &error)) write("Debugger", error);
}
