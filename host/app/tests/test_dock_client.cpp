#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QPropertyAnimation>
#include <algorithm>
#include <memory>

#include "host/app/DockClient.h"

namespace {

struct DockClientTest : ::testing::Test {
    std::unique_ptr<QMainWindow> window = std::make_unique<QMainWindow>();
    DockClient* client = new DockClient(*window);

    void SetUp() override {
        window->setCentralWidget(new QWidget);
        window->resize(1280, 720);
        window->show();
    }
    // Opens `count` windows, each with a dialog of 60 x 75 as a component
    // would put into the client area.
    std::vector<QDockWidget*> open(int count) {
        std::vector<QDockWidget*> docks;
        for (int i = 0; i < count; ++i) {
            QWidget* area = client->open(QString("LED %1").arg(client->docks().size() + 1));
            auto* dialog = new QWidget(area);
            dialog->setGeometry(0, 0, 60, 75);
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

// Eight docks side by side; later ones become tabs of those, column by
// column, and the newest comes to the front.
TEST_F(DockClientTest, EightColumnsThenTabsRoundTheColumns) {
    std::vector<QDockWidget*> docks = open(20);
    QApplication::processEvents();
    ASSERT_EQ(client->docks(), docks);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(window->dockWidgetArea(docks[i]), Qt::TopDockWidgetArea) << i;
        for (int j = 0; j < i; ++j) EXPECT_FALSE(tabbedTogether(docks[i], docks[j])) << i << j;
    }
    for (int i = 8; i < 20; ++i) EXPECT_TRUE(tabbedTogether(docks[i % 8], docks[i])) << i;
    EXPECT_TRUE(inFront(docks[19]));
    EXPECT_FALSE(inFront(docks[11]));  // behind dock 19 in column 3
    EXPECT_FALSE(inFront(docks[3]));
    // The area asks for the room of its dialog.
    EXPECT_GE(docks[5]->widget()->minimumWidth(), 60);
    EXPECT_GE(docks[5]->widget()->minimumHeight(), 75);
}

// Openings are laid out when the event loop runs: afterwards the newest
// dock of each column is in front, inside the window, with the room of its
// dialog. No dock keeps the geometry animations that used to pile up on
// every dock with every layout.
TEST_F(DockClientTest, ManyOpeningsAreLaidOutTogether) {
    open(60);
    QApplication::processEvents();
    open(1);
    QApplication::processEvents();
    const std::vector<QDockWidget*>& docks = client->docks();
    for (std::size_t i = 0; i < docks.size(); ++i) {
        const bool newestOfColumn = i + DockClient::kColumns >= docks.size();
        EXPECT_EQ(inFront(docks[i]), newestOfColumn) << i;
        if (newestOfColumn) {
            EXPECT_GE(docks[i]->widget()->width(), 60) << i;
        }
    }
    for (QDockWidget* dock : client->docks()) {
        EXPECT_TRUE(dock->findChildren<QPropertyAnimation*>().isEmpty())
            << dock->windowTitle().toStdString();
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

// A floated window stays floating; the next windows take its column's
// place in the row instead of becoming its tabs.
TEST_F(DockClientTest, FloatingWindowsLeaveTheRow) {
    std::vector<QDockWidget*> docks = open(8);
    QApplication::processEvents();
    docks[7]->setFloating(true);
    docks[0]->setFloating(true);
    std::vector<QDockWidget*> later = open(3);
    QApplication::processEvents();
    EXPECT_TRUE(docks[7]->isFloating());
    EXPECT_TRUE(docks[0]->isFloating());
    // Two free places in the row, then the tabs start again.
    EXPECT_FALSE(later[0]->isFloating());
    EXPECT_TRUE(window->tabifiedDockWidgets(later[0]).isEmpty());
    EXPECT_TRUE(window->tabifiedDockWidgets(later[1]).isEmpty());
    EXPECT_FALSE(tabbedTogether(docks[0], later[2]));
    EXPECT_FALSE(tabbedTogether(docks[7], later[2]));
    EXPECT_EQ(window->tabifiedDockWidgets(later[2]).size(), 1);
    // Docked again by the user, it is an ordinary dock.
    docks[7]->setFloating(false);
    QApplication::processEvents();
    EXPECT_EQ(window->dockWidgetArea(docks[7]), Qt::TopDockWidgetArea);
}

}  // namespace
