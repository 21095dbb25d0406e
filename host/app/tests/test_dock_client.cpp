#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QPropertyAnimation>
#include <QScreen>
#include <algorithm>
#include <memory>

#include "host/workbench/DockClient.h"

namespace {

struct DockClientTest : ::testing::Test {
    std::unique_ptr<QMainWindow> window = std::make_unique<QMainWindow>();
    DockClient* client = new DockClient(*window);

    void SetUp() override {
        window->setCentralWidget(new QWidget);
        window->resize(1280, 720);
        window->show();
    }
    // Opens `count` windows, each with a dialog of 60 x 75 (or `width`) as
    // a component would put into the client area.
    std::vector<QDockWidget*> open(int count, int width = 60) {
        std::vector<QDockWidget*> docks;
        for (int i = 0; i < count; ++i) {
            QWidget* area = client->open(QString("LED %1").arg(client->docks().size() + 1));
            auto* dialog = new QWidget(area);
            dialog->setGeometry(0, 0, width, 75);
            dialog->show();
            docks.push_back(qobject_cast<QDockWidget*>(area->parentWidget()));
        }
        return docks;
    }
    // Tabs behind others are moved out of the window, not hidden.
    bool inFront(QDockWidget* dock) {
        return dock->isVisible() && window->rect().contains(dock->geometry());
    }
    bool tabbedTogether(QDockWidget* a, QDockWidget* b) {
        return window->tabifiedDockWidgets(a).contains(b);
    }
};

// Docks stand in columns within the screen's room; small ones stack in a
// column, and once nothing fits a new dock joins another as a tab behind
// it, so the earlier window stays in view.
TEST_F(DockClientTest, ColumnsWithinTheScreenThenTabsBehind) {
    std::vector<QDockWidget*> docks = open(3, 160);
    QApplication::processEvents();
    ASSERT_EQ(client->docks(), docks);
    // Three small windows: one column, one under another.
    EXPECT_EQ(docks[0]->x(), docks[1]->x());
    EXPECT_LT(docks[0]->geometry().bottom(), docks[1]->y());
    EXPECT_LT(docks[1]->geometry().bottom(), docks[2]->y());

    open(200, 160);
    QApplication::processEvents();
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window->frameGeometry()));
    std::vector<QDockWidget*> shown;
    for (QDockWidget* dock : client->docks()) {
        if (inFront(dock)) shown.push_back(dock);
    }
    ASSERT_GT(shown.size(), 3u);
    ASSERT_LT(shown.size(), 200u);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_GE(shown[i]->widget()->width(), 160) << i;
        EXPECT_GE(shown[i]->widget()->height(), 75) << i;
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry())) << i << " " << j;
    }
    // The first docks were never covered by later ones.
    EXPECT_TRUE(inFront(docks[0]));
    EXPECT_TRUE(inFront(docks[2]));
    EXPECT_TRUE(tabbedTogether(docks[0], client->docks().back()) ||
                !inFront(client->docks().back()));
}

// Many openings in a row are laid out together, and no dock keeps the
// geometry animations that used to pile up on every dock with every layout.
TEST_F(DockClientTest, ManyOpeningsAreLaidOutTogether) {
    open(60);
    QApplication::processEvents();
    open(1);
    QApplication::processEvents();
    for (QDockWidget* dock : client->docks()) {
        EXPECT_TRUE(dock->findChildren<QPropertyAnimation*>().isEmpty())
            << dock->windowTitle().toStdString();
        EXPECT_EQ(window->dockWidgetArea(dock), Qt::TopDockWidgetArea);
    }
}

// Closing a window hides its dock and leaves the others where they are;
// a dock deleted leaves the list, and later openings still find a place.
TEST_F(DockClientTest, ClosingOneKeepsTheOthers) {
    std::vector<QDockWidget*> docks = open(10);
    QApplication::processEvents();
    const QRect second = docks[1]->geometry();
    docks[2]->close();
    QApplication::processEvents();
    EXPECT_FALSE(docks[2]->isVisible());
    EXPECT_TRUE(docks[1]->isVisible());
    EXPECT_EQ(docks[1]->geometry().topLeft(), second.topLeft());
    EXPECT_EQ(client->docks().size(), 10u);

    delete docks[3];
    EXPECT_EQ(client->docks().size(), 9u);
    EXPECT_EQ(std::count(client->docks().begin(), client->docks().end(), docks[3]), 0);
    std::vector<QDockWidget*> later = open(3);
    QApplication::processEvents();
    for (QDockWidget* dock : later) {
        EXPECT_TRUE(dock->isVisible());
        EXPECT_EQ(window->dockWidgetArea(dock), Qt::TopDockWidgetArea);
    }
}

// The host's own docks share one place below the components, as tabs, and
// leave the components their room.
TEST_F(DockClientTest, ToolDocksShareThePlaceBelow) {
    auto* output = new QDockWidget("Output", window.get());
    auto* terminal = new QDockWidget("Terminal", window.get());
    client->addToolDock(output);
    client->addToolDock(terminal);
    std::vector<QDockWidget*> docks = open(2, 160);
    QApplication::processEvents();
    EXPECT_EQ(window->dockWidgetArea(terminal), Qt::BottomDockWidgetArea);
    EXPECT_TRUE(tabbedTogether(output, terminal));
    EXPECT_EQ(client->docks(), docks);
    EXPECT_LT(docks[1]->geometry().bottom(), output->geometry().top());
}

// A floated window stays floating and leaves the arrangement; docked
// again by the user, it is an ordinary dock.
TEST_F(DockClientTest, FloatingWindowsLeaveTheArrangement) {
    std::vector<QDockWidget*> docks = open(4);
    QApplication::processEvents();
    docks[1]->setFloating(true);
    std::vector<QDockWidget*> later = open(3);
    QApplication::processEvents();
    EXPECT_TRUE(docks[1]->isFloating());
    for (QDockWidget* dock : later) {
        EXPECT_FALSE(dock->isFloating());
        EXPECT_FALSE(dock->geometry().intersects(docks[0]->geometry()));
    }
    docks[1]->setFloating(false);
    QApplication::processEvents();
    EXPECT_EQ(window->dockWidgetArea(docks[1]), Qt::TopDockWidgetArea);
}

}  // namespace
