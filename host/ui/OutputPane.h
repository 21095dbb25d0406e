// quill-host's output pane: the messages of the host and the plug-in under
// their categories, a category filter, and Save... / Clear. The lines are
// kept by an OutputLog (bounded); the text view is brought up to date at
// most at the display's rate, the lines of a frame gathered into one
// append, so a program that writes a line per instruction does not
// repaint, convert or lay out the pane per line.
#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/session/OutputLog.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;

class OutputPane : public QWidget {
    Q_OBJECT
public:
    // Lines the text view shows at most (the log keeps more).
    static constexpr int kViewLines = 5000;
    // Lines a frame brings the view at most: more than a person reads in
    // a frame, and more than a screen holds. The shown lines a frame passes
    // over are counted in a line of the view (Save... writes them).
    static constexpr int kFrameLines = 500;

    explicit OutputPane(QWidget* parent = nullptr,
                        std::size_t capacity = OutputLog::kDefaultCapacity);

    // Adds a category to the filter (once).
    void addCategory(const QString& category);
    // A line under `category`; a trace category's lines are shown only with
    // "Show trace" ticked or that category chosen in the filter (Save...
    // writes them all the same).
    void write(const QString& category, const QString& text, bool trace = false);
    // The same for UTF-8 texts: what the plug-in's messages come as. Costs
    // no conversion and no allocation per line; the view converts what it
    // shows once per frame.
    void write(std::string_view category, std::string_view text, bool trace = false);

    const OutputLog& log() const { return log_; }
    // The kept lines, "[category] text".
    QStringList lines() const;
    long long dropped() const { return log_.dropped(); }

    // Empties the pane; the lines count as dropped.
    void clear();
    // Writes every line since the last Clear to `path` (also those the
    // pane no longer keeps); false with a reason on failure.
    bool saveTo(const QString& path, QString* error);
    // Shows the lines written since the view was last brought up to date
    // (their last kFrameLines).
    void flush();

private:
    void noteCategory(std::size_t index, bool added, std::string_view name);
    void rebuild();
    void askAndSave();
    // Shows the last `most` shown lines of those pending.
    void show(std::size_t most);
    bool isShown(const OutputLog::Line& line) const;
    // Appends a shown line to *text as the view shows it.
    void appendShown(const OutputLog::Line& line, std::string* text) const;

    OutputLog log_;
    QComboBox* filter_ = nullptr;
    QCheckBox* showTrace_ = nullptr;
    // By category index: a trace category's lines are hidden unless asked.
    std::vector<bool> trace_;
    // The filter as the view applies it: every category, or one.
    static constexpr std::size_t kAll = SIZE_MAX;
    std::size_t shown_ = kAll;
    bool showingTrace_ = false;
    QPlainTextEdit* view_ = nullptr;
    // Lines written but not shown yet: the last `pending_` lines of the log.
    std::size_t pending_ = 0;
    bool following_ = true;  // the view shows the last line
    QTimer flushTimer_;
    std::string text_, shownBlock_;  // kept: their storage is reused
};
