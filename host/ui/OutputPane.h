// quill-host's output pane: the messages of the host and the plug-in under
// their categories, a category filter, and Save... / Clear. The lines are
// kept by an OutputLog (bounded); the text view is brought up to date at
// most at the display's rate, so a program that writes a line per
// instruction does not repaint the pane per line.
#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <set>
#include <string>

#include "host/session/OutputLog.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;

class OutputPane : public QWidget {
    Q_OBJECT
public:
    // Lines the text view shows at most (the log keeps more).
    static constexpr int kViewLines = 5000;

    explicit OutputPane(QWidget* parent = nullptr,
                        std::size_t capacity = OutputLog::kDefaultCapacity);

    // Adds a category to the filter (once).
    void addCategory(const QString& category);
    // A line under `category`; a trace category's lines are shown only with
    // "Show trace" ticked or that category chosen in the filter (Save...
    // writes them all the same).
    void write(const QString& category, const QString& text, bool trace = false);

    const OutputLog& log() const { return log_; }
    // The kept lines, "[category] text".
    QStringList lines() const;
    long long dropped() const { return log_.dropped(); }

    // Empties the pane; the lines count as dropped.
    void clear();
    // Writes the kept lines to `path`; false with a reason on failure.
    bool saveTo(const QString& path, QString* error);
    // Shows the lines written since the view was last brought up to date.
    void flush();

private:
    void rebuild();
    void askAndSave();
    QString shownText(const OutputLog::Line& line) const;

    OutputLog log_;
    QComboBox* filter_ = nullptr;
    QCheckBox* showTrace_ = nullptr;
    std::set<std::string> traceCategories_;
    QString lastCategory_;  // known to be in filter_
    QPlainTextEdit* view_ = nullptr;
    // Lines written but not shown yet: the last `pending_` lines of the log.
    std::size_t pending_ = 0;
    bool following_ = true;  // the view shows the last line
    QTimer flushTimer_;
};
