#include "debugaids/pp_output_layout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "contract/ResourceIds.h"
#include "framework/Controls.h"

namespace {
QCheckBox* makeCheck(QWidget* parent, QLayout* layout, const QString& text, int id) {
    auto* box = new QCheckBox(text, parent);
    SetControlId(box, id);
    layout->addWidget(box);
    return box;
}
}  // namespace

pp_output_layout::pp_output_layout(QWidget* parent) : QWidget(parent) {
    setObjectName("pp_output_layout");
    auto* layout = new QVBoxLayout(this);
    comment_ = makeCheck(this, layout, "Preceed output by comment character.",
                         ids::logger::kPrecedeByComment);
    auto* commentRow = new QHBoxLayout;
    commentRow->addSpacing(20);
    commentRow->addWidget(new QLabel("Comment character", this));
    commentText_ = new QLineEdit(this);
    SetControlId(commentText_, ids::logger::kCommentText);
    commentText_->setMaxLength(8);
    commentText_->setMaximumWidth(60);
    commentRow->addWidget(commentText_);
    commentRow->addStretch();
    layout->addLayout(commentRow);
    cycleCounter_ = makeCheck(this, layout, "Preceed output by current Cycle Counter value.",
                              ids::logger::kPrecedeByCycleCounter);
    runningTime_ = makeCheck(this, layout, "Preceed output by running time value.",
                             ids::logger::kPrecedeByRunningTime);
    disassembly_ =
        makeCheck(this, layout, "Insert disassembled code.", ids::logger::kInsertDisassembly);

    auto* values = new QGroupBox("Values", this);
    auto* valuesLayout = new QVBoxLayout(values);
    hex_ =
        makeCheck(values, valuesLayout, "Use hexadecimal output values.", ids::logger::kHexValues);
    octal_ = makeCheck(values, valuesLayout, "Use octal output values.", ids::logger::kOctalValues);
    binary_ =
        makeCheck(values, valuesLayout, "Use binary output values.", ids::logger::kBinaryValues);
    layout->addWidget(values);
    layout->addStretch();

    connect(comment_, &QCheckBox::toggled, commentText_, &QWidget::setEnabled);
}

void pp_output_layout::load(const LoggerLayout& layout) {
    comment_->setChecked(layout.precedeByComment);
    commentText_->setText(QString::fromStdString(layout.commentText));
    commentText_->setEnabled(layout.precedeByComment);
    cycleCounter_->setChecked(layout.precedeByCycleCounter);
    runningTime_->setChecked(layout.precedeByRunningTime);
    disassembly_->setChecked(layout.insertDisassembly);
    hex_->setChecked(layout.hexValues);
    octal_->setChecked(layout.octalValues);
    binary_->setChecked(layout.binaryValues);
}

LoggerLayout pp_output_layout::store() const {
    LoggerLayout layout;
    layout.precedeByComment = comment_->isChecked();
    layout.commentText = commentText_->text().toStdString();
    layout.precedeByCycleCounter = cycleCounter_->isChecked();
    layout.precedeByRunningTime = runningTime_->isChecked();
    layout.insertDisassembly = disassembly_->isChecked();
    layout.hexValues = hex_->isChecked();
    layout.octalValues = octal_->isChecked();
    layout.binaryValues = binary_->isChecked();
    return layout;
}
