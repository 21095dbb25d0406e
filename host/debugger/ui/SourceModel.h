// The source view's rows: the lines of one source file (or, without line
// information, the program's disassembly), each checkable where a
// breakpoint can stop, the line of the next instruction highlighted.
#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <string>
#include <vector>

#include "host/debugger/DebugSession.h"
#include "host/debugger/SourceText.h"

class SourceModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit SourceModel(quill::debugger::DebugSession& session, QObject* parent = nullptr)
        : QAbstractListModel(parent), session_(session) {}

    // Shows a source file: `tableName` as the line table names it, `lines`
    // its text.
    void showSource(const std::string& tableName, std::vector<std::string> lines);
    // Shows disassembly lines instead.
    void showDisassembly(std::vector<quill::debugger::DisassemblyLine> lines);
    const std::string& file() const { return file_; }
    bool disassembly() const { return disassembly_; }

    // Highlights the row of this source line (file as the table names it)
    // or address; -1 when the view shows no such row. Returns the row.
    int highlightLine(const std::string& file, int line);
    int highlightAddress(uint32_t pc);
    int highlighted() const { return current_; }
    // No row highlighted (the program runs: it stands at no line).
    void clearHighlight() { setCurrent(-1); }
    // The row's source line (1-based) or instruction address.
    int lineOf(int row) const { return row + 1; }
    uint32_t addressOf(int row) const;
    // Toggles the breakpoint of a row (a line: every statement of it, or the
    // next line with code; an instruction: its address); false with *error.
    bool toggleBreakpoint(int row, std::string* error);
    void breakpointsChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool hasBreakpoint(int row) const;
    void setCurrent(int row);

    quill::debugger::DebugSession& session_;
    std::string file_;
    bool disassembly_ = false;
    std::vector<std::string> lines_;
    std::vector<quill::debugger::DisassemblyLine> code_;
    int current_ = -1;
};
