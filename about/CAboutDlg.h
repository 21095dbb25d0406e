// The About box (dialog 283): the module's name and file version, what it
// does, and credit lines whose links open in the desktop's browser.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "contract/ResourceIds.h"

// A version text of the version data ("1, 0, 0, 1") as people write
// versions: "1.0.0.1". Blanks around the commas go; other text is kept.
std::string DottedVersion(const std::string& versionText);

// Opens a link of the About box. The default opens it in the desktop's
// browser; tests install their own to see the link without a browser.
using LinkOpener = std::function<void(const QString& url)>;
// Installs `opener` (empty: the default) and returns the one it replaces.
LinkOpener SetLinkOpener(LinkOpener opener);

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    // Shows the box modally (through the modal runner).
    int run();
};
