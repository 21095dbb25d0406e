// A property sheet: pages on tabs above OK (1) and Cancel (2), run modally.
//
// run() has every page load its controls from its fields, runs the sheet
// through the modal runner (ModalRunner) and, on OK, has every page check
// and store its controls back into its fields; a page that refuses its
// input keeps the sheet open on that page (and the sheet's "message"
// property takes the page's, the reason it shows). The caller reads the
// pages' fields after an accepted run. Cancel stores nothing.
#pragma once

#include <QDialog>
#include <QWidget>
#include <vector>

class QTabWidget;

class PropertyPage : public QWidget {
    Q_OBJECT
public:
    PropertyPage(QWidget* parent, int templateId, const QString& title);
    const QString& title() const { return title_; }

    // Fields -> controls, before the sheet shows.
    virtual void loadControls() {}
    // Controls -> fields on OK; false (with the reason shown on the page)
    // keeps the sheet open.
    virtual bool saveControls() { return true; }

private:
    QString title_;
};

class PropertySheet : public QDialog {
    Q_OBJECT
public:
    PropertySheet(QWidget* parent, const QString& caption);

    void addPage(PropertyPage* page);
    const std::vector<PropertyPage*>& pages() const { return pages_; }
    void showPage(PropertyPage* page);
    QTabWidget* tabs() const { return tabs_; }

    // Returns QDialog::Accepted or QDialog::Rejected.
    int run();

    void accept() override;

protected:
    // Runs once before the pages load their controls (the sheet's own
    // initialisation).
    virtual void initSheet() {}

private:
    QTabWidget* tabs_;
    std::vector<PropertyPage*> pages_;
};
