#include "about/CAboutDlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "core/ModuleResources.h"
#include "framework/Controls.h"
#include "framework/ModalRunner.h"

namespace {

LinkOpener& currentOpener() {
    static LinkOpener opener;
    return opener;
}

void openLink(const QString& url) {
    LinkOpener opener = currentOpener();
    if (opener) {
        opener(url);
    } else {
        QDesktopServices::openUrl(QUrl(url));
    }
}

struct Credit {
    const char* text;  // %1 is the link
    const char* url;
    const char* label;
};

constexpr Credit kCredits[] = {
    {"Part descriptions are read with TinyXML: %1", "http://www.grinninglizard.com/tinyxml/",
     "www.grinninglizard.com/tinyxml"},
    {"Windows drawn with Qt: %1", "https://www.qt.io/", "www.qt.io"},
};

}  // namespace

std::string DottedVersion(const std::string& versionText) {
    std::string out;
    for (size_t i = 0; i < versionText.size(); ++i) {
        const char c = versionText[i];
        if (c == ',') {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += '.';
            while (i + 1 < versionText.size() && versionText[i + 1] == ' ') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

LinkOpener SetLinkOpener(LinkOpener opener) {
    LinkOpener previous = std::move(currentOpener());
    currentOpener() = std::move(opener);
    return previous;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setProperty("dialogId", ids::about::kTemplate);
    setObjectName(QStringLiteral("dialog_%1").arg(ids::about::kTemplate));
    setWindowTitle(
        QStringLiteral("About %1").arg(QString::fromStdString(LoadModuleString(IDS_PROJNAME))));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QString::fromStdString(LoadModuleString(IDS_PROJNAME)), this);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    name->setFont(bold);
    layout->addWidget(name);

    auto* version = new QLabel(
        QStringLiteral("Version %1")
            .arg(QString::fromStdString(DottedVersion(ModuleVersionValue("FileVersion")))),
        this);
    SetControlId(version, ids::about::kVersionText);
    layout->addWidget(version);

    auto* what = new QLabel(
        "Virtual peripherals for the AVR simulator: LEDs, switches, a running-light bar, a "
        "keypad, an HD44780U LCD, analog inputs, a stack view, automatic stepping and a register "
        "logger.",
        this);
    what->setWordWrap(true);
    layout->addWidget(what);

    for (const Credit& credit : kCredits) {
        auto* line = new QLabel(this);
        line->setText(
            QString::fromUtf8(credit.text)
                .arg(QStringLiteral("<a href=\"%1\">%2</a>").arg(credit.url, credit.label)));
        line->setTextFormat(Qt::RichText);
        line->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        line->setOpenExternalLinks(false);
        line->setProperty("linkUrl", QString::fromUtf8(credit.url));
        connect(line, &QLabel::linkActivated, this, &openLink);
        layout->addWidget(line);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), ids::about::kOk);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CAboutDlg::run() { return RunModal(this); }
