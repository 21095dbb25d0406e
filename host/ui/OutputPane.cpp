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
#include <sstream>

#include "platform/files.h"

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
    view_->setMaximumBlockCount(kViewLines);
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
    // Lines come in runs of one category (a register dump is many lines a
    // refresh): the combo box, whose search is slow, is asked only when the
    // category is not the last one added to or found in it.
    if (category == lastCategory_) return;
    if (filter_->findText(category) < 0) filter_->addItem(category);
    lastCategory_ = category;
}

void OutputPane::write(const QString& category, const QString& text, bool trace) {
    addCategory(category);
    std::string name = category.toStdString();
    if (trace && !traceCategories_.contains(name)) traceCategories_.insert(name);
    log_.add(std::move(name), text.toStdString());
    pending_ = std::min(pending_ + 1, log_.size());
    if (!flushTimer_.isActive()) flushTimer_.start();
}

QString OutputPane::shownText(const OutputLog::Line& line) const {
    const QString shown = filter_->currentText();
    if (!showTrace_->isChecked() && traceCategories_.contains(line.category) &&
        shown != QString::fromStdString(line.category)) {
        return {};
    }
    if (shown == "All") return QString::fromStdString(OutputLog::formatted(line));
    if (shown == QString::fromStdString(line.category)) return QString::fromStdString(line.text);
    return {};
}

void OutputPane::flush() {
    flushTimer_.stop();
    if (pending_ == 0) return;
    // Only the last kViewLines can stay in the view anyway.
    const std::size_t count = std::min<std::size_t>(pending_, kViewLines);
    const auto& lines = log_.lines();
    QStringList text;
    for (std::size_t i = lines.size() - count; i < lines.size(); ++i) {
        const QString shown = shownText(lines[i]);
        if (!shown.isNull()) text << shown;
    }
    pending_ = 0;
    if (!text.isEmpty()) view_->appendPlainText(text.join('\n'));
}

void OutputPane::rebuild() {
    pending_ = log_.size();
    view_->clear();
    flush();
}

QStringList OutputPane::lines() const {
    QStringList out;
    for (const OutputLog::Line& line : log_.lines())
        out << QString::fromStdString(OutputLog::formatted(line));
    return out;
}

void OutputPane::clear() {
    log_.clear();
    pending_ = 0;
    view_->clear();
}

bool OutputPane::saveTo(const QString& path, QString* error) {
    std::ostringstream text;
    log_.save(text);
    std::string why;
    if (!quill::files::replaceFile(path.toStdString(), text.str(), OutputLog::kFileKind, &why)) {
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
